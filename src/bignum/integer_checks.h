// File: integer_checks.h
//
// Range checks on BigInt values that read only the sign and the bit length,
// so that they allocate nothing and cannot be misled by a constant that the
// heap failed to supply. An invalid value passes none of them.
#pragma once

#include "bignum/bigint.h"

namespace zq {

// isNegative is true for n < 0 (a zero with the negative flag is not).
inline bool isNegative(const BigInt& n) noexcept { return n.negative != 0 && n.bitLength() != 0; }

// isAtLeast2 is true for n ≥ 2.
inline bool isAtLeast2(const BigInt& n) noexcept { return n.negative == 0 && n.bitLength() >= 2; }

// isOddPositive is true for an odd n ≥ 1: a modulus of the Montgomery power.
inline bool isOddPositive(const BigInt& n) noexcept { return n.negative == 0 && n.testBit(0) != 0; }

// isOddAbove2 is true for an odd n ≥ 3: a modulus of the Montgomery power
// other than 1.
inline bool isOddAbove2(const BigInt& n) noexcept { return isOddPositive(n) && n.bitLength() >= 2; }

}  // namespace zq
