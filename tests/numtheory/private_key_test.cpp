// The CRT private-key operation: the 55 = 5·11 key, GMP's x^d mod n on
// random keys of 512 to 2048 bits with the primes in either order, the public
// operation taking the result back, keys outside the contract, and heap
// exhaustion.
#include "numtheory/private_key.h"

#include "bignum/key_object.h"
#include "numtheory/gmp_bridge.h"

namespace {

using zq::BigInt;
using zq::PrivateKeyObject;

using PrivateKeyTest = NumTheoryTest;

PrivateKeyObject smallKey() { return PrivateKeyObject{BigInt(55), BigInt(3), BigInt(5), BigInt(11)}; }

TEST_F(PrivateKeyTest, TheKey55) {
    const PrivateKeyObject key = smallKey();
    EXPECT_EQ(str(key.privateOperation(BigInt(2))), "18");  // 2^27 mod 55
    EXPECT_EQ(str(key.privateOperation(BigInt(52))), "13");
    EXPECT_EQ(str(key.privateOperation(BigInt(0))), "0");
    // Every x below n, also past n, and with the primes swapped.
    const PrivateKeyObject swapped{BigInt(55), BigInt(3), BigInt(11), BigInt(5)};
    for (uint32_t x = 0; x < 55; ++x) {
        uint32_t expected = 1;
        for (int k = 0; k < 27; ++k) expected = expected * x % 55;
        EXPECT_EQ(str(key.privateOperation(BigInt(x))), std::to_string(expected)) << x;
        EXPECT_EQ(str(key.privateOperation(BigInt(x + 55))), std::to_string(expected)) << x << " + n";
        EXPECT_EQ(str(swapped.privateOperation(BigInt(x))), std::to_string(expected)) << x << ", p > q";
    }
}

TEST_F(PrivateKeyTest, LeavesTheRecordAndTheArgumentAlone) {
    const PrivateKeyObject key = smallKey();
    const BigInt x(52);
    const BigInt result = key.privateOperation(x);
    EXPECT_EQ(x, BigInt(52));
    EXPECT_EQ(x.mag->shareCount, 0u);
    EXPECT_EQ(key.exponent, BigInt(3));
    EXPECT_EQ(key.prime1, BigInt(5));
    EXPECT_EQ(key.prime2, BigInt(11));
    EXPECT_EQ(result, BigInt(13));
}

TEST_F(PrivateKeyTest, MatchesGmpOnRandomKeysAndThePublicOperationUndoesIt) {
    RandomSource random(0x72736131);
    for (unsigned long bits : {512ul, 640ul, 1024ul, 1535ul, 2048ul}) {
        const RsaKey gmp = makeRsaKey(random, bits);
        for (bool swap : {false, true}) {
            const PrivateKeyObject key{toBig(gmp.n), toBig(gmp.e), toBig(swap ? gmp.q : gmp.p), toBig(swap ? gmp.p : gmp.q)};
            const zq::KeyObject publicKey{key.modulus, key.exponent};
            const Mpz x = random.below(gmp.n);
            Mpz expected;
            mpz_powm(expected.get(), x.get(), gmp.d.get(), gmp.n.get());

            const BigInt input = toBig(x);
            const BigInt result = key.privateOperation(input);
            EXPECT_EQ(toMpz(result), expected) << "seed " << random.seed() << ", " << bits << " bits, swapped " << swap;
            EXPECT_EQ(publicKey.publicOperation(result), input) << "seed " << random.seed() << ", " << bits << " bits";
        }
    }
}

TEST_F(PrivateKeyTest, UnbalancedPrimesInEitherOrder) {
    // With p far above q, mP − mQ often exceeds q: the difference must be
    // reduced fully, not lifted by q once.
    RandomSource random(0x756e6261);
    for (int round = 0; round < 60; ++round) {
        const Mpz p = random.prime(60);
        const Mpz q = random.prime(20);
        Mpz n, phi, p1, q1, d;
        mpz_mul(n.get(), p.get(), q.get());
        mpz_sub_ui(p1.get(), p.get(), 1);
        mpz_sub_ui(q1.get(), q.get(), 1);
        mpz_mul(phi.get(), p1.get(), q1.get());
        if (mpz_invert(d.get(), Mpz(65537L).get(), phi.get()) == 0) continue;
        const Mpz x = random.below(n);
        Mpz expected;
        mpz_powm(expected.get(), x.get(), d.get(), n.get());
        const PrivateKeyObject bigFirst{toBig(n), BigInt(65537), toBig(p), toBig(q)};
        const PrivateKeyObject smallFirst{toBig(n), BigInt(65537), toBig(q), toBig(p)};
        EXPECT_EQ(toMpz(bigFirst.privateOperation(toBig(x))), expected) << "seed " << random.seed() << " round " << round;
        EXPECT_EQ(toMpz(smallFirst.privateOperation(toBig(x))), expected) << "seed " << random.seed() << " round " << round;
    }
}

TEST_F(PrivateKeyTest, KeysOutsideTheContractGiveTheInvalidValue) {
    const PrivateKeyObject cases[] = {
        {BigInt(55), BigInt(4), BigInt(5), BigInt(11)},   // gcd(4, 40) = 4: no private exponent
        {BigInt(55), BigInt(5), BigInt(5), BigInt(11)},   // gcd(5, 40) = 5
        {BigInt(55), BigInt(0), BigInt(5), BigInt(11)},   // e = 0
        {BigInt(25), BigInt(3), BigInt(5), BigInt(5)},    // equal primes share a factor
        {BigInt(22), BigInt(3), BigInt(2), BigInt(11)},   // an even prime
        {BigInt(11), BigInt(3), BigInt(1), BigInt(11)},   // p − 1 = 0
        {BigInt(0), BigInt(3), BigInt(0), BigInt(0)},
        {BigInt(55), BigInt::invalid(), BigInt(5), BigInt(11)},
    };
    for (const PrivateKeyObject& key : cases) {
        EXPECT_FALSE(key.privateOperation(BigInt(2)).isValid())
            << "e " << str(key.exponent) << " p " << str(key.prime1) << " q " << str(key.prime2);
    }
}

TEST_F(PrivateKeyTest, CrtPowForEitherOrderOfTheModuli) {
    // 3^200 mod 77 = 53 (GMP below), through 7·11 and 11·7.
    Mpz expected;
    mpz_ui_pow_ui(expected.get(), 3, 200);
    mpz_mod_ui(expected.get(), expected.get(), 77);
    EXPECT_EQ(toMpz(zq::crtPow(BigInt(3), BigInt(200), BigInt(7), BigInt(11))), expected);
    EXPECT_EQ(toMpz(zq::crtPow(BigInt(3), BigInt(200), BigInt(11), BigInt(7))), expected);
    // A negative x is reduced into range: (−3)^3 mod 77 = 50.
    const BigInt minusThree = BigInt(0) - BigInt(3);
    EXPECT_EQ(str(zq::crtPow(minusThree, BigInt(3), BigInt(7), BigInt(11))), "50");
}

TEST_F(PrivateKeyTest, HeapExhaustionGivesTheResultOrTheInvalidValue) {
    const PrivateKeyObject key = smallKey();
    forEachAllocationFailure([&key] {
        const BigInt result = key.privateOperation(BigInt(52));
        if (result.isValid()) {
            EXPECT_EQ(str(result), "13");
        }
    });
}

}  // namespace
