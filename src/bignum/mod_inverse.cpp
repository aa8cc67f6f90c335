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

// topBits is bits t … t + 63 of `m` (zeros above its top).
uint64_t topBits(const Magnitude& m, uint32_t t) noexcept {
    const uint32_t w = t >> 5;
    const uint32_t r = t & 31;
    const uint64_t low = m.word(w) | static_cast<uint64_t>(m.word(w + 1)) << 32;
    if (r == 0) return low;
    return (low >> r) | static_cast<uint64_t>(m.word(w + 2)) << (64 - r);
}

// shortQuotientStep replaces `r0` by r0 mod r1 in place and returns the
// quotient in `q`, for non-negative r0 and r1 > 0 whose bit lengths differ by
// less than 32, so that the quotient fits one word; it returns 0 and changes
// nothing otherwise. Euclid's quotients are nearly all that small. The
// quotient is first taken, one bit per step by shift and subtract, from the
// top 63 bits of r0 over those of r1 at the same place plus one (q < 2^(d + 1)
// for bit lengths differing by d, so bit d is the first), which never
// exceeds the true quotient and falls short of it by a few at most; r0 −
// q·r1 is then formed in one row, and r1 subtracted while it still fits.
// n0 and n1 are the bit lengths of r0 and r1; `bits` receives that of the
// remainder.
uint32_t shortQuotientStep(Magnitude& r0, const Magnitude& r1, uint32_t n0, uint32_t n1, Magnitude& scratch,
                           uint32_t& q, uint32_t& bits) noexcept {
    q = 0;
    bits = n0;
    if (n0 < n1) return 1;  // the quotient is 0 and r0 is its own remainder
    const uint32_t d = n0 - n1;
    if (d >= 32) return 0;
    const uint32_t t = n0 > 63 ? n0 - 63 : 0;
    uint64_t x = topBits(r0, t);
    const uint64_t y = topBits(r1, t) + (t != 0);  // both below 2^63
    for (uint32_t s = d;; --s) {
        if ((x >> s) >= y) {
            x -= y << s;
            q |= 1u << s;
        }
        if (s == 0) break;
    }
    if (q == 1) {
        r0.subtract(r1);
    } else if (q < 0x10000) {
        r0.subtractShortProduct(r1, q);
    } else {
        scratch.clear();
        scratch.addProduct(r1, q);
        if (!scratch.isValid()) return 0;
        r0.subtract(scratch);
    }
    for (;;) {
        bits = r0.bitLength();
        if (bits < n1 || (bits == n1 && r0.compare(r1) < 0)) return 1;
        r0.subtract(r1);
        ++q;
    }
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

    // The bit lengths of r0 and r1, carried from one short step to the next
    // (the remainder's is known from the step that made it); 0 for not known.
    uint32_t bits0 = 0;
    uint32_t bits1 = 0;
    while (!r1.mag->isZero()) {
        // The usual step: non-negative remainders and a one-word quotient,
        // reduced in r0's own storage.
        uint32_t q = 0;
        uint32_t bits = 0;
        if (!product.isValid()) break;
        if (bits1 == 0) {
            bits0 = r0.mag->bitLength();
            bits1 = r1.mag->bitLength();
        }
        if (r0.negative == 0 && r1.negative == 0 && r0.makeUnique() &&
            shortQuotientStep(*r0.mag, *r1.mag, bits0, bits1, *product.mag, q, bits)) {
            swapValues(r0, r1);
            bits0 = bits1;
            bits1 = bits;
            // (t0, t1) ← (t1, t0 − q·t1).
            if (q != 0) {
                if (t0.negative != t1.negative && t0.makeUnique()) {
                    if (q == 1) t0.mag->add(*t1.mag);
                    else t0.mag->addProduct(*t1.mag, q);
                } else {
                    product.mag->clear();
                    product.mag->addProduct(*t1.mag, q);
                    product.negative = t1.negative;
                    t0.subtract(product);
                }
            }
            swapValues(t0, t1);
            continue;
        }
        // q = r0 / r1 (toward zero) and r0 − q·r1, which is r0 % r1, from one
        // division.
        bits1 = 0;
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
