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

// Lehmer's acceleration. Euclid's quotients depend almost only on the
// leading bits of the pair: a run of steps on 62-bit approximations û and v̂
// of r0 and r1 (their bits from the same place down) gives the very
// quotients of the full numbers as long as each one is confirmed from both
// ends of the approximation's error (Knuth, TAOCP 4.5.2, Algorithm L). The
// run's steps compose to one matrix (A B; C D) of single words, applied to
// the full pair and to the coefficients in four row products each, in place
// of a row or two per step: a 2048-bit pair takes some 1,200 steps, and a
// run of about 18 steps costs what two steps did.
struct Cosequence {
    int64_t a = 1, b = 0, c = 0, d = 1;
};

// The largest matrix entry a run may reach: entries are used as one-word
// multipliers.
constexpr int64_t kEntryLimit = int64_t{1} << 31;

// quotientBits is x / y for 0 < y ≤ x, one quotient bit per step.
uint64_t quotientBits(uint64_t x, uint64_t y) noexcept {
    uint64_t q = 0;
    int s = __builtin_clzll(y) - __builtin_clzll(x);
    for (; s >= 0; --s) {
        if ((x >> s) >= y) {
            x -= y << s;
            q |= uint64_t{1} << s;
        }
    }
    return q;
}

// leadingRun fills `m` with the steps that the top 62 bits of r0 ≥ r1 > 0
// decide (r0 has n0 bits) and returns how many there were; 0 when the pair
// is too short for it to pay or the first quotient is not decided.
uint32_t leadingRun(const Magnitude& r0, const Magnitude& r1, uint32_t n0, Cosequence& m) noexcept {
    if (n0 < 128) return 0;
    const uint32_t t = n0 - 62;
    int64_t u = static_cast<int64_t>(topBits(r0, t));
    int64_t v = static_cast<int64_t>(topBits(r1, t));
    m = Cosequence{};
    uint32_t steps = 0;
    for (;;) {
        const int64_t lowDivisor = v + m.c, highDivisor = v + m.d;
        const int64_t lowDividend = u + m.a, highDividend = u + m.b;
        if (lowDivisor <= 0 || highDivisor <= 0 || lowDividend < lowDivisor || highDividend < 0) break;
        const uint64_t q = quotientBits(static_cast<uint64_t>(lowDividend), static_cast<uint64_t>(lowDivisor));
        if (q >= static_cast<uint64_t>(kEntryLimit)) break;
        // The same quotient from the other end: q·(v + D) ≤ u + B < (q + 1)·(v + D).
        const uint64_t product = q * static_cast<uint64_t>(highDivisor);
        if (product > static_cast<uint64_t>(highDividend) ||
            static_cast<uint64_t>(highDividend) - product >= static_cast<uint64_t>(highDivisor)) {
            break;
        }
        const int64_t qs = static_cast<int64_t>(q);
        const int64_t c = m.a - qs * m.c, d = m.b - qs * m.d;
        if (c <= -kEntryLimit || c >= kEntryLimit || d <= -kEntryLimit || d >= kEntryLimit) break;
        m = Cosequence{m.c, m.d, c, d};
        const int64_t w = u - qs * v;
        u = v;
        v = w;
        ++steps;
    }
    return steps;
}

// setTerm makes `out` the product f·x: |f|·|x| with the sign of f·x. `out`
// must hold its magnitude alone and be another value than `x`.
void setTerm(BigInt& out, int64_t f, const BigInt& x) noexcept {
    out.mag->clear();
    out.mag->addProduct(*x.mag, static_cast<uint32_t>(f < 0 ? -f : f));
    out.negative = out.mag->isZero() ? 0 : static_cast<int32_t>((f < 0) ^ (x.negative != 0));
}

// combine sets `out` to f·x + g·y, using `term` for the second product; both
// must hold their magnitudes alone and differ from `x` and `y`. The two terms
// are added or the smaller taken from the larger in place, so that nothing
// is allocated once the four values have grown.
void combine(BigInt& out, int64_t f, const BigInt& x, int64_t g, const BigInt& y, BigInt& term) noexcept {
    setTerm(out, f, x);
    setTerm(term, g, y);
    if (out.negative == term.negative) {
        out.mag->add(*term.mag);
    } else if (out.mag->compare(*term.mag) >= 0) {
        out.mag->subtract(*term.mag);
    } else {
        term.mag->subtract(*out.mag);
        swapValues(out, term);
    }
    if (out.mag->isZero()) out.negative = 0;
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
    // The four values a Lehmer run writes, and the term it adds.
    BigInt next[4] = {BigInt(0u), BigInt(0u), BigInt(0u), BigInt(0u)};
    BigInt term(0u);
    while (!r1.mag->isZero()) {
        if (bits1 == 0) {
            bits0 = r0.mag->bitLength();
            bits1 = r1.mag->bitLength();
        }
        Cosequence m;
        if (r0.negative == 0 && r1.negative == 0 && bits0 >= bits1 && leadingRun(*r0.mag, *r1.mag, bits0, m) != 0) {
            // The old pair and coefficients, swapped out below, may share
            // their magnitudes (r0 starts as the modulus itself).
            ownStorage(term);
            bool whole = term.isValid();
            for (BigInt& v : next) {
                ownStorage(v);
                whole = whole && v.isValid();
            }
            if (!whole) break;
            // (r0, r1) ← (A·r0 + B·r1, C·r0 + D·r1), and the same for (t0, t1).
            combine(next[0], m.a, r0, m.b, r1, term);
            combine(next[1], m.c, r0, m.d, r1, term);
            combine(next[2], m.a, t0, m.b, t1, term);
            combine(next[3], m.c, t0, m.d, t1, term);
            swapValues(r0, next[0]);
            swapValues(r1, next[1]);
            swapValues(t0, next[2]);
            swapValues(t1, next[3]);
            bits1 = 0;
            continue;
        }
        // The usual step: non-negative remainders and a one-word quotient,
        // reduced in r0's own storage.
        uint32_t q = 0;
        uint32_t bits = 0;
        if (!product.isValid()) break;
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
        !remainder.isValid() || !product.isValid() || !term.isValid() || !next[0].isValid() ||
        !next[1].isValid() || !next[2].isValid() || !next[3].isValid()) {
        return BigInt::invalid();
    }
    if (isNegative(t0)) t0.add(modulus);
    return t0;
}

}  // namespace zq
