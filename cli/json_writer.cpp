// File: json_writer.cpp
//
// The JSON writer. See json_writer.h.
#include "json_writer.h"

namespace zqcli {

void JsonWriter::separate() {
    if (!first_ && !afterKey_) text_ += ',';
    first_ = false;
    afterKey_ = false;
}

void JsonWriter::quote(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    text_ += '"';
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
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
            text_ += ch;
        }
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
