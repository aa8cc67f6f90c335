// The prime table, the Fermat test, the windowed next-prime search and the
// stripping of small factors: the documented edge cases, GMP as the
// reference on random starts, and heap exhaustion.
#include "numtheory/prime_table.h"

#include <vector>

#include "numtheory/gmp_bridge.h"

namespace {

using zq::BigInt;
using zq::PrimeTable;

using PrimeTableTest = NumTheoryTest;

std::vector<uint32_t> entries(const PrimeTable& table) {
    return table.primes == nullptr ? std::vector<uint32_t>{} : std::vector<uint32_t>(table.primes, table.primes + table.count);
}

TEST_F(PrimeTableTest, HoldsThePrimesBelowTheLimit) {
    EXPECT_EQ(entries(PrimeTable(10)), (std::vector<uint32_t>{2, 3, 5, 7}));
    EXPECT_EQ(entries(PrimeTable(11)), (std::vector<uint32_t>{2, 3, 5, 7}));
    EXPECT_EQ(entries(PrimeTable(12)), (std::vector<uint32_t>{2, 3, 5, 7, 11}));
    EXPECT_EQ(entries(PrimeTable(3)), (std::vector<uint32_t>{2}));

    const PrimeTable two(2);
    EXPECT_EQ(two.count, 0u);
    EXPECT_NE(two.primes, nullptr) << "limit 2 allocates an empty block";
    for (uint32_t limit : {0u, 1u, 0xFFFFFFFFu}) {
        const PrimeTable none(limit);
        EXPECT_EQ(none.count, 0u) << limit;
        EXPECT_EQ(none.primes, nullptr) << limit;
    }
}

TEST_F(PrimeTableTest, AgreesWithGmpUpTo100000) {
    const PrimeTable table(100000);
    std::vector<uint32_t> expected;
    Mpz p(1L);
    for (;;) {
        mpz_nextprime(p.get(), p.get());
        if (mpz_cmp_ui(p.get(), 100000) >= 0) break;
        expected.push_back(static_cast<uint32_t>(mpz_get_ui(p.get())));
    }
    EXPECT_EQ(entries(table), expected);
    EXPECT_EQ(PrimeTable(1000).count, 168u);
}

TEST_F(PrimeTableTest, RefusedBlocksLeaveAnEmptyTable) {
    for (uint32_t failing : {0u, 1u}) {  // the flags, then the entries
        zq::heap_probe::failAllocations(failing, false);
        const PrimeTable table(1000);
        zq::heap_probe::stopFailing();
        EXPECT_EQ(table.count, 0u) << "allocation " << failing;
        EXPECT_EQ(table.primes, nullptr) << "allocation " << failing;
    }
}

TEST_F(PrimeTableTest, FermatVerdicts) {
    for (const char* prime : {"11", "101", "1009", "2147483647", "18446744073709551557"}) {
        EXPECT_EQ(zq::isProbablePrime(toBig(prime)), 1u) << prime;
    }
    // 3, 5 and 7 fail against themselves as a base; 561 is a Carmichael
    // number divisible by 3, a base; 2^32 + 1 = 641 · 6700417.
    for (const char* composite : {"3", "5", "7", "9", "15", "561", "4294967297"}) {
        EXPECT_EQ(zq::isProbablePrime(toBig(composite)), 0u) << composite;
    }
    // 29341 = 13·37·61 is coprime to all four bases, and fools them.
    EXPECT_EQ(zq::isProbablePrime(toBig("29341")), 1u);
    // Outside the test's domain: no power taken, no prime claimed.
    for (const char* outside : {"0", "1", "2", "4", "1000000", "-7"}) {
        EXPECT_EQ(zq::isProbablePrime(toBig(outside)), 0u) << outside;
    }
    EXPECT_EQ(zq::isProbablePrime(BigInt::invalid()), 0u);
}

TEST_F(PrimeTableTest, NextPrimeWindowEdges) {
    const PrimeTable table(1000);
    struct Case {
        const char* start;
        const char* prime;
    };
    const Case cases[] = {
        {"1000", "1009"},   // the first prime past the table
        {"1009", "1009"},   // the start itself is tried first
        {"500", "1009"},    // table primes in the window cross themselves off
        {"29340", "29347"}, // the Carmichael number 29341 is crossed off by 13
        {"100000000000000000000", "100000000000000000039"},
        {"0", "1009"},      // a start below 2 begins at 2
        {"-5", "1009"},
    };
    for (const Case& c : cases) {
        BigInt n = toBig(c.start);
        const BigInt found = table.nextPrime(n);
        EXPECT_EQ(str(found), c.prime) << "from " << c.start;
        EXPECT_EQ(str(n), c.prime) << "n is left at the prime, from " << c.start;
    }
}

TEST_F(PrimeTableTest, NextPrimeWithAnEmptyTableIsFermatAlone) {
    const PrimeTable empty(2);
    BigInt n(1);
    EXPECT_EQ(str(empty.nextPrime(n)), "11");  // 2 is even; 3, 5, 7 fail as bases
    BigInt carmichael = toBig("29340");
    EXPECT_EQ(str(empty.nextPrime(carmichael)), "29341");
}

TEST_F(PrimeTableTest, NextPrimeMatchesGmpBelow10To12) {
    const PrimeTable table(1000);
    RandomSource random(0x6e657874);
    const Mpz span("999999999000");
    for (int round = 0; round < 40; ++round) {
        Mpz start = random.below(span);
        mpz_add_ui(start.get(), start.get(), 1000);
        Mpz expected;
        mpz_sub_ui(expected.get(), start.get(), 1);
        mpz_nextprime(expected.get(), expected.get());  // the first prime ≥ start

        BigInt n = toBig(start);
        EXPECT_EQ(toMpz(table.nextPrime(n)), expected) << "seed " << random.seed() << " start " << start;
    }
}

TEST_F(PrimeTableTest, NextPrimeTakesAFermatLiarWithoutSmallFactors) {
    // 1171·2341·3511 is a Carmichael number whose factors all lie above the
    // table: nothing crosses it off and the four bases pass it. GMP knows it
    // is composite; the search stops on it, as the Fermat test must.
    const Mpz liar("9624742921");
    ASSERT_EQ(mpz_probab_prime_p(liar.get(), 30), 0);
    const PrimeTable table(1000);
    BigInt n = toBig("9624742914");  // past the prime 9624742913
    EXPECT_EQ(toMpz(table.nextPrime(n)), liar);
}

TEST_F(PrimeTableTest, NextPrimeFromLargeStartsIsPrimeByGmp) {
    const PrimeTable table(1000);
    RandomSource random(0x6c617267);
    for (unsigned long bits : {64ul, 100ul, 128ul, 200ul, 256ul, 384ul}) {
        const Mpz start = random.bits(bits);
        BigInt n = toBig(start);
        const Mpz found = toMpz(table.nextPrime(n));
        EXPECT_GE(mpz_cmp(found.get(), start.get()), 0);
        EXPECT_NE(mpz_probab_prime_p(found.get(), 30), 0) << "seed " << random.seed() << " from " << start;
        // Nothing prime was skipped on the way.
        Mpz expected;
        mpz_sub_ui(expected.get(), start.get(), 1);
        mpz_nextprime(expected.get(), expected.get());
        EXPECT_EQ(found, expected) << "seed " << random.seed() << " from " << start;
    }
}

TEST_F(PrimeTableTest, NextPrimeUnderHeapExhaustionGivesThePrimeOrInvalid) {
    const PrimeTable table(30);
    forEachAllocationFailure(
        [&table] {
            BigInt n(1000);
            const BigInt found = table.nextPrime(n);
            if (found.isValid()) {
                EXPECT_EQ(str(found), "1009");
                EXPECT_EQ(str(n), "1009");
            } else {
                EXPECT_FALSE(n.isValid());
            }
        },
        7);
}

struct StripCase {
    const char* n;
    const char* bound;
    uint32_t verdict;
    const char* cofactor;
    const char* factor;
};

TEST_F(PrimeTableTest, StripSmallFactorsEdges) {
    const PrimeTable table(10);
    const StripCase cases[] = {
        {"606", "50", 1, "101", "6"},
        {"606", "200", 0, "101", "6"},  // 101 < 200 straight after the division by 3
        {"7", "0", 1, "7", "1"},        // n is the table prime itself
        {"49", "5", 1, "7", "7"},
        {"1155", "0", 1, "11", "105"},  // 11 survives the table and passes Fermat
        {"1001", "0", 0, "143", "7"},   // 143 = 11·13 fails Fermat
        {"1", "0", 0, "1", "1"},        // below 2: nothing to judge
        {"0", "0", 0, "0", "1"},        // zero is a multiple of every prime
        {"-6", "0", 0, "-6", "1"},
    };
    for (const StripCase& c : cases) {
        BigInt n = toBig(c.n);
        BigInt factor(99);
        EXPECT_EQ(table.stripSmallFactors(n, factor, toBig(c.bound)), c.verdict) << c.n << " bound " << c.bound;
        EXPECT_EQ(str(n), c.cofactor) << c.n;
        EXPECT_EQ(str(factor), c.factor) << c.n;
    }
}

TEST_F(PrimeTableTest, StripSmallFactorsSplitsRandomNumbersAsGmpDoes) {
    const PrimeTable table(1000);
    RandomSource random(0x73747269);
    for (int round = 0; round < 60; ++round) {
        // A smooth part from the table times a random cofactor.
        Mpz original = random.bits(40 + round);
        for (int k = 0; k < round % 5; ++k) {
            mpz_mul_ui(original.get(), original.get(), table.primes[mpz_fdiv_ui(random.bits(16).get(), table.count)]);
        }
        BigInt n = toBig(original);
        BigInt factor(0);
        const uint32_t verdict = table.stripSmallFactors(n, factor, BigInt(0));

        Mpz product;
        mpz_mul(product.get(), toMpz(n).get(), toMpz(factor).get());
        EXPECT_EQ(product, original) << "seed " << random.seed() << " n " << original;
        const Mpz cofactor = toMpz(n);
        const bool tablePrime = mpz_cmp_ui(cofactor.get(), 1000) < 0;
        if (!tablePrime) {
            for (uint32_t k = 0; k < table.count; ++k) {
                ASSERT_FALSE(mpz_divisible_ui_p(cofactor.get(), table.primes[k])) << original << " kept " << table.primes[k];
            }
        }
        const bool prime = mpz_probab_prime_p(cofactor.get(), 30) != 0;
        EXPECT_EQ(verdict, prime ? 1u : 0u) << "seed " << random.seed() << " n " << original;
    }
}

TEST_F(PrimeTableTest, StripSmallFactorsUnderHeapExhaustion) {
    const PrimeTable table(10);
    forEachAllocationFailure([&table] {
        BigInt n(606);
        BigInt factor(0);
        const uint32_t verdict = table.stripSmallFactors(n, factor, BigInt(50));
        if (n.isValid() && factor.isValid()) {
            EXPECT_EQ(verdict, 1u);
            EXPECT_EQ(str(n), "101");
            EXPECT_EQ(str(factor), "6");
        } else {
            EXPECT_EQ(verdict, 0u);
        }
    });
}

// A half-reported exhaustion: the early answer for a number below 2 must not
// come with a factor the heap could not supply while n looks untouched.
TEST_F(PrimeTableTest, RunningOutBelowTwoLeavesBothOutputsInvalid) {
    const PrimeTable table(10);
    const BigInt zero(0);
    for (const char* start : {"1", "-5"}) {
        const BigInt value = toBig(start);
        // Copies share storage: only the call under test allocates.
        forEachAllocationFailure([&table, &zero, &value, start] {
            BigInt n = value;
            BigInt factor = zero;
            const uint32_t verdict = table.stripSmallFactors(n, factor, zero);
            EXPECT_EQ(verdict, 0u);
            EXPECT_EQ(n.isValid(), factor.isValid()) << start;
            if (n.isValid()) {
                EXPECT_EQ(str(n), start);
                EXPECT_EQ(str(factor), "1");
            }
        });
    }
}

}  // namespace
