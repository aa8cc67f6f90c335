// File: montgomery_crt.h
//
// The RSA private-key operation on Montgomery images modulo n: out of the
// domain, x^d mod n by the Chinese remainder theorem (private_key.h), and back
// into the domain. The private exponent is given; the public one plays no
// part.
#pragma once

#include "bignum/bigint.h"

namespace zq {

// montgomeryCrtPow returns the Montgomery image modulo `n` of x^d mod n, where
// x is the value whose image is `xImage` (in [0, n)), for n = p·q with p and
// q distinct odd primes and a private exponent `d` valid for them. A
// MontgomeryContext for n supplies R and R^−1 mod n (nothing else of it is
// used): x ← (xImage·R^−1) mod n, y ← crtPow(x, d, p, q), and the result is
// (y·R) mod n, the conversions being full products and remainders. The
// exponentiations run modulo p and q only. For n = 55 (R = 64, R^−1 = 49):
// montgomeryCrtPow(18, 27, 55, 5, 11) = 52, the image of 18 = 2^27 mod 55,
// 18 being the image of 2. That n equals p·q is not checked. The invalid
// value for an n that is even, zero, negative or invalid, and as for crtPow.
BigInt montgomeryCrtPow(const BigInt& xImage, const BigInt& d, const BigInt& n, const BigInt& p,
                        const BigInt& q) noexcept;

}  // namespace zq
