// File: mod_inverse.cpp
//
// The modular inverse by the extended Euclidean algorithm. See mod_inverse.h.
#include "bignum/mod_inverse.h"

#include "bignum/integer_checks.h"

namespace zq {
namespace {

// swapValues exchanges two values' magnitudes and signs; no count changes.
void swapValues(BigInt& a, BigInt& b) noexcept {
    Magnitude* const mag = a.mag;
    const int32_t negative = a.negative;
    a.mag = b.mag;
    a.negative = b.negative;
    b.mag = mag;
    b.negative = negative;
}

// ownStorage makes `v` a value whose magnitude nothing else holds, ready to
// be overwritten: a shared magnitude is not copied (its words are about to
// be replaced) but exchanged for a fresh zero.
void ownStorage(BigInt& v) noexcept {
    if (v.mag->shareCount != 0) v = BigInt(0u);
}

}  // namespace

BigInt modInverse(const BigInt& value, const BigInt& modulus) noexcept {
    // Invariant: r0 ≡ t0·value and r1 ≡ t1·value (mod modulus); |r1| falls
    // with every step, so the loop ends, with r0 = gcd(value, modulus).
    BigInt r0(modulus);
    BigInt r1(value);
    BigInt t0(0u);
    BigInt t1(1u);
    // Working values, kept across the steps so that their storage is
    // allocated once.
    BigInt quotient(0u);
    BigInt remainder(0u);
    BigInt product(0u);

    while (!r1.mag->isZero()) {
        // q = r0 / r1 (toward zero) and r0 − q·r1, which is r0 % r1, from one
        // division.
        ownStorage(remainder);
        if (!quotient.isValid() || !remainder.isValid()) break;
        quotient.mag->divide(*r0.mag, *r1.mag, *remainder.mag);
        quotient.negative = r0.negative ^ r1.negative;
        remainder.negative = r0.negative;
        // (r0, r1) ← (r1, r0 − q·r1); the old r0's storage takes the next
        // remainder.
        swapValues(r0, r1);
        swapValues(r1, remainder);

        // (t0, t1) ← (t1, t0 − q·t1). For non-negative operands the t's
        // alternate in sign, so the subtraction adds magnitudes in place.
        if (!product.isValid()) break;
        const int32_t productNegative = quotient.negative ^ t1.negative;
        if (quotient.mag->length == 1 && t0.negative != productNegative && t0.makeUnique()) {
            // The usual step: a one-word quotient and opposite signs, so
            // t0 − q·t1 is |t0| + q·|t1| with t0's sign, added in place
            // without forming the product apart. A quotient of 1, the most
            // frequent one in Euclid's algorithm (about 40 % of the steps),
            // adds t1 itself.
            const uint32_t q = quotient.mag->words[0];
            if (q == 1) t0.mag->add(*t1.mag);
            else t0.mag->addProduct(*t1.mag, q);
        } else {
            if (quotient.mag->length == 1 && quotient.mag->words[0] == 1) product.mag->assign(*t1.mag);
            else product.mag->multiply(*quotient.mag, *t1.mag);
            product.negative = productNegative;
            t0.subtract(product);
        }
        swapValues(t0, t1);
    }

    // An invalid value reads as zero and would have ended the loop early
    // with a wrong coefficient.
    if (!r0.isValid() || !r1.isValid() || !t0.isValid() || !t1.isValid() || !quotient.isValid() ||
        !remainder.isValid() || !product.isValid()) {
        return BigInt::invalid();
    }
    if (isNegative(t0)) t0.add(modulus);
    return t0;
}

}  // namespace zq
