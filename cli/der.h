// File: der.h
//
// DER, the ASN.1 encoding of key files, as far as RSA keys use it: a strict
// reader that takes elements one by one and checks every length against the
// bytes it has, and the writing of elements and integers. The reader takes
// only the one encoding DER allows (definite, minimal lengths; minimal,
// non-negative integers) and throws a Failure naming the file and the field
// for anything else.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace zqcli {

// The tags of the elements key files hold.
enum DerTag : uint8_t {
    DerInteger = 0x02,
    DerBitString = 0x03,
    DerOctetString = 0x04,
    DerNull = 0x05,
    DerObjectIdentifier = 0x06,
    DerSequence = 0x30,
};

class DerReader {
public:
    // A reader over `size` bytes at `data` (not copied: they must outlive
    // the reader), which are the content of the file `name`.
    DerReader(const uint8_t* data, size_t size, const std::string& name) : data_(data), left_(size), name_(name) {}

    bool atEnd() const { return left_ == 0; }
    const std::string& name() const { return name_; }
    // nextTag is the tag of the next element, or 0 at the end.
    uint8_t nextTag() const { return left_ == 0 ? 0 : data_[0]; }

    // contents reads the next element, which must have the tag `tag`, and
    // returns a reader over its contents. `what` names the element in a
    // message.
    DerReader contents(uint8_t tag, const char* what);
    // bytes is the contents of the next element as they stand.
    std::vector<uint8_t> bytes(uint8_t tag, const char* what);
    // integer reads a non-negative INTEGER as its magnitude, most
    // significant byte first, without leading zero bytes (empty for 0).
    std::vector<uint8_t> integer(const char* what);
    // finish throws unless every byte has been read: `what` is the element
    // whose contents this reader holds.
    void finish(const char* what) const;

    // malformed throws a Failure about the file: "`what`" and why.
    [[noreturn]] void malformed(const std::string& why) const;

private:
    const uint8_t* data_;
    size_t left_;
    std::string name_;
};

// derElement is the element with `tag` and `contents`.
std::vector<uint8_t> derElement(uint8_t tag, const std::vector<uint8_t>& contents);
// derInteger is the INTEGER whose magnitude is `bigEndian` (leading zero
// bytes allowed): a zero byte on top when its top bit is set, as DER asks.
std::vector<uint8_t> derInteger(const std::vector<uint8_t>& bigEndian);
// derConcatenate is the elements one after the other.
std::vector<uint8_t> derConcatenate(const std::vector<std::vector<uint8_t>>& elements);

}  // namespace zqcli
