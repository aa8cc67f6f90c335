// File: mod_inverse.h
//
// The inverse of a value modulo a modulus, by the extended Euclidean
// algorithm.
#pragma once

#include "bignum/bigint.h"

namespace zq {

// modInverse returns value^−1 mod `modulus`, in [0, modulus), when
// gcd(value, modulus) = 1 (value ≥ 0, modulus > 0). Extended Euclid:
// r0 ← modulus, r1 ← value, t0 ← 0, t1 ← 1; while r1 ≠ 0, with q = r0 / r1,
// (r0, r1) ← (r1, r0 − q·r1) and (t0, t1) ← (t1, t0 − q·t1); then t0, plus
// `modulus` once if it is negative. Throughout r ≡ t·value (mod modulus).
//
// Nothing is checked. When the gcd g is not 1 the result t0 satisfies
// t0·value ≡ g (mod modulus), with no sign of failure: modInverse(6, 9) = 8.
// A value above the modulus is accepted (the first step only swaps the pair);
// a value of 0 gives 0; modInverse(3, 7) = modInverse(10, 7) = 5. The invalid
// value if an operand is invalid or the heap runs out on the way.
BigInt modInverse(const BigInt& value, const BigInt& modulus) noexcept;

}  // namespace zq
