// File: key_import.cpp
//
// Key import and destruction. See key_import.h.
#include "provider/key_import.h"

#include <new>

#include "engines/byte_order.h"
#include "frame/private_heap.h"

namespace zq {

namespace {

constexpr uint32_t kBitlenOffset = 12;
constexpr uint32_t kExponentOffset = 16;
constexpr uint32_t kModulusOffset = 20;

}  // namespace

uint32_t ProvImportKey([[maybe_unused]] ProviderContext provider, const uint8_t* blob, uint32_t length,
                       [[maybe_unused]] uintptr_t publicKey, [[maybe_unused]] uint32_t flags,
                       KeyObject** key) noexcept {
    if (blob == nullptr || length < kModulusOffset) return 0;

    void* block = PrivateHeap::allocate(sizeof(KeyObject));
    if (block == nullptr) return 0;
    auto* object = new (block) KeyObject{BigInt(0), BigInt(0)};

    // The blob's own length bounds the modulus, whatever bitlen claims.
    const uint32_t claimedWords = loadLittle32(blob + kBitlenOffset) / 32;
    const uint32_t presentWords = (length - kModulusOffset) / 4;
    object->modulus.fromWords(blob + kModulusOffset, claimedWords < presentWords ? claimedWords : presentWords);
    object->exponent.fromWords(blob + kExponentOffset, 1);
    // A value the heap could not hold is no key: the check cannot be made.
    if (!object->modulus.isValid() || !object->exponent.isValid()) {
        ProvDestroyKey(object);
        return 0;
    }

    *key = object;
    return 1;
}

uint32_t ProvDestroyKey(KeyObject* key) noexcept {
    if (key == nullptr) return 1;
    key->~KeyObject();
    PrivateHeap::release(key);
    return 1;
}

}  // namespace zq
