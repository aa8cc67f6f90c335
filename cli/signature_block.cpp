// File: signature_block.cpp
//
// Reading a recovered block. See signature_block.h.
#include "signature_block.h"

#include <stddef.h>

#include <algorithm>

#include "text.h"

namespace zqcli {
namespace {

// The DER DigestInfo of each function up to its digest: a SEQUENCE of the
// algorithm identifier (its OID, NULL parameters) and an OCTET STRING of
// the digest's length (RFC 8017, 9.2, note 1).
struct DigestInfoPrefix {
    HashKind hash;
    size_t digestSize;
    std::vector<uint8_t> prefix;
};

const std::vector<DigestInfoPrefix>& prefixes() {
    static const std::vector<DigestInfoPrefix> known = {
        {HashKind::Md5, 16,
         {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x02, 0x05, 0x05, 0x00, 0x04, 0x10}},
        {HashKind::Sha1, 20, {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e, 0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14}},
        {HashKind::Sha256, 32,
         {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04,
          0x20}},
        {HashKind::Sha384, 48,
         {0x30, 0x41, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02, 0x05, 0x00, 0x04,
          0x30}},
        {HashKind::Sha512, 64,
         {0x30, 0x51, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03, 0x05, 0x00, 0x04,
          0x40}},
    };
    return known;
}

SignedBlock flawed(std::string flaw) {
    SignedBlock read;
    read.flaw = std::move(flaw);
    return read;
}

}  // namespace

SignedBlock readSignedBlock(const std::vector<uint8_t>& block) {
    if (block.size() < 2 || block[0] != 0 || block[1] != 1) {
        const size_t shown = std::min<size_t>(block.size(), 4);
        return flawed("it begins " + toHex(block.data(), shown) + ", not 0001 and FF padding");
    }
    const auto padEnd = std::find_if(block.begin() + 2, block.end(), [](uint8_t byte) { return byte != 0xff; });
    const size_t padding = static_cast<size_t>(padEnd - block.begin()) - 2;
    if (padEnd == block.end() || *padEnd != 0) return flawed("its FF padding does not end in a 00 byte");
    if (padding < 8) return flawed("its FF padding is " + std::to_string(padding) + " bytes, not at least 8");
    const std::vector<uint8_t> info(padEnd + 1, block.end());
    for (const DigestInfoPrefix& known : prefixes()) {
        if (info.size() == known.prefix.size() + known.digestSize &&
            std::equal(known.prefix.begin(), known.prefix.end(), info.begin())) {
            SignedBlock read;
            read.pkcs1 = true;
            read.hash = known.hash;
            read.digest.assign(info.begin() + static_cast<ptrdiff_t>(known.prefix.size()), info.end());
            return read;
        }
    }
    return flawed("no DigestInfo of MD5, SHA-1, SHA-256, SHA-384 or SHA-512 follows its padding");
}

}  // namespace zqcli
