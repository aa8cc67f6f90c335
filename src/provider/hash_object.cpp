// File: hash_object.cpp
//
// Provider hash objects over the MD5 and SHA-0 engines. See hash_object.h.
#include "provider/hash_object.h"

#include <string.h>

#include <new>

#include "frame/private_heap.h"

namespace zq {

uint32_t ProvCreateHash([[maybe_unused]] ProviderContext provider, uint32_t algId,
                        [[maybe_unused]] uintptr_t key, uint32_t flags,
                        HashObject** hash) noexcept {
    if (algId != CALG_MD5 && algId != CALG_SHA) return 0;
    void* block = PrivateHeap::allocate(sizeof(HashObject));
    if (block == nullptr) return 0;

    auto* object = new (block) HashObject;
    object->algId = algId;
    object->flags = flags;
    if (algId == CALG_SHA) Sha0Context::begin(object->state.sha0);
    else Md5Context::begin(object->state.md5);
    *hash = object;
    return 1;
}

uint32_t ProvHashData(HashObject* hash, const uint8_t* bytes, uint32_t count,
                      [[maybe_unused]] uint32_t flags) noexcept {
    switch (hash->algId) {
    case CALG_SHA: Sha0Context::feed(hash->state.sha0, bytes, count); return 1;
    case CALG_MD5: Md5Context::feed(hash->state.md5, bytes, count); return 1;
    default: return 0;  // a stored value takes no more data
    }
}

uint32_t ProvGetHashParam(const HashObject* hash, uint32_t parameter, uint8_t* buffer,
                          uint32_t* length, [[maybe_unused]] uint32_t flags) noexcept {
    const uint32_t size = hash->hashSize();
    if (parameter == HP_HASHSIZE) {
        if (buffer == nullptr) {
            *length = sizeof(uint32_t);
            return 1;
        }
        if (*length != sizeof(uint32_t)) return 0;
        memcpy(buffer, &size, sizeof size);
        return 1;
    }
    if (parameter != HP_HASHVAL) return 0;
    if (buffer == nullptr) {
        *length = size;
        return 1;
    }
    if (*length != size) return 0;

    // The object keeps the state of the message fed so far.
    switch (hash->algId) {
    case CALG_SHA: Sha0Context::digestSoFar(buffer, hash->state.sha0); return 1;
    case CALG_MD5: Md5Context::digestSoFar(buffer, hash->state.md5); return 1;
    default:
        memcpy(buffer, hash->state.stored.data, 16);
        return 1;
    }
}

uint32_t ProvSetHashParam(HashObject* hash, [[maybe_unused]] uint32_t parameter,
                          const uint8_t* value, [[maybe_unused]] uint32_t flags) noexcept {
    // A 16-byte blob over the caller's bytes, copied into a blob of the
    // object's own. The copy is made before the engine state is given up, so
    // that an exhausted heap leaves the object as it was.
    const CryptBlob source{16, 0, const_cast<uint8_t*>(value)};
    CryptBlob stored{0, 0, nullptr};
    if (zqCryptBlobCopy(&stored, &source) == 0) return 0;

    if (hash->algId == 0) PrivateHeap::release(hash->state.stored.data);
    hash->algId = 0;
    hash->state.stored = stored;
    return 1;
}

uint32_t ProvDestroyHash(HashObject* hash) noexcept {
    if (hash == nullptr) return 1;
    if (hash->algId == 0) PrivateHeap::release(hash->state.stored.data);
    hash->~HashObject();
    PrivateHeap::release(hash);
    return 1;
}

}  // namespace zq
