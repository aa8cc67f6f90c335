// File: json_writer.h
//
// JsonWriter: one JSON value written as text, member by member, with the
// commas between members and the escapes in strings (quote, backslash and
// every control character) put in by the writer. Strings are taken as
// UTF-8 and written as they are otherwise; bytes in them that are no UTF-8
// (a file name in another encoding) are written as U+FFFD, one for each
// broken sequence, so that the text is always UTF-8 (RFC 8259, 8.1).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace zqcli {

class JsonWriter {
public:
    // open starts an object ('{') or an array ('['); close ends the latest.
    JsonWriter& open(char bracket);
    JsonWriter& close();
    // key names the next member of the open object.
    JsonWriter& key(const std::string& name);
    // value writes a string or a number, as an array element or after key.
    JsonWriter& value(const std::string& text);
    JsonWriter& value(uint64_t number);

    // text is what has been written so far.
    const std::string& text() const { return text_; }

private:
    // separate puts a comma before any element but the first of its object
    // or array; an element right after its key takes none.
    void separate();
    void quote(const std::string& text);

    std::string text_;
    std::vector<char> open_;  // the closing bracket of each open value
    bool first_ = true;       // no element yet in the innermost open value
    bool afterKey_ = false;
};

}  // namespace zqcli
