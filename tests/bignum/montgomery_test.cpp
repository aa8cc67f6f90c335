// Modular inverse, Montgomery contexts and exponentiation, and the public-key
// operation: the documented small cases, GMP on random operands (fixed
// seeds), the cases outside the contract, the ladder's allocations and
// exhausted heaps.
#include <gtest/gtest.h>

#include "bignum/key_object.h"
#include "bignum/mod_inverse.h"
#include "bignum/montgomery.h"
#include "bignum_support.h"
#include "frame/heap_probe.h"

namespace {

using bignum_test::fromMpz;
using bignum_test::hexOf;
using bignum_test::Mpz;
using bignum_test::Operands;
using bignum_test::sameValue;
using zq::BigInt;
using zq::MontgomeryContext;
namespace probe = zq::heap_probe;

class MontgomeryTest : public bignum_test::HeapChecked {};

uint32_t smallOf(const BigInt& x) {
    EXPECT_TRUE(x.isValid());
    EXPECT_LE(x.mag->length, 1u);
    EXPECT_EQ(x.negative, 0);
    return x.mag->word(0);
}

// ---- Modular inverse ----------------------------------------------------------

TEST_F(MontgomeryTest, InverseSmallCases) {
    EXPECT_EQ(smallOf(zq::modInverse(BigInt(3u), BigInt(7u))), 5u);
    EXPECT_EQ(smallOf(zq::modInverse(BigInt(10u), BigInt(7u))), 5u);  // above the modulus
    EXPECT_EQ(smallOf(zq::modInverse(BigInt(0u), BigInt(7u))), 0u);
    EXPECT_EQ(smallOf(zq::modInverse(BigInt(6u), BigInt(9u))), 8u);  // 8·6 ≡ 3 = gcd (mod 9)
    // Modulo 1 the recurrence stops at t0 = 1, which is not reduced: the
    // Montgomery context for the modulus 1 relies on exactly this value.
    EXPECT_EQ(smallOf(zq::modInverse(BigInt(1u), BigInt(1u))), 1u);
    EXPECT_EQ(zq::modInverse(BigInt(3u), BigInt::invalid()).isValid(), 0u);
}

// extendedEuclid is the same recurrence in GMP, for the exact coefficient
// that non-coprime arguments give.
void extendedEuclid(mpz_ptr out, mpz_srcptr value, mpz_srcptr modulus) {
    Mpz r0, r1, t0, t1, q, next;
    mpz_set(r0, modulus);
    mpz_set(r1, value);
    mpz_set_ui(t1, 1);
    while (mpz_sgn(r1.v) != 0) {
        mpz_tdiv_q(q, r0, r1);
        mpz_mul(next, q, r1);
        mpz_sub(next, r0, next);
        mpz_swap(r0, r1);
        mpz_swap(r1, next);
        mpz_mul(next, q, t1);
        mpz_sub(next, t0, next);
        mpz_swap(t0, t1);
        mpz_swap(t1, next);
    }
    if (mpz_sgn(t0.v) < 0) mpz_add(t0, t0, modulus);
    mpz_set(out, t0);
}

TEST_F(MontgomeryTest, InverseMatchesGmp) {
    const uint32_t seed = 4242;
    Operands operands(seed);
    Mpz value, modulus, expected, g, check;
    for (int round = 0; round < 600; ++round) {
        operands.value(modulus, 1 + operands.below(70), false);
        if (mpz_sgn(modulus.v) == 0) mpz_set_ui(modulus, 1);
        operands.value(value, 70, false);
        if (round % 4 == 0) mpz_mod(value, value, modulus);
        SCOPED_TRACE(testing::Message() << "seed " << seed << " round " << round << " value=" << hexOf(value)
                                        << " modulus=" << hexOf(modulus));
        const BigInt inverse = zq::modInverse(fromMpz(value), fromMpz(modulus));
        extendedEuclid(expected, value, modulus);
        ASSERT_TRUE(sameValue(inverse, expected));
        if (mpz_cmp_ui(modulus.v, 1) > 0) {
            ASSERT_LT(mpz_cmp(expected, modulus), 0);
        }
        mpz_gcd(g, value, modulus);
        if (mpz_cmp_ui(g.v, 1) == 0 && mpz_cmp_ui(modulus.v, 1) > 0) {
            ASSERT_NE(mpz_invert(check, value, modulus), 0);
            ASSERT_TRUE(sameValue(inverse, check));
        } else {
            // t·value ≡ gcd (mod modulus)
            mpz_mul(check, expected, value);
            mpz_sub(check, check, g);
            ASSERT_NE(mpz_divisible_p(check, modulus), 0);
        }
    }
}

// Pairs of unusual quotients: (2y + 1, 4y + 1), whose quotients 1 and 1 are
// followed by 2y, too large for a run of steps decided by the leading bits or
// for a one-word step, and consecutive Fibonacci numbers, whose quotients are
// all 1, so that such runs go on until their matrix entries fill a word. The
// operands are left as they were.
TEST_F(MontgomeryTest, InverseOfPairsWithLongRunsMatchesGmp) {
    Mpz value, modulus, expected;
    const auto check = [&](const char* what) {
        SCOPED_TRACE(testing::Message()
                     << what << " value=" << hexOf(value) << " modulus=" << hexOf(modulus));
        ASSERT_NE(mpz_invert(expected, value, modulus), 0);
        const BigInt v = fromMpz(value), m = fromMpz(modulus);
        EXPECT_TRUE(sameValue(zq::modInverse(v, m), expected));
        EXPECT_TRUE(sameValue(v, value));
        EXPECT_TRUE(sameValue(m, modulus));
    };
    Mpz y;  // y = 2^61 + 12345
    mpz_setbit(y, 61);
    mpz_add_ui(y, y, 12345);
    mpz_mul_2exp(value, y, 1);
    mpz_add_ui(value, value, 1);
    mpz_mul_2exp(modulus, y, 2);
    mpz_add_ui(modulus, modulus, 1);
    check("2y + 1 modulo 4y + 1");
    for (const unsigned long n : {100ul, 1000ul, 6000ul}) {
        mpz_fib2_ui(modulus, value, n);
        check("F(n - 1) modulo F(n)");
    }
}

// Long pairs take runs of steps decided by their leading bits; a heap that
// fails anywhere on the way, in a run or in a single step, must not leave a
// wrong coefficient that looks valid.
TEST_F(MontgomeryTest, ExhaustedHeapGivesTheRightInverseOrTheInvalidValue) {
    Operands operands(77);
    Mpz value, modulus, expected;
    operands.value(modulus, 128, false);
    mpz_setbit(modulus, 1023);
    operands.value(value, 128, false);
    mpz_mod(value, value, modulus);
    extendedEuclid(expected, value, modulus);
    const BigInt v = fromMpz(value), m = fromMpz(modulus);
    bignum_test::expectRightOrInvalidWhenHeapFails([&] { return zq::modInverse(v, m); }, expected);
}

// ---- Contexts -----------------------------------------------------------------

TEST_F(MontgomeryTest, ContextFieldsForSmallModuli) {
    {
        MontgomeryContext c(BigInt(11u));
        EXPECT_EQ(c.bits, 4u);
        EXPECT_EQ(smallOf(c.radix), 16u);
        EXPECT_EQ(smallOf(c.negInverse), 13u);
        EXPECT_EQ(smallOf(c.radixInverse), 9u);
        EXPECT_EQ(c.isValid(), 1u);
    }
    {
        const BigInt seven(7u);
        MontgomeryContext c(seven);
        EXPECT_EQ(c.modulus.mag, seven.mag);  // shared, not copied
        EXPECT_EQ(c.bits, 3u);
        EXPECT_EQ(smallOf(c.radix), 8u);
        EXPECT_EQ(smallOf(c.negInverse), 1u);
        EXPECT_EQ(smallOf(c.radixInverse), 1u);
        EXPECT_EQ(c.scratchProduct.mag->length, 0u);
    }
}

TEST_F(MontgomeryTest, MultiplyIsTheProductTimesTheInverseRadix) {
    const uint32_t seed = 99;
    Operands operands(seed);
    Mpz m, a, b, radix, expected;
    for (int round = 0; round < 200; ++round) {
        operands.value(m, 1 + operands.below(40), false);
        mpz_setbit(m, 0);
        operands.value(a, 40, false);
        operands.value(b, 40, false);
        mpz_mod(a, a, m);
        mpz_mod(b, b, m);
        SCOPED_TRACE(testing::Message() << "seed " << seed << " round " << round << " m=" << hexOf(m));
        const BigInt modulus = fromMpz(m);
        MontgomeryContext context(modulus);
        // The least power of two not below m: 2^bits for m > 1, and 1 for m = 1.
        mpz_set_ui(radix, 0);
        mpz_setbit(radix, mpz_cmp_ui(m.v, 1) == 0 ? 0 : mpz_sizeinbase(m, 2));
        ASSERT_TRUE(sameValue(context.radix, radix));

        BigInt x = fromMpz(a);
        const BigInt y = fromMpz(b);
        context.multiply(x, y);
        mpz_invert(expected, radix, m);
        mpz_mul(expected, expected, a);
        mpz_mul(expected, expected, b);
        mpz_mod(expected, expected, m);
        ASSERT_TRUE(sameValue(x, expected));
        BigInt s = fromMpz(a);
        context.multiply(s, s);  // squaring through the same value
        mpz_invert(expected, radix, m);
        mpz_mul(expected, expected, a);
        mpz_mul(expected, expected, a);
        mpz_mod(expected, expected, m);
        ASSERT_TRUE(sameValue(s, expected));
    }
}

// ---- Exponentiation -----------------------------------------------------------

TEST_F(MontgomeryTest, PowerSmallCases) {
    EXPECT_EQ(smallOf(zq::modPow(BigInt(3u), BigInt(5u), BigInt(7u))), 5u);
    EXPECT_EQ(smallOf(zq::modPow(BigInt(10u), BigInt(1u), BigInt(7u))), 3u);
    EXPECT_EQ(smallOf(zq::modPow(BigInt(0u), BigInt(12345u), BigInt(1000001u))), 0u);
    EXPECT_EQ(smallOf(zq::modPow(BigInt(123u), BigInt(45u), BigInt(1u))), 0u);
    EXPECT_EQ(smallOf(zq::modPow(BigInt(123u), BigInt(0u), BigInt(1u))), 0u);
    EXPECT_EQ(smallOf(zq::montgomeryPow(BigInt(4u), BigInt(5u), BigInt(11u))), 5u);
    // Exponent 1: one multiplication by the image of 1, so the image comes back.
    EXPECT_EQ(smallOf(zq::montgomeryPow(BigInt(9u), BigInt(1u), BigInt(11u))), 9u);
}

TEST_F(MontgomeryTest, CasesOutsideTheContractReturnDefinedResults) {
    // A zero exponent gives 1 mod m, without an endless ladder.
    EXPECT_EQ(smallOf(zq::modPow(BigInt(5u), BigInt(0u), BigInt(7u))), 1u);
    EXPECT_EQ(smallOf(zq::montgomeryPow(BigInt(5u), BigInt(0u), BigInt(11u))), 5u);  // the image of 1
    // Even, zero and negative moduli: the invalid value.
    EXPECT_EQ(zq::modPow(BigInt(5u), BigInt(3u), BigInt(0u)).isValid(), 0u);
    EXPECT_EQ(zq::modPow(BigInt(5u), BigInt(3u), BigInt(10u)).isValid(), 0u);
    EXPECT_EQ(zq::montgomeryPow(BigInt(5u), BigInt(3u), BigInt(0u)).isValid(), 0u);
    BigInt negative(7u);
    negative.negative = 1;
    EXPECT_EQ(zq::modPow(BigInt(5u), BigInt(3u), negative).isValid(), 0u);
    {
        MontgomeryContext even(BigInt(1u << 20));
        EXPECT_EQ(even.isValid(), 0u);
        BigInt x(3u);
        even.multiply(x, x);
        EXPECT_EQ(x.isValid(), 0u);
    }
    // A negative base is brought into [0, m): (−3)^3 mod 7 = 1.
    BigInt base(3u);
    base.negative = 1;
    EXPECT_EQ(smallOf(zq::modPow(base, BigInt(3u), BigInt(7u))), 1u);
    EXPECT_EQ(zq::modPow(BigInt::invalid(), BigInt(3u), BigInt(7u)).isValid(), 0u);
    EXPECT_EQ(zq::modPow(BigInt(2u), BigInt::invalid(), BigInt(7u)).isValid(), 0u);
}

TEST_F(MontgomeryTest, PowerMatchesGmpForOddModuliOfOneTo4096Bits) {
    const uint32_t seed = 31337;
    Operands operands(seed);
    Mpz m, base, exponent, expected, radix, image;
    for (uint32_t round = 0; round < 260; ++round) {
        // Every size from 1 to 128 bits, then sizes up to 4096.
        const uint32_t bits = round < 128 ? round + 1 : 129 + operands.below(4096 - 128);
        mpz_set_ui(m, 0);
        Mpz low;
        operands.value(low, (bits + 31) / 32, false);
        mpz_fdiv_r_2exp(m, low, bits);
        mpz_setbit(m, bits - 1);
        mpz_setbit(m, 0);
        operands.value(base, (bits + 31) / 32 + operands.below(3), false);
        // Long exponents only for small moduli, to keep the run short.
        operands.value(exponent, bits <= 512 ? 1 + bits / 32 : 2, false);
        if (round % 16 == 0) mpz_set_ui(exponent, 65537);
        SCOPED_TRACE(testing::Message() << "seed " << seed << " round " << round << " bits " << bits
                                        << " m=" << hexOf(m) << " e=" << hexOf(exponent));
        mpz_powm(expected, base, exponent, m);
        const BigInt result = zq::modPow(fromMpz(base), fromMpz(exponent), fromMpz(m));
        ASSERT_TRUE(sameValue(result, expected));

        // The same power in the domain: montgomeryPow(b·R mod m) = b^e·R mod m.
        mpz_set_ui(radix, 0);
        mpz_setbit(radix, bits);
        mpz_mul(image, base, radix);
        mpz_mod(image, image, m);
        mpz_mul(expected, expected, radix);
        mpz_mod(expected, expected, m);
        ASSERT_TRUE(sameValue(zq::montgomeryPow(fromMpz(image), fromMpz(exponent), fromMpz(m)), expected));
    }
}

TEST_F(MontgomeryTest, FullSizeExponentsAt2048Bits) {
    Operands operands(2048);
    Mpz m, base, exponent, expected;
    operands.value(m, 64, false);
    mpz_fdiv_r_2exp(m, m, 2048);
    mpz_setbit(m, 2047);
    mpz_setbit(m, 0);
    operands.value(base, 64, false);
    mpz_set(exponent, m);
    mpz_sub_ui(exponent, exponent, 2);  // all bits, dense
    mpz_powm(expected, base, exponent, m);
    EXPECT_TRUE(sameValue(zq::modPow(fromMpz(base), fromMpz(exponent), fromMpz(m)), expected));
}

TEST_F(MontgomeryTest, TheLadderAllocatesNothingOnceItsValuesHaveGrown) {
    Operands operands(7);
    Mpz m, base;
    operands.value(m, 64, false);
    mpz_fdiv_r_2exp(m, m, 2048);
    mpz_setbit(m, 2047);
    mpz_setbit(m, 0);
    operands.value(base, 64, false);
    const BigInt modulus = fromMpz(m);
    const BigInt b = fromMpz(base);
    const BigInt shortExponent(3u);
    Mpz longValue;
    mpz_set_ui(longValue, 0);
    mpz_setbit(longValue, 400);
    mpz_sub_ui(longValue, longValue, 1);
    const BigInt longExponent = fromMpz(longValue);

    uint32_t before = probe::allocationCount();
    { const BigInt r = zq::modPow(b, shortExponent, modulus); }
    const uint32_t shortCost = probe::allocationCount() - before;
    before = probe::allocationCount();
    { const BigInt r = zq::modPow(b, longExponent, modulus); }
    const uint32_t longCost = probe::allocationCount() - before;
    EXPECT_EQ(longCost, shortCost);  // 798 more multiplications, no more allocations
}

// ---- Public-key operation and exhausted heaps -----------------------------------

TEST_F(MontgomeryTest, PublicOperationIsThePowerByTheKeysExponent) {
    Operands operands(65537);
    Mpz n, x, expected;
    operands.value(n, 32, false);
    mpz_setbit(n, 1023);
    mpz_setbit(n, 0);
    operands.value(x, 32, false);
    mpz_mod(x, x, n);
    mpz_powm_ui(expected, x, 65537, n);
    {
        const zq::KeyObject key{fromMpz(n), BigInt(65537u)};
        EXPECT_TRUE(sameValue(key.publicOperation(fromMpz(x)), expected));
    }
    {
        const zq::KeyObject zeroModulus{BigInt(0u), BigInt(65537u)};
        EXPECT_EQ(zeroModulus.publicOperation(fromMpz(x)).isValid(), 0u);
        const zq::KeyObject zeroExponent{fromMpz(n), BigInt(0u)};
        EXPECT_EQ(smallOf(zeroExponent.publicOperation(fromMpz(x))), 1u);
    }
}

TEST_F(MontgomeryTest, ExhaustedHeapGivesTheRightPowerOrTheInvalidValue) {
    Mpz m("c6a8f1d3b2e5a7c9f0e1d2c3b4a59687f7e6d5c4b3a29181"), base("123456789abcdef"), expected;
    mpz_powm_ui(expected, base, 65537, m);
    const BigInt modulus = fromMpz(m);
    const BigInt b = fromMpz(base);
    const BigInt e(65537u);
    bignum_test::expectRightOrInvalidWhenHeapFails([&] { return zq::modPow(b, e, modulus); }, expected);
    EXPECT_TRUE(sameValue(modulus, m));
    EXPECT_EQ(modulus.mag->shareCount, 0u);
}

}  // namespace
