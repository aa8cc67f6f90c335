// File: file_hashes.h
//
// A file's MD5 digest (the library's MD5 engine) and, in the same pass,
// its digest under one other hash function, computed by the platform:
// libcrypto on Linux, CryptoAPI (the PROV_RSA_AES provider) on Windows. A
// build with neither computes MD5 only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "file_digest.h"
#include "hash_kind.h"

namespace zqcli {

struct FileDigests {
    Md5Digest md5{};
    // The digest under the other function; empty when none was asked for
    // or the build cannot compute it.
    std::vector<uint8_t> other;
};

// digestsOfFile reads `name` ("-" for standard input) once. A read error,
// or a platform hash that fails, throws a Failure.
FileDigests digestsOfFile(const std::string& name, std::optional<HashKind> other);

}  // namespace zqcli
