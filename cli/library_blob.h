// File: library_blob.h
//
// The tool's side of the library's CryptBlob records: input records that
// point at the tool's own bytes (the library only reads them), and output
// records that the library fills and that are cleared on every path.
#pragma once

#include <stdint.h>

#include "failure.h"
#include "zqcrypt.h"

namespace zqcli {

// inputBlob is a record over `size` bytes at `bytes` for the library to
// read. It is never cleared: its bytes are not the library's. A record
// counts its bytes in 32 bits: a larger size throws a Failure rather than
// hand the library a part of the input.
inline CryptBlob inputBlob(const uint8_t* bytes, size_t size) {
    const uint64_t counted = size;  // a 32-bit size_t always fits
    if (counted > UINT32_MAX) {
        fail("library", std::to_string(size) + " bytes in one record; it holds at most 4294967295");
    }
    return CryptBlob{static_cast<uint32_t>(size), 0, const_cast<uint8_t*>(bytes)};
}

// FilledBlob: a record for the library to fill, cleared when it goes out of
// scope.
struct FilledBlob {
    CryptBlob blob{};
    FilledBlob() = default;
    ~FilledBlob() { zqCryptBlobClear(&blob); }
    FilledBlob(const FilledBlob&) = delete;
    FilledBlob& operator=(const FilledBlob&) = delete;
};

}  // namespace zqcli
