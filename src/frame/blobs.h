// File: blobs.h
//
// Internal blob operations. The three blob exports are declared in zqcrypt.h.
#pragma once

#include "zqcrypt.h"

namespace zq {

// lacksBytes is true when `blob` must have `needed` bytes (more than 0) but
// has no data: such a blob is refused, never read.
inline bool lacksBytes(const CryptBlob* blob, uint32_t needed) noexcept {
    return needed != 0 && blob->data == nullptr;
}

// BlobReinit releases the bytes of `blob`, then gives it `size` and `tag` and a
// new block of `size` bytes (null for size 0). Returns 1, or 0 when the block
// cannot be had; the record is then left exactly as it was.
uint32_t BlobReinit(CryptBlob* blob, uint32_t size, uint32_t tag) noexcept;

// BlobAdopt releases the bytes of `blob` and makes it hold `block` of `size`
// bytes, tag 0. The services use it to hand over an output block that is
// already filled.
void BlobAdopt(CryptBlob* blob, uint8_t* block, uint32_t size) noexcept;

}  // namespace zq
