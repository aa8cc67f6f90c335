// File: sqrt_mod.h
//
// Square roots modulo an odd prime p: the direct power for p ≡ 3 (mod 4),
// Atkin's formula for p ≡ 5 (mod 8), and for p ≡ 1 (mod 8) the Lucas-sequence
// method (as in IEEE 1363-2000, Annex A), whose
// parameter P is tried in the fixed order 1, 2, 3, … so that the root is a
// function of a and p alone. Powers come from modPow (montgomery.h). All
// three functions work on copies and change nothing the caller holds; an
// invalid operand, or a heap that runs out, gives the invalid value.
#pragma once

#include "bignum/bigint.h"

namespace zq {

// halveMod returns a value congruent to x·2^−1 modulo the odd `m`: (x + m)/2
// when bit 0 of |x| is 1, otherwise x/2, both exact, rounded toward zero like
// operator/. For x in (−m, m) the result lies in (−m, m): halveMod(3, 7) = 5,
// halveMod(4, 7) = 2, halveMod(−3, 7) = 2.
BigInt halveMod(const BigInt& x, const BigInt& m) noexcept;

// lucasV returns a value congruent modulo the odd `n` to V(k) of the Lucas
// sequences with parameters P and Q (V(0) = 2, V(1) = P, V(j + 1) =
// P·V(j) − Q·V(j − 1)), walking the bits of k from the top below the leading
// one with D = P² − 4Q, U(1) = 1, V(1) = P:
//   doubling   U(2j) = U·V,             V(2j) = (V² + D·U²)/2,
//   step       U(j+1) = (P·U + V)/2,    V(j+1) = (P·V + D·U)/2,
// every new value reduced modulo n (remainders with the sign of the dividend)
// and halved by halveMod. Neither D nor P is reduced, so values and result
// may be negative or, for k = 1, P itself: lucasV(9, 3, 1, 7) = 9, and
// lucasV(3, 1, 5, n) = 123 for any odd n above 123. Only |k| is read; k = 0
// gives V(0) = 2.
BigInt lucasV(const BigInt& P, const BigInt& Q, const BigInt& k, const BigInt& n) noexcept;

// sqrtModPrime returns r in [0, p) with r² ≡ a (mod p) when a is a quadratic
// residue modulo the odd prime p; for a non-residue it is a value in [0, p)
// that is no root. a is first reduced into [0, p).
//  - a ≡ 0: 0 at once (every discriminant of the Lucas search would be a
//    square, and the search would run until P reached p).
//  - p ≡ 3 (mod 4): a^((p+1)/4) mod p.                    sqrtModPrime(2, 7) = 4
//  - p ≡ 5 (mod 8), Atkin: v = (2a)^((p−5)/8) mod p, i = 2a·v², r = a·v·(i − 1).
//                  sqrtModPrime(4, 13) = 11, (3, 13) = 9, (10, 13) = 7
//  - p ≡ 1 (mod 8): for P = 1, 2, 3, … with D = (P² − 4a) mod p in [0, p):
//    D = 0 gives r = P/2 mod p; a non-residue D by Euler's criterion
//    (D^((p−1)/2) mod p ≠ 1) gives r = halveMod(lucasV(P, a, (p+1)/2, p), p).
//    A D that Euler's criterion calls a residue but whose Jacobi symbol
//    (D / p) is −1 shows that p is composite, and gives the invalid value:
//    some composites pass the criterion for every D coprime to them, and
//    the search would otherwise go on until P reached p.
//                  sqrtModPrime(2, 17) = 6, (13, 17) = 9, (5, 41) = 28
// The root returned is not necessarily the smaller of the two. Outside the
// contract: p = 2 gives a mod 2 (the root there); p below 2 or even above 2
// gives the invalid value.
BigInt sqrtModPrime(const BigInt& a, const BigInt& p) noexcept;

}  // namespace zq
