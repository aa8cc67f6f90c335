// File: private_key.cpp
//
// The CRT private-key operation and Garner's recombination (RFC 8017
// §5.1.2). See private_key.h.
#include "numtheory/private_key.h"

#include "bignum/integer_checks.h"
#include "bignum/mod_inverse.h"
#include "bignum/montgomery.h"

namespace zq {

BigInt crtPow(const BigInt& x, const BigInt& d, const BigInt& p, const BigInt& q) noexcept {
    if (!isOddAbove2(p) || !isOddAbove2(q)) return BigInt::invalid();
    const BigInt one(1);
    const BigInt pInv = modInverse(p, q);
    // Without pInv·p ≡ 1 (mod q) the moduli share a factor and there is no
    // recombination. An invalid pInv makes every value below invalid, and so
    // the result.
    if ((pInv * p) % q != one) return BigInt::invalid();

    const BigInt mP = modPow(x % p, d % (p - one), p);
    const BigInt mQ = modPow(x % q, d % (q - one), q);

    // mP < p and mQ < q, so mQ − mP lies in (−p, q). One addition of q would
    // make it non-negative only when p < q; the remainder and one addition
    // bring it into [0, q) for either order.
    BigInt difference = (mQ - mP) % q;
    if (isNegative(difference)) difference += q;
    const BigInt h = (difference * pInv) % q;

    // mP ≤ p − 1 and h ≤ q − 1, so mP + p·h ≤ p·q − 1.
    return mP + p * h;
}

BigInt PrivateKeyObject::privateOperation(const BigInt& x) const noexcept {
    const BigInt one(1);
    const BigInt phi = (prime1 - one) * (prime2 - one);
    const BigInt d = modInverse(exponent, phi);
    // modInverse reports nothing: d is a private exponent only if d·e ≡ 1
    // (mod φ). A φ below 1 (from a prime below 2) has no such d and is not
    // divided by; crtPow refuses the other keys whose primes are no moduli.
    if (phi < one || (d * exponent) % phi != one || isNegative(d)) return BigInt::invalid();
    return crtPow(x, d, prime1, prime2);
}

}  // namespace zq
