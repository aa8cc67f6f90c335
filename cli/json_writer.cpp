// File: json_writer.cpp
//
// The JSON writer. See json_writer.h.
#include "json_writer.h"

#include <stddef.h>

namespace zqcli {
namespace {

// utf8Sequence reads the UTF-8 character at `at` (RFC 3629: no overlong
// form, no surrogate, nothing above U+10FFFF) and sets `length` to its
// bytes. When none starts there it returns false, with `length` the bytes
// of the longest start of one found (at least 1): the bytes that one U+FFFD
// stands for, as Unicode recommends and Python's decoder does.
bool utf8Sequence(const std::string& text, size_t at, size_t& length) {
    const auto byte = [&](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    const unsigned lead = byte(at);
    length = 1;
    if (lead < 0x80) return true;
    // The range of the second byte after each lead; later bytes are 80..BF.
    unsigned low = 0x80, high = 0xbf;
    size_t whole;
    if (lead >= 0xc2 && lead <= 0xdf) {
        whole = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        whole = 3;
        if (lead == 0xe0) low = 0xa0;
        if (lead == 0xed) high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        whole = 4;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;
    } else {
        return false;
    }
    for (; length < whole; ++length, low = 0x80, high = 0xbf) {
        if (byte(at + length) < low || byte(at + length) > high) return false;
    }
    return true;
}

}  // namespace

void JsonWriter::separate() {
    if (!first_ && !afterKey_) text_ += ',';
    first_ = false;
    afterKey_ = false;
}

void JsonWriter::quote(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    text_ += '"';
    for (size_t at = 0; at < text.size();) {
        const char ch = text[at];
        const auto byte = static_cast<unsigned char>(ch);
        size_t length = 0;
        if (!utf8Sequence(text, at, length)) {
            // Bytes that are no UTF-8 (a file name in another encoding):
            // U+FFFD, so that the output is always UTF-8.
            text_ += "\\ufffd";
            at += length;
            continue;
        }
        if (ch == '"' || ch == '\\') {
            text_ += '\\';
            text_ += ch;
        } else if (ch == '\n') {
            text_ += "\\n";
        } else if (byte < 0x20 || byte == 0x7f) {
            text_ += "\\u00";
            text_ += digits[byte >> 4];
            text_ += digits[byte & 15];
        } else {
            text_.append(text, at, length);
        }
        at += length;
    }
    text_ += '"';
}

JsonWriter& JsonWriter::open(char bracket) {
    separate();
    text_ += bracket;
    open_.push_back(bracket == '{' ? '}' : ']');
    first_ = true;
    return *this;
}

JsonWriter& JsonWriter::close() {
    text_ += open_.back();
    open_.pop_back();
    first_ = false;
    return *this;
}

JsonWriter& JsonWriter::key(const std::string& name) {
    separate();
    quote(name);
    text_ += ':';
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(const std::string& text) {
    separate();
    quote(text);
    return *this;
}

JsonWriter& JsonWriter::value(uint64_t number) {
    separate();
    text_ += std::to_string(number);
    return *this;
}

}  // namespace zqcli
