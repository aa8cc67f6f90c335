// File: montgomery.cpp
//
// Montgomery exponentiation with a radix chosen to the bit and reduction by
// truncated products. See montgomery.h.
#include "bignum/montgomery.h"

#include "bignum/integer_checks.h"
#include "bignum/mod_inverse.h"

namespace zq {
namespace {

}  // namespace

MontgomeryContext::MontgomeryContext(const BigInt& m) noexcept
    : modulus(m), negInverse(0u), scratchProduct(0u), scratchFactor(0u), bits(0), radix(1u), radixInverse(0u) {
    // The Montgomery domain exists for an odd positive modulus only (an even
    // one has no inverse modulo R).
    if (!isOddPositive(modulus)) {
        negInverse.invalidate();
        return;
    }
    // R = 2^k, the least power of two not below m, by doubling 1 (k ≤ 2^31:
    // past MaxWords words the radix turns invalid, no longer compares below
    // m, and the loop stops).
    while (radix < modulus) {
        radix.add(radix);
        ++bits;
    }
    // R − m ≡ R (mod m) and R − m < m, so this is R^−1 mod m.
    radixInverse = modInverse(radix - modulus, modulus);
    negInverse = radix - modInverse(modulus, radix);
}

uint32_t MontgomeryContext::isValid() const noexcept {
    return modulus.isValid() && negInverse.isValid() && scratchProduct.isValid() && scratchFactor.isValid() &&
           radix.isValid() && radixInverse.isValid();
}

void MontgomeryContext::multiply(BigInt& a, const BigInt& b) noexcept {
    if (!isValid() || !b.isValid() || !a.makeUnique()) {
        a.invalidate();
        return;
    }
    // a, b < m < R = 2^k. T = a·b < m^2 < 2^2k, so step 1 cuts nothing.
    Magnitude& product = *scratchProduct.mag;
    Magnitude& factor = *scratchFactor.mag;
    const uint32_t k = bits;  // below 2^31, so 2k does not wrap
    product.multiplyTruncated(*a.mag, *b.mag, 2 * k);
    // U = T·(−m^−1) mod R, formed only to k bits: the reduction modulo R.
    factor.multiplyTruncated(product, *negInverse.mag, k);
    // U·m < R·m < 2^2k: again nothing is cut. `a` is overwritten only now, so
    // b may be a itself. Its storage is first given room for the 2k + 1 bits
    // the sum below can reach, so that it grows here, in the first
    // multiplication, and not in whichever later one first carries that far.
    a.mag->reserve(2 * k / 32 + 1);
    a.mag->multiplyTruncated(factor, *modulus.mag, 2 * k);
    a.negative = 0;
    // T + U·m ≡ T − T·m^−1·m ≡ 0 (mod R): the k bits shifted out are zero,
    // and (T + U·m) / R < (m^2 + R·m) / R < 2m.
    a.add(scratchProduct);
    if (!a.isValid()) return;
    a.mag->shiftRight(k);
    // a < 2m, so one subtraction brings it into [0, m).
    if (a >= modulus) a.subtract(modulus);
}

namespace {

// ladder runs the right-to-left binary ladder: acc ← acc·x^|exponent| in the
// Montgomery domain. Both working values must be held by nothing else; x is
// consumed as the running square.
void ladder(MontgomeryContext& context, BigInt& acc, BigInt& x, const Magnitude& exponent) noexcept {
    const uint32_t n = exponent.bitLength();
    if (n == 0) return;  // a zero exponent: acc stays the image of 1
    for (uint32_t i = 0;; ++i) {
        if (exponent.testBit(i) != 0) context.multiply(acc, x);
        if (i + 1 == n) break;  // no square follows the top bit
        context.multiply(x, x);
    }
}

}  // namespace

BigInt MontgomeryContext::power(const BigInt& base, const BigInt& exponent) noexcept {
    if (!isValid() || !base.isValid() || !exponent.isValid()) return BigInt::invalid();
    BigInt acc = radix - modulus;  // R − m, the image of 1
    BigInt x(base);
    x.makeUnique();  // the ladder writes into x: never into the caller's words
    ladder(*this, acc, x, *exponent.mag);
    return acc;
}

BigInt MontgomeryContext::modPow(const BigInt& base, const BigInt& exponent) noexcept {
    if (!isValid() || !base.isValid() || !exponent.isValid()) return BigInt::invalid();
    // Into the domain by full product and remainder; a base of any size ends
    // in (−m, m), and a negative one is brought into [0, m).
    BigInt x = (base * radix) % modulus;
    if (isNegative(x)) x.add(modulus);
    BigInt acc = radix - modulus;
    ladder(*this, acc, x, *exponent.mag);  // x is a fresh value of this frame
    // Out of the domain: acc·R^−1 mod m.
    return (acc * radixInverse) % modulus;
}

BigInt modPow(const BigInt& base, const BigInt& exponent, const BigInt& modulus) noexcept {
    MontgomeryContext context(modulus);
    return context.modPow(base, exponent);
}

BigInt montgomeryPow(const BigInt& base, const BigInt& exponent, const BigInt& modulus) noexcept {
    MontgomeryContext context(modulus);
    return context.power(base, exponent);
}

}  // namespace zq
