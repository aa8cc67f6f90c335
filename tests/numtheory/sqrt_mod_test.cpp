// Square roots modulo a prime, the Lucas ladder and the halving: the
// documented values, every residue class of p on random primes and residues
// (the root squared against GMP), the Lucas values against the plain
// recurrence, inputs outside the contract, and heap exhaustion.
#include "numtheory/sqrt_mod.h"

#include "numtheory/gmp_bridge.h"

namespace {

using zq::BigInt;

using SqrtModTest = NumTheoryTest;

BigInt negative(uint32_t v) { return BigInt(0) - BigInt(v); }

TEST_F(SqrtModTest, HalveMod) {
    EXPECT_EQ(str(zq::halveMod(BigInt(3), BigInt(7))), "5");
    EXPECT_EQ(str(zq::halveMod(BigInt(4), BigInt(7))), "2");
    EXPECT_EQ(str(zq::halveMod(negative(3), BigInt(7))), "2");
    EXPECT_EQ(str(zq::halveMod(negative(4), BigInt(7))), "-2");
    // For every odd m up to 41 and x in (−m, m): 2·h ≡ x (mod m), h in (−m, m).
    for (long m = 3; m <= 41; m += 2) {
        for (long x = 1 - m; x < m; ++x) {
            const Mpz h = toMpz(zq::halveMod(toBig(Mpz(x)), BigInt(static_cast<uint32_t>(m))));
            const long half = mpz_get_si(h.get());
            EXPECT_EQ((2 * half - x) % m, 0) << x << " / 2 mod " << m;
            EXPECT_LT(std::labs(half), m) << x << " / 2 mod " << m;
        }
    }
}

TEST_F(SqrtModTest, LucasValues) {
    EXPECT_EQ(str(zq::lucasV(BigInt(1), BigInt(2), BigInt(9), BigInt(17))), "12");
    EXPECT_EQ(str(zq::lucasV(BigInt(9), BigInt(3), BigInt(1), BigInt(7))), "9");  // k = 1: P, unreduced
    EXPECT_EQ(str(zq::lucasV(BigInt(3), BigInt(7), BigInt(0), BigInt(7))), "2");  // V(0)
    for (const char* n : {"125", "1001", "2305843009213693951"}) {
        EXPECT_EQ(str(zq::lucasV(BigInt(3), BigInt(1), BigInt(5), toBig(n))), "123") << n;
    }
}

TEST_F(SqrtModTest, LucasValuesFollowTheRecurrence) {
    // V(0) = 2, V(1) = P, V(j+1) = P·V(j) − Q·V(j−1), exactly, by GMP.
    const Mpz n("1000000007");
    for (long P = -3; P <= 5; ++P) {
        for (long Q = -3; Q <= 5; ++Q) {
            Mpz previous(2L), current(P);
            for (uint32_t k = 1; k <= 70; ++k) {
                Mpz got = toMpz(zq::lucasV(toBig(Mpz(P)), toBig(Mpz(Q)), BigInt(k), toBig(n)));
                Mpz difference;
                mpz_sub(difference.get(), got.get(), current.get());
                ASSERT_TRUE(mpz_divisible_p(difference.get(), n.get())) << "P " << P << " Q " << Q << " k " << k << ": " << got;
                Mpz next;
                mpz_mul_si(next.get(), current.get(), P);
                mpz_submul(next.get(), previous.get(), Mpz(Q).get());
                previous = current;
                current = next;
            }
        }
    }
}

TEST_F(SqrtModTest, DocumentedRoots) {
    struct Case {
        uint32_t a, p, root;
    };
    const Case cases[] = {
        {2, 7, 4},                          // p ≡ 3 (mod 4)
        {4, 13, 11}, {3, 13, 9}, {10, 13, 7},  // Atkin, p ≡ 5 (mod 8)
        {4, 5, 3}, {1, 5, 1},               // Atkin with the exponent (p − 5)/8 = 0
        {2, 17, 6}, {13, 17, 9}, {5, 41, 28},  // Lucas, p ≡ 1 (mod 8)
        {3, 7, 2}, {3, 17, 0},              // non-residues: values, not roots
    };
    for (const Case& c : cases) {
        EXPECT_EQ(str(zq::sqrtModPrime(BigInt(c.a), BigInt(c.p))), std::to_string(c.root)) << c.a << " mod " << c.p;
    }
}

TEST_F(SqrtModTest, RootsForEveryResidueClassOfRandomPrimes) {
    RandomSource random(0x73717274);
    struct Class {
        unsigned long residue, modulus;
    };
    const Class classes[] = {{3, 8}, {7, 8}, {5, 8}, {1, 16}, {9, 16}, {1, 64}};
    for (const Class& c : classes) {
        for (unsigned long bits : {16ul, 64ul, 160ul, 256ul}) {
            const Mpz p = random.primeOfClass(bits, c.residue, c.modulus);
            const BigInt prime = toBig(p);
            for (int round = 0; round < 4; ++round) {
                Mpz a;
                do {
                    const Mpz x = random.below(p);
                    mpz_powm_ui(a.get(), x.get(), 2, p.get());
                } while (mpz_sgn(a.get()) == 0);

                const BigInt root = zq::sqrtModPrime(toBig(a), prime);
                const Mpz r = toMpz(root);
                Mpz square;
                mpz_powm_ui(square.get(), r.get(), 2, p.get());
                EXPECT_EQ(square, a) << "seed " << random.seed() << " a " << a << " p " << p;
                EXPECT_LT(mpz_cmp(r.get(), p.get()), 0);
                EXPECT_GE(mpz_sgn(r.get()), 0);
                EXPECT_EQ(zq::sqrtModPrime(toBig(a), prime), root) << "the same inputs give the same root";

                // a + 5p and a − 3p are the same residue.
                Mpz above, below;
                mpz_addmul_ui(above.get(), p.get(), 5);
                mpz_add(above.get(), above.get(), a.get());
                mpz_submul_ui(below.get(), p.get(), 3);
                mpz_add(below.get(), below.get(), a.get());
                EXPECT_EQ(zq::sqrtModPrime(toBig(above), prime), root);
                EXPECT_EQ(zq::sqrtModPrime(toBig(below), prime), root);
            }
            // A non-residue gives a value in [0, p) that is no root.
            Mpz n;
            do {
                n = random.below(p);
            } while (mpz_legendre(n.get(), p.get()) != -1);
            const Mpz r = toMpz(zq::sqrtModPrime(toBig(n), prime));
            Mpz square;
            mpz_powm_ui(square.get(), r.get(), 2, p.get());
            EXPECT_FALSE(square == n);
            EXPECT_LT(mpz_cmp(r.get(), p.get()), 0);
        }
    }
}

TEST_F(SqrtModTest, MultiplesOfThePrimeGiveZeroAtOnce) {
    RandomSource random(0x7a65726f);
    // A 512-bit p ≡ 1 (mod 8): the Lucas search would have to run to P = p.
    const Mpz large = random.primeOfClass(512, 1, 8);
    for (const Mpz& p : {Mpz(7L), Mpz(13L), Mpz(17L), large}) {
        Mpz thrice;
        mpz_mul_ui(thrice.get(), p.get(), 3);
        for (const BigInt& a : {BigInt(0), toBig(p), toBig(thrice)}) {
            EXPECT_EQ(str(zq::sqrtModPrime(a, toBig(p))), "0") << a.mag->length << " words, p " << p;
        }
    }
}

TEST_F(SqrtModTest, ModuliOutsideTheContract) {
    // p = 2: the root is a mod 2.
    EXPECT_EQ(str(zq::sqrtModPrime(BigInt(0), BigInt(2))), "0");
    EXPECT_EQ(str(zq::sqrtModPrime(BigInt(7), BigInt(2))), "1");
    EXPECT_EQ(str(zq::sqrtModPrime(negative(3), BigInt(2))), "1");
    for (const BigInt& p : {BigInt(0), BigInt(1), BigInt(4), BigInt(1000), negative(7), BigInt::invalid()}) {
        EXPECT_FALSE(zq::sqrtModPrime(BigInt(3), p).isValid()) << str(p);
    }
    EXPECT_FALSE(zq::sqrtModPrime(BigInt::invalid(), BigInt(13)).isValid());
}

TEST_F(SqrtModTest, CompositesThatPassEulersCriterionEndTheSearch) {
    // n = (6k + 1)(12k + 1)(18k + 1) with k odd and the three factors prime
    // is ≡ 1 (mod 8) and satisfies Euler's criterion for every value coprime
    // to it. For an a that is a non-residue modulo each factor, no
    // discriminant P² − 4a shares a factor with n, so Euler's criterion calls
    // every one a residue, and the search would run until P reached n: for
    // the 131-bit n, for ever. The Jacobi symbol tells n from a prime.
    struct Case {
        const char *n, *a;
    };
    const Case cases[] = {
        {"1729", "990"},  // k = 1: 7·13·19
        {"1722679495205047903012185435061991041849", "14"},  // k = 2^40 + 2375
    };
    for (const Case& c : cases) {
        const Mpz n(c.n);
        Mpz half;
        mpz_sub_ui(half.get(), n.get(), 1);
        mpz_fdiv_q_2exp(half.get(), half.get(), 1);
        for (unsigned long base : {2ul, 3ul, 5ul, 11ul}) {  // the premise, by GMP
            Mpz power;
            mpz_powm(power.get(), Mpz(static_cast<long>(base)).get(), half.get(), n.get());
            ASSERT_EQ(power, Mpz(1L)) << n;
        }
        EXPECT_EQ(mpz_fdiv_ui(n.get(), 8), 1u);
        EXPECT_FALSE(zq::sqrtModPrime(toBig(c.a), toBig(n)).isValid()) << c.a << " mod " << c.n;
        // Every other a ends too, with a value below n or the invalid value.
        for (uint32_t a = 1; a <= 40; ++a) {
            const BigInt r = zq::sqrtModPrime(BigInt(a), toBig(n));
            if (r.isValid()) {
                EXPECT_LT(mpz_cmp(toMpz(r).get(), n.get()), 0) << a;
            }
        }
    }
}

TEST_F(SqrtModTest, HeapExhaustionGivesTheRootOrTheInvalidValue) {
    forEachAllocationFailure([] {
        const BigInt root = zq::sqrtModPrime(BigInt(2), BigInt(17));
        if (root.isValid()) {
            EXPECT_EQ(str(root), "6");
        }
    });
    forEachAllocationFailure([] {
        const BigInt root = zq::sqrtModPrime(BigInt(10), BigInt(13));
        if (root.isValid()) {
            EXPECT_EQ(str(root), "7");
        }
    });
}

}  // namespace
