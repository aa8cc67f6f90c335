// File: private_key.h
//
// The RSA private-key operation, x^d mod n, by the Chinese remainder theorem
// (PKCS #1 v2.2, RFC 8017 §5.1.2), from a record that holds only the modulus,
// the public exponent and the two primes. The private exponent and the CRT
// values are derived again on every call and dropped afterwards; nothing is
// cached.
//
// Inputs outside the contract give the invalid value of bigint.h rather than
// a meaningless number: primes that are not odd and above 1, primes that are
// not coprime (equal ones included), and a public exponent with no inverse
// modulo (p − 1)(q − 1). Whether p and q are in fact prime is not checked;
// for composites the result is the same arithmetic on them.
#pragma once

#include "bignum/bigint.h"

namespace zq {

// crtPow returns x^d mod p·q, in [0, p·q), for odd coprime moduli p and q
// above 1 (distinct primes in RSA): d is reduced to dP = d mod (p − 1) and
// dQ = d mod (q − 1), mP = (x mod p)^dP mod p and mQ = (x mod q)^dQ mod q,
// and Garner's recombination with pInv = p^−1 mod q gives
// mP + p·(((mQ − mP)·pInv) mod q). The difference is reduced fully modulo q
// (into [0, q)), so the result is right for either order of the primes.
// Only |d| is read by the powers. A negative x is brought into range by its
// reduction modulo p and q. The invalid value for moduli outside the
// contract, an invalid operand, or when the heap runs out.
BigInt crtPow(const BigInt& x, const BigInt& d, const BigInt& p, const BigInt& q) noexcept;

// PrivateKeyObject: an RSA private key as the toolkit holds it. The first two
// fields are those of KeyObject (key_object.h), in the same order.
struct PrivateKeyObject {
    BigInt modulus;   // n = p·q; the private operation does not read it
    BigInt exponent;  // e, the public exponent
    BigInt prime1;    // p
    BigInt prime2;    // q

    // privateOperation returns x^d mod n for x ≥ 0, where d = e^−1 mod
    // (p − 1)(q − 1): φ ← (p − 1)(q − 1), d ← modInverse(e, φ), then
    // crtPow(x, d, p, q). Two extended-Euclid inverses on every call, one of
    // them modulo φ. With p = 5, q = 11, e = 3: d = 27, and 2 gives 18, 52
    // gives 13. x may exceed n (x and x + n give the same result). The
    // invalid value when e has no inverse modulo φ (d·e mod φ ≠ 1, e = 0
    // included), or as for crtPow. The record is not changed.
    BigInt privateOperation(const BigInt& x) const noexcept;
};

}  // namespace zq
