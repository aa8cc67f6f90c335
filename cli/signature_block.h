// File: signature_block.h
//
// The block a signature recovers, s^e mod n written most significant byte
// first in as many bytes as the modulus, read as an RSASSA-PKCS1-v1_5
// encoding (RFC 8017, 9.2): 00 01, at least eight FF bytes, 00, then the
// DigestInfo of a hash function (its algorithm identifier, then the
// digest) reaching exactly to the block's end.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "hash_kind.h"

namespace zqcli {

// The smallest block that holds a PKCS #1 v1.5 MD5 signature: 00 01, eight
// FF bytes, 00 and MD5's DigestInfo of 34 bytes.
inline constexpr size_t SmallestMd5BlockBytes = 45;

// SignedBlock: what a block shows. When `pkcs1` it is a valid encoding of
// `digest` under `hash`; otherwise `flaw` says where it departs from one.
struct SignedBlock {
    bool pkcs1 = false;
    HashKind hash = HashKind::Md5;
    std::vector<uint8_t> digest;
    std::string flaw;
};

// readSignedBlock reads `block` (most significant byte first).
SignedBlock readSignedBlock(const std::vector<uint8_t>& block);

}  // namespace zqcli
