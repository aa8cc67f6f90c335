// The CRT private-key operation between Montgomery images: the n = 55 case,
// GMP's x^d mod n carried into and out of the domain on random keys, and
// moduli outside the contract.
#include "numtheory/montgomery_crt.h"

#include "bignum/montgomery.h"
#include "numtheory/gmp_bridge.h"

namespace {

using zq::BigInt;

using MontgomeryCrtTest = NumTheoryTest;

// image: x·R mod n with R = 2^k, k the bit length of n.
Mpz image(const Mpz& x, const Mpz& n) {
    Mpz result;
    mpz_mul_2exp(result.get(), x.get(), mpz_sizeinbase(n.get(), 2));
    mpz_mod(result.get(), result.get(), n.get());
    return result;
}

TEST_F(MontgomeryCrtTest, TheModulus55) {
    {
        const zq::MontgomeryContext context(BigInt(55));
        EXPECT_EQ(str(context.radix), "64");
        EXPECT_EQ(str(context.radixInverse), "49");
    }
    // 18 is the image of 2, 2^27 mod 55 = 18, and 52 is the image of 18.
    EXPECT_EQ(str(zq::montgomeryCrtPow(BigInt(18), BigInt(27), BigInt(55), BigInt(5), BigInt(11))), "52");
    EXPECT_EQ(str(zq::montgomeryCrtPow(BigInt(18), BigInt(27), BigInt(55), BigInt(11), BigInt(5))), "52");
    EXPECT_EQ(str(zq::montgomeryCrtPow(BigInt(0), BigInt(27), BigInt(55), BigInt(5), BigInt(11))), "0");
    // Every image below n against GMP.
    for (long x = 0; x < 55; ++x) {
        Mpz power;
        mpz_powm_ui(power.get(), Mpz(x).get(), 27, Mpz(55L).get());
        const Mpz expected = image(power, Mpz(55L));
        const BigInt xImage = toBig(image(Mpz(x), Mpz(55L)));
        EXPECT_EQ(toMpz(zq::montgomeryCrtPow(xImage, BigInt(27), BigInt(55), BigInt(5), BigInt(11))), expected) << x;
    }
}

TEST_F(MontgomeryCrtTest, MatchesGmpThroughImagesOnRandomKeys) {
    RandomSource random(0x6d637274);
    for (unsigned long bits : {512ul, 1024ul, 2048ul}) {
        const RsaKey key = makeRsaKey(random, bits);
        const Mpz x = random.below(key.n);
        Mpz power;
        mpz_powm(power.get(), x.get(), key.d.get(), key.n.get());
        const Mpz expected = image(power, key.n);

        const BigInt result = zq::montgomeryCrtPow(toBig(image(x, key.n)), toBig(key.d), toBig(key.n), toBig(key.p), toBig(key.q));
        EXPECT_EQ(toMpz(result), expected) << "seed " << random.seed() << ", " << bits << " bits";
    }
}

TEST_F(MontgomeryCrtTest, ModuliOutsideTheContractGiveTheInvalidValue) {
    EXPECT_FALSE(zq::montgomeryCrtPow(BigInt(1), BigInt(27), BigInt(54), BigInt(5), BigInt(11)).isValid());  // even n
    EXPECT_FALSE(zq::montgomeryCrtPow(BigInt(1), BigInt(27), BigInt(0), BigInt(5), BigInt(11)).isValid());
    EXPECT_FALSE(zq::montgomeryCrtPow(BigInt(1), BigInt(27), BigInt(55), BigInt(5), BigInt(5)).isValid());  // p = q
    EXPECT_FALSE(zq::montgomeryCrtPow(BigInt(1), BigInt(27), BigInt(55), BigInt(1), BigInt(11)).isValid());
}

TEST_F(MontgomeryCrtTest, HeapExhaustionGivesTheResultOrTheInvalidValue) {
    forEachAllocationFailure([] {
        const BigInt result = zq::montgomeryCrtPow(BigInt(18), BigInt(27), BigInt(55), BigInt(5), BigInt(11));
        if (result.isValid()) {
            EXPECT_EQ(str(result), "52");
        }
    });
}

}  // namespace
