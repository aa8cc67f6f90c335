// File: signature.cpp
//
// The provider's signature check. See signature.h.
#include "provider/signature.h"

#include "frame/last_error.h"
#include "zqcrypt.h"

namespace zq {

namespace {

// isRsaKey: a modulus of at least 3 that is odd, and an exponent of at least
// 1. Other keys would "match" by accident: modulo 1 every power is 0 (the
// zero digest), and x^0 is 1.
bool isRsaKey(const KeyObject& key) noexcept {
    return key.modulus.testBit(0) && key.modulus.bitLength() >= 2 && key.exponent.bitLength() != 0;
}

uint32_t mismatch() noexcept {
    setLastError(NTE_BAD_SIGNATURE);
    return 0;
}

}  // namespace

uint32_t ProvVerifySignature(const HashObject* hash, const uint8_t* signature, uint32_t length,
                             const KeyObject* key, [[maybe_unused]] const char* description,
                             [[maybe_unused]] uint32_t flags) noexcept {
    const uint8_t* stored = hash->storedValue();
    if (stored == nullptr) return 0;
    if (!isRsaKey(*key)) return mismatch();

    BigInt s(0);
    s.fromWords(signature, length / 4);
    const BigInt m = key->publicOperation(s);
    if (!s.isValid() || !m.isValid()) return 0;

    // The lowest four words of m, least significant byte first, against the
    // stored digest from its last byte backward.
    CryptBlob low{0, 0, nullptr};
    if (zqCryptBlobInit(&low, 16) == 0) return 0;
    m.toWords(low.data, 4);
    bool equal = true;
    for (int i = 0; i < 16 && equal; ++i) equal = low.data[i] == stored[15 - i];
    zqCryptBlobClear(&low);
    return equal ? 1 : mismatch();
}

}  // namespace zq
