// File: text.h
//
// Small conversions between bytes and the text the tool reads and writes:
// hexadecimal digests and file names escaped as md5sum escapes them.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace zqcli {

// toHex is `count` bytes as lower-case hexadecimal, two digits a byte.
std::string toHex(const uint8_t* bytes, size_t count);

// parseHex reads `text`, exactly 2·`count` hexadecimal digits of either
// case, into `bytes`; false when it is anything else.
bool parseHex(const std::string& text, uint8_t* bytes, size_t count);

// escapeFileName writes `name` as md5sum does in a line of its output: each
// backslash doubled, newline as "\n", carriage return as "\r". Returns true
// when anything was escaped (the line then starts with a backslash).
bool escapeFileName(const std::string& name, std::string& escaped);

// unescapeFileName undoes escapeFileName; false for any other backslash
// sequence.
bool unescapeFileName(const std::string& escaped, std::string& name);

}  // namespace zqcli
