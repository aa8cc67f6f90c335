// File: text.cpp
//
// Hexadecimal and escaped names. See text.h.
#include "text.h"

namespace zqcli {
namespace {

int hexValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

}  // namespace

std::string toHex(const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text(2 * count, '0');
    for (size_t i = 0; i < count; ++i) {
        text[2 * i] = digits[bytes[i] >> 4];
        text[2 * i + 1] = digits[bytes[i] & 15];
    }
    return text;
}

bool parseHex(const std::string& text, uint8_t* bytes, size_t count) {
    if (text.size() != 2 * count) return false;
    for (size_t i = 0; i < count; ++i) {
        const int high = hexValue(text[2 * i]), low = hexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

bool escapeFileName(const std::string& name, std::string& escaped) {
    escaped.clear();
    bool changed = false;
    for (char ch : name) {
        const char* replacement = ch == '\\' ? "\\\\" : ch == '\n' ? "\\n" : ch == '\r' ? "\\r" : nullptr;
        changed = changed || replacement != nullptr;
        if (replacement != nullptr) {
            escaped += replacement;
        } else {
            escaped += ch;
        }
    }
    return changed;
}

bool unescapeFileName(const std::string& escaped, std::string& name) {
    name.clear();
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\') {
            name += escaped[i];
            continue;
        }
        if (++i == escaped.size()) return false;
        switch (escaped[i]) {
            case '\\': name += '\\'; break;
            case 'n': name += '\n'; break;
            case 'r': name += '\r'; break;
            default: return false;
        }
    }
    return true;
}

}  // namespace zqcli
