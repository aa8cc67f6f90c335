// File: library_check.h
//
// The library's signature check, through its export, as a host makes it.
#pragma once

#include <stdint.h>

#include <vector>

#include "file_digest.h"

namespace zqcli {

enum class LibraryAnswer { Match, NoMatch, CannotCheck };

// libraryCheck runs zqCryptVerifySignature on `signature` (least
// significant byte first, of any length: given to the library with zero
// bytes on top up to whole words and the blob's modulus field, as far as
// the blob holds it), the key blob `keyBlob` and `digest`.
LibraryAnswer libraryCheck(const std::vector<uint8_t>& signature, const std::vector<uint8_t>& keyBlob,
                           const Md5Digest& digest);

}  // namespace zqcli
