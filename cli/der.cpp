// File: der.cpp
//
// DER reading and writing. See der.h.
#include "der.h"

#include <stddef.h>
#include <stdio.h>

#include "failure.h"

namespace zqcli {
namespace {

std::string tagName(uint8_t tag) {
    char text[8];
    snprintf(text, sizeof text, "0x%02x", tag);
    return text;
}

// Lengths beyond 4 bytes are longer than any key file the tool reads.
constexpr size_t MaxLengthBytes = 4;

}  // namespace

void DerReader::malformed(const std::string& why) const { fail(quoteName(name_), "not a valid DER key: " + why); }

DerReader DerReader::contents(uint8_t tag, const char* what) {
    const std::string field = what;
    if (left_ == 0) malformed(field + " is missing (the data ends)");
    if (data_[0] != tag) malformed(field + ": tag " + tagName(data_[0]) + " where " + tagName(tag) + " belongs");
    if (left_ < 2) malformed(field + ": its length is cut short");
    size_t length = data_[1], header = 2;
    if (length == 0x80) malformed(field + ": an indefinite length, which DER does not allow");
    if (length > 0x80) {
        const size_t count = length & 0x7F;
        if (count > MaxLengthBytes) malformed(field + ": a length of " + std::to_string(count) + " bytes");
        if (left_ < 2 + count) malformed(field + ": its length is cut short");
        length = 0;
        for (size_t i = 0; i < count; ++i) length = length << 8 | data_[2 + i];
        if (data_[2] == 0 || length < 0x80) malformed(field + ": a length not in its shortest form");
        header += count;
    }
    if (length > left_ - header) {
        malformed(field + " is cut short: " + std::to_string(length) + " bytes stated, " +
                  std::to_string(left_ - header) + " there");
    }
    DerReader inner(data_ + header, length, name_);
    data_ += header + length;
    left_ -= header + length;
    return inner;
}

std::vector<uint8_t> DerReader::bytes(uint8_t tag, const char* what) {
    const DerReader inner = contents(tag, what);
    return std::vector<uint8_t>(inner.data_, inner.data_ + inner.left_);
}

std::vector<uint8_t> DerReader::integer(const char* what) {
    std::vector<uint8_t> value = bytes(DerInteger, what);
    const std::string field = what;
    if (value.empty()) malformed(field + ": an INTEGER without content");
    if (value[0] & 0x80) malformed(field + " is negative");
    if (value.size() > 1 && value[0] == 0 && (value[1] & 0x80) == 0) {
        malformed(field + ": an INTEGER not in its shortest form");
    }
    if (value[0] == 0) value.erase(value.begin());
    return value;
}

void DerReader::finish(const char* what) const {
    if (left_ != 0) malformed(std::to_string(left_) + " bytes left over after " + what);
}

std::vector<uint8_t> derElement(uint8_t tag, const std::vector<uint8_t>& contents) {
    std::vector<uint8_t> element = {tag};
    const size_t length = contents.size();
    if (length < 0x80) {
        element.push_back(static_cast<uint8_t>(length));
    } else {
        int count = 0;
        for (size_t rest = length; rest != 0; rest >>= 8) ++count;
        element.push_back(static_cast<uint8_t>(0x80 | count));
        for (int i = count - 1; i >= 0; --i) element.push_back(static_cast<uint8_t>(length >> (8 * i)));
    }
    element.insert(element.end(), contents.begin(), contents.end());
    return element;
}

std::vector<uint8_t> derInteger(const std::vector<uint8_t>& bigEndian) {
    size_t first = 0;
    while (first < bigEndian.size() && bigEndian[first] == 0) ++first;
    std::vector<uint8_t> contents;
    if (first == bigEndian.size() || (bigEndian[first] & 0x80) != 0) contents.push_back(0);
    contents.insert(contents.end(), bigEndian.begin() + static_cast<ptrdiff_t>(first), bigEndian.end());
    return derElement(DerInteger, contents);
}

std::vector<uint8_t> derConcatenate(const std::vector<std::vector<uint8_t>>& elements) {
    std::vector<uint8_t> joined;
    for (const std::vector<uint8_t>& element : elements) joined.insert(joined.end(), element.begin(), element.end());
    return joined;
}

}  // namespace zqcli
