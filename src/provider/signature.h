// File: signature.h
//
// The signature check of the provider: an RSA signature raised to the key's
// exponent modulo its modulus, compared with the 16-byte value stored in a
// hash object.
#pragma once

#include <stdint.h>

#include "bignum/key_object.h"
#include "provider/hash_object.h"

namespace zq {

// ProvVerifySignature reads `length` / 4 whole words at `signature` as the
// integer s (least significant byte first; 1 to 3 trailing bytes are
// ignored), computes m = s^e mod n with `key`, and compares the lowest 128
// bits of m with the value that ProvSetHashParam stored in `hash`, read with
// its first byte as the most significant. Returns 1 when they are equal.
// Otherwise it sets the thread's last error to NTE_BAD_SIGNATURE and returns
// 0; so also for a key that cannot be an RSA key (a modulus below 3 or even,
// an exponent of 0), which matches nothing.
// Returns 0 without touching the last error when the check cannot be made: a
// hash object without a stored value, a modulus or a signature of more than
// 16384 bits, or a heap too exhausted to compute m.
// `description` and `flags` are not read.
uint32_t ProvVerifySignature(const HashObject* hash, const uint8_t* signature, uint32_t length,
                             const KeyObject* key, const char* description, uint32_t flags) noexcept;

}  // namespace zq
