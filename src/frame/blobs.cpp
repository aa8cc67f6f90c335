// File: blobs.cpp
//
// The blob record operations: zqCryptBlobInit, zqCryptBlobClear,
// zqCryptBlobCopy and the internal BlobReinit. See zqcrypt.h and blobs.h.
#include "frame/blobs.h"

#include <string.h>

#include "frame/call_gate.h"
#include "frame/private_heap.h"

using zq::PrivateHeap;

// Each export holds a gate for its call (call_gate.h). Once the library is
// unloading, the blob operations allocate and release nothing: Init and Copy
// fail as on an exhausted heap, and Clear only empties the record.

uintptr_t ZQ_CALL zqCryptBlobInit(CryptBlob* blob, uint32_t size) noexcept {
    const zq::CallGate gate;
    blob->tag = 0;
    blob->size = size;
    blob->data = size != 0 && gate.open() ? static_cast<uint8_t*>(PrivateHeap::allocate(size)) : nullptr;
    return reinterpret_cast<uintptr_t>(blob->data);
}

uint32_t ZQ_CALL zqCryptBlobClear(CryptBlob* blob) noexcept {
    const zq::CallGate gate;
    if (gate.open()) PrivateHeap::release(blob->data);
    blob->data = nullptr;
    blob->tag = 0;
    blob->size = 0;
    return 1;
}

uint32_t ZQ_CALL zqCryptBlobCopy(CryptBlob* destination, const CryptBlob* source) noexcept {
    // A record copied onto itself already is its own copy; releasing first
    // would read freed bytes.
    if (destination == source) return 1;
    const zq::CallGate gate;
    if (!gate.open() || zq::lacksBytes(source, source->size)) return 0;

    // The new block is had before the old one goes, so that an exhausted heap
    // leaves the destination as it was.
    auto* block = static_cast<uint8_t*>(PrivateHeap::allocate(source->size));
    if (block == nullptr) return 0;
    if (source->size != 0) memcpy(block, source->data, source->size);

    PrivateHeap::release(destination->data);
    destination->size = source->size;
    destination->tag = source->tag;
    destination->data = block;
    return 1;
}

namespace zq {

uint32_t BlobReinit(CryptBlob* blob, uint32_t size, uint32_t tag) noexcept {
    uint8_t* block = nullptr;
    if (size != 0) {
        block = static_cast<uint8_t*>(PrivateHeap::allocate(size));
        if (block == nullptr) return 0;
    }
    PrivateHeap::release(blob->data);
    blob->size = size;
    blob->tag = tag;
    blob->data = block;
    return 1;
}

void BlobAdopt(CryptBlob* blob, uint8_t* block, uint32_t size) noexcept {
    PrivateHeap::release(blob->data);
    blob->size = size;
    blob->tag = 0;
    blob->data = block;
}

}  // namespace zq
