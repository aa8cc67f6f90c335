// File: signature.cpp
//
// The provider's signature check. See signature.h.
#include "provider/signature.h"

#include "bignum/integer_checks.h"
#include "frame/last_error.h"
#include "zqcrypt.h"

namespace zq {

namespace {

// isRsaKey: a modulus of at least 3 that is odd, and an exponent of at least
// 1. Other keys would "match" by accident: modulo 1 every power is 0 (the
// zero digest), and x^0 is 1.
bool isRsaKey(const KeyObject& key) noexcept {
    return isOddAbove2(key.modulus) && key.exponent.bitLength() != 0;
}

// The arithmetic costs time that grows with the square of the operands' size
// and faster (the divisions work one bit at a time), so values beyond the
// largest RSA keys in use are not worked on: a blob of a few hundred
// kilobytes would otherwise keep a call busy for hours.
constexpr uint32_t kLargestOperandBits = 16384;

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
    // Sizes first: an operand too large is refused whatever the key is.
    if (key->modulus.bitLength() > kLargestOperandBits) return 0;
    BigInt s(0);
    s.fromWords(signature, length / 4);
    if (!s.isValid() || s.bitLength() > kLargestOperandBits) return 0;
    if (!isRsaKey(*key)) return mismatch();

    const BigInt m = key->publicOperation(s);
    if (!m.isValid()) return 0;

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
