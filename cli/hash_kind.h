// File: hash_kind.h
//
// The hash functions a PKCS #1 v1.5 signature may name, as the tool tells
// them apart: MD5, the one the library's check takes, and the SHA-1 and
// SHA-2 functions that signers use in its place.
#pragma once

#include <stddef.h>

namespace zqcli {

enum class HashKind { Md5, Sha1, Sha256, Sha384, Sha512 };

// hashName is the function's usual name ("SHA-256").
inline const char* hashName(HashKind kind) {
    switch (kind) {
        case HashKind::Md5: return "MD5";
        case HashKind::Sha1: return "SHA-1";
        case HashKind::Sha256: return "SHA-256";
        case HashKind::Sha384: return "SHA-384";
        case HashKind::Sha512: return "SHA-512";
    }
    return "?";
}

}  // namespace zqcli
