// Signed values: sharing and copy-on-write, the sign and rounding rules, the
// documented boundary cases, every operator against GMP on random operands
// (fixed seeds), wiping by the last holder, and exhausted heaps.
#include <gtest/gtest.h>

#include <cstring>

#include "bignum/bigint.h"
#include "bignum_support.h"
#include "frame/heap_probe.h"

namespace {

using bignum_test::fromMpz;
using bignum_test::fromWordList;
using bignum_test::hexOf;
using bignum_test::Mpz;
using bignum_test::Operands;
using bignum_test::sameValue;
using bignum_test::Words;
using zq::BigInt;
namespace probe = zq::heap_probe;

class BigIntTest : public bignum_test::HeapChecked {};

BigInt signedValue(int64_t v) {
    const uint64_t m = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    const uint32_t words[2] = {static_cast<uint32_t>(m), static_cast<uint32_t>(m >> 32)};
    BigInt x(0u);
    x.fromWords(words, 2);
    x.negative = v < 0;
    return x;
}

// Value of a BigInt that fits in 63 bits, with its sign.
int64_t small(const BigInt& x) {
    EXPECT_TRUE(x.isValid());
    const int64_t m = static_cast<int64_t>(x.mag->word(0) | static_cast<uint64_t>(x.mag->word(1)) << 32);
    return x.negative != 0 ? -m : m;
}

// ---- Life and sharing ---------------------------------------------------------

TEST_F(BigIntTest, ConstructionFromAWord) {
    BigInt zero(0u);
    EXPECT_EQ(zero.mag->words, nullptr);
    EXPECT_EQ(zero.negative, 0);
    BigInt top(0xFFFFFFFFu);
    EXPECT_EQ(top.mag->length, 1u);
    EXPECT_EQ(top.mag->words[0], 0xFFFFFFFFu);
    EXPECT_EQ(top.negative, 0);
    EXPECT_EQ(top.mag->shareCount, 0u);
}

TEST_F(BigIntTest, CopiesShareUntilOneChanges) {
    BigInt a(12345u);
    {
        BigInt b(a);
        EXPECT_EQ(b.mag, a.mag);
        EXPECT_EQ(a.mag->shareCount, 1u);
        BigInt c(0u);
        c = b;
        EXPECT_EQ(a.mag->shareCount, 2u);
        b.add(BigInt(1u));
        EXPECT_NE(b.mag, a.mag);
        EXPECT_EQ(small(b), 12346);
        EXPECT_EQ(small(a), 12345);
        EXPECT_EQ(a.mag->shareCount, 1u);
        EXPECT_EQ(b.mag->shareCount, 0u);
    }
    EXPECT_EQ(a.mag->shareCount, 0u);
    const uint32_t before = probe::allocationCount();
    a.add(BigInt(0u));  // a sole holder changes in place (one record for the 0)
    EXPECT_EQ(probe::allocationCount() - before, 1u);
}

TEST_F(BigIntTest, MakeUniqueCopiesOnceIntoExactStorage) {
    BigInt a = signedValue(-0x123456789LL);
    BigInt b(a);
    const uint32_t before = probe::allocationCount();
    EXPECT_EQ(b.makeUnique(), 1u);
    EXPECT_EQ(probe::allocationCount() - before, 2u);  // the record and its words
    EXPECT_EQ(b.mag->capacity, 2u);
    EXPECT_EQ(b.negative, 1);
    EXPECT_EQ(a.mag->shareCount, 0u);
    EXPECT_EQ(b.makeUnique(), 1u);  // already its own: nothing to do
    EXPECT_EQ(probe::allocationCount() - before, 2u);
}

TEST_F(BigIntTest, AssignmentToItselfOrToAHolderOfTheSameMagnitude) {
    BigInt a(7u);
    BigInt& alias = a;
    a = alias;
    EXPECT_EQ(small(a), 7);
    EXPECT_EQ(a.mag->shareCount, 0u);
    BigInt b(a);
    b = a;
    EXPECT_EQ(a.mag->shareCount, 1u);
    BigInt c = zq::abs(signedValue(-7));
    EXPECT_EQ(small(c), 7);
}

TEST_F(BigIntTest, WordsInAndOut) {
    const uint32_t words[3] = {0x11111111, 0, 0};
    BigInt a(5u);
    a.negative = 1;
    a.fromWords(words, 3);
    EXPECT_EQ(a.mag->length, 1u);
    EXPECT_EQ(a.negative, 1);  // the flag is kept

    // Any alignment, little-endian bytes.
    const uint8_t bytes[9] = {0xFF, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    BigInt b(0u);
    b.fromWords(bytes + 1, 2);
    EXPECT_EQ(b.mag->word(0), 0x04030201u);
    EXPECT_EQ(b.mag->word(1), 0x08070605u);

    Words sixteen(16);
    for (uint32_t i = 0; i < 16; ++i) sixteen[i] = 0xA0 + i;
    BigInt c = fromWordList(sixteen);
    uint32_t out[4];
    c.toWords(out, 4);
    EXPECT_EQ(Words(out, out + 4), (Words{0xA0, 0xA1, 0xA2, 0xA3}));
    BigInt one(1u);
    uint32_t padded[4] = {9, 9, 9, 9};
    one.toWords(padded, 4);
    EXPECT_EQ(Words(padded, padded + 4), (Words{1, 0, 0, 0}));
}

// ---- Signs and rounding ---------------------------------------------------------

TEST_F(BigIntTest, SignRulesOfAdditionAndSubtraction) {
    BigInt negativeZero = signedValue(-5) + signedValue(5);
    EXPECT_EQ(negativeZero.negative, 1);
    EXPECT_EQ(negativeZero.mag->length, 0u);
    EXPECT_TRUE(negativeZero == BigInt(0u));
    EXPECT_FALSE(negativeZero < BigInt(0u));

    EXPECT_EQ(small(signedValue(5) - signedValue(7)), -2);
    EXPECT_EQ(small(signedValue(-5) - signedValue(-7)), 2);
    EXPECT_EQ(small(signedValue(-5) + signedValue(-7)), -12);
    EXPECT_EQ(small(signedValue(5) + signedValue(-7)), -2);
    EXPECT_EQ(small(signedValue(7) + signedValue(-5)), 2);

    BigInt x = signedValue(-0x7654321012345LL);
    BigInt doubled = x + x;
    EXPECT_EQ(small(doubled), -2 * 0x7654321012345LL);
    BigInt y = x;
    y.add(y);
    EXPECT_EQ(small(y), -2 * 0x7654321012345LL);
    BigInt gone = x - x;
    EXPECT_EQ(gone.mag->length, 0u);
    EXPECT_EQ(gone.negative, 1);  // x's flag
    EXPECT_EQ(small(x), -0x7654321012345LL);
}

TEST_F(BigIntTest, SignedComparison) {
    EXPECT_EQ(signedValue(-5).compare(signedValue(-3)), -1);
    EXPECT_EQ(signedValue(-3).compare(signedValue(3)), -1);
    EXPECT_EQ(signedValue(3).compare(signedValue(-3)), 1);
    EXPECT_EQ(signedValue(-3).compare(signedValue(-3)), 0);
    BigInt negativeZero(0u);
    negativeZero.negative = 1;
    EXPECT_EQ(negativeZero.compare(BigInt(0u)), 0);
    EXPECT_EQ(negativeZero.compare(signedValue(-1)), 1);
    EXPECT_TRUE(signedValue(2) > signedValue(1));
    EXPECT_TRUE(signedValue(2) >= signedValue(2));
    EXPECT_TRUE(signedValue(-2) <= signedValue(2));
    EXPECT_TRUE(signedValue(-2) != signedValue(2));
}

TEST_F(BigIntTest, QuotientsRoundTowardZeroAndRemaindersFollowTheDividend) {
    EXPECT_EQ(small(signedValue(-7) / signedValue(2)), -3);
    EXPECT_EQ(small(signedValue(-7) % signedValue(2)), -1);
    EXPECT_EQ(small(signedValue(7) / signedValue(-2)), -3);
    EXPECT_EQ(small(signedValue(7) % signedValue(-2)), 1);
    EXPECT_EQ(small(signedValue(-7) / signedValue(-2)), 3);
    EXPECT_EQ(small(signedValue(-7) % signedValue(-2)), -1);
    BigInt product = BigInt(0u) * signedValue(-3);
    EXPECT_EQ(product.mag->length, 0u);
    EXPECT_EQ(product.negative, 1);
    BigInt remainder = signedValue(-6) % signedValue(3);
    EXPECT_EQ(remainder.mag->length, 0u);
    EXPECT_EQ(remainder.negative, 1);
}

TEST_F(BigIntTest, DivisionByZeroGivesTheInvalidValue) {
    BigInt q = signedValue(7) / BigInt(0u);
    BigInt r = signedValue(-7) % BigInt(0u);
    EXPECT_EQ(q.isValid(), 0u);
    EXPECT_EQ(r.isValid(), 0u);
    EXPECT_EQ(hexOf(q), "(invalid)");
}

TEST_F(BigIntTest, ShiftsRotationsAndPowersOfTwo) {
    BigInt x = signedValue(0x1234);
    BigInt same = x << 0;
    EXPECT_EQ(small(same), 0x1234);
    EXPECT_EQ(small(signedValue(-3) << 2), -12);
    EXPECT_EQ(small(BigInt(0u) << 0xFFFFFFFF), 0);
    EXPECT_EQ((BigInt(1u) << 0xFFFFFFFF).isValid(), 0u);  // cannot be held

    BigInt p = zq::powerOfTwo(32);
    EXPECT_EQ(bignum_test::magnitudeWords(*p.mag), (Words{0, 1}));
    BigInt r(3u);
    r.rotateRight1(4);
    EXPECT_EQ(small(r), 9);
    r.rotateLeft1(4);
    EXPECT_EQ(small(r), 3);
    BigInt s = signedValue(-40);
    s >>= 3;
    EXPECT_EQ(small(s), -5);
    EXPECT_EQ(zq::lowWord(signedValue(-0x500000007LL)), 7u);
}

TEST_F(BigIntTest, GcdBoundaryCases) {
    EXPECT_EQ(small(zq::gcd(BigInt(12u), BigInt(18u))), 6);
    EXPECT_EQ(small(zq::gcd(BigInt(0u), BigInt(5u))), 5);
    EXPECT_EQ(small(zq::gcd(BigInt(5u), BigInt(0u))), 5);
    EXPECT_EQ(small(zq::gcd(BigInt(0u), BigInt(0u))), 0);
    EXPECT_EQ(zq::gcd(BigInt::invalid(), BigInt(4u)).isValid(), 0u);
}

// ---- Against GMP --------------------------------------------------------------

void truncatedRemainder(mpz_ptr out, mpz_srcptr a, mpz_srcptr b) { mpz_tdiv_r(out, a, b); }

// gcdByRemainders is the library's Euclid with GMP's truncated remainders.
void gcdByRemainders(mpz_ptr out, mpz_srcptr a, mpz_srcptr b) {
    Mpz x, y;
    mpz_set(x, a);
    mpz_set(y, b);
    for (;;) {
        if (mpz_sgn(y.v) == 0) return mpz_set(out, x);
        truncatedRemainder(x, x, y);
        if (mpz_sgn(x.v) == 0) return mpz_set(out, y);
        truncatedRemainder(y, y, x);
    }
}

TEST_F(BigIntTest, ArithmeticMatchesGmp) {
    const uint32_t seed = 20240501;
    Operands operands(seed);
    Mpz a, b, expected, magA, magB;
    for (int round = 0; round < 1500; ++round) {
        operands.value(a, 130, true);
        operands.value(b, round % 3 == 0 ? 130 : 8, true);
        SCOPED_TRACE(testing::Message() << "seed " << seed << " round " << round << " a=" << hexOf(a) << " b="
                                        << hexOf(b));
        const BigInt x = fromMpz(a);
        const BigInt y = fromMpz(b);
        mpz_abs(magA, a);
        mpz_abs(magB, b);

        const int order = mpz_cmp(a, b);
        EXPECT_EQ(x.compare(y), (order > 0) - (order < 0));
        EXPECT_EQ(x < y, order < 0);
        mpz_add(expected, a, b);
        EXPECT_TRUE(sameValue(x + y, expected));
        mpz_sub(expected, a, b);
        EXPECT_TRUE(sameValue(x - y, expected));
        mpz_mul(expected, a, b);
        EXPECT_TRUE(sameValue(x * y, expected));
        if (mpz_sgn(b.v) != 0) {
            mpz_tdiv_q(expected, a, b);
            EXPECT_TRUE(sameValue(x / y, expected));
            mpz_tdiv_r(expected, a, b);
            EXPECT_TRUE(sameValue(x % y, expected));
        }

        // In place, also with the operand being the receiver.
        BigInt z = x;
        z += y;
        mpz_add(expected, a, b);
        EXPECT_TRUE(sameValue(z, expected));
        z -= y;
        EXPECT_TRUE(sameValue(z, a));
        z += z;
        mpz_mul_2exp(expected, a, 1);
        EXPECT_TRUE(sameValue(z, expected));

        // Bitwise operations act on magnitudes; the result keeps a's sign.
        mpz_xor(expected, magA, magB);
        if (mpz_sgn(a.v) < 0) mpz_neg(expected, expected);
        EXPECT_TRUE(sameValue(x ^ y, expected));
        mpz_and(expected, magA, magB);
        EXPECT_EQ(zq::andParity(x, y), mpz_popcount(expected) & 1);
        if (mpz_sgn(a.v) < 0) mpz_neg(expected, expected);
        EXPECT_TRUE(sameValue(x & y, expected));

        const uint32_t n = operands.below(200);
        mpz_tdiv_q_2exp(expected, a, n);
        BigInt shifted = x;
        shifted >>= n;
        EXPECT_TRUE(sameValue(shifted, expected));
        mpz_mul_2exp(expected, a, n % 70);
        EXPECT_TRUE(sameValue(x << (n % 70), expected));

        gcdByRemainders(expected, a, b);
        EXPECT_TRUE(sameValue(zq::gcd(x, y), expected));
        if (mpz_sgn(a.v) >= 0 && mpz_sgn(b.v) >= 0) {
            mpz_gcd(expected, a, b);
            EXPECT_TRUE(sameValue(zq::gcd(x, y), expected));
        }
        EXPECT_TRUE(sameValue(x, a));
        EXPECT_TRUE(sameValue(y, b));
        if (HasFailure()) return;
    }
}

TEST_F(BigIntTest, TruncatedProductsAndRotationsMatchGmp) {
    const uint32_t seed = 77;
    Operands operands(seed);
    Mpz a, b, expected, bit;
    for (int round = 0; round < 1000; ++round) {
        operands.value(a, 70, false);
        operands.value(b, 70, false);
        const uint32_t t = operands.below(32 * 150);
        SCOPED_TRACE(testing::Message() << "seed " << seed << " round " << round << " t=" << t);
        const BigInt x = fromMpz(a);
        const BigInt y = fromMpz(b);
        zq::Magnitude product;
        product.multiplyTruncated(*x.mag, *y.mag, t);
        mpz_mul(expected, a, b);
        mpz_fdiv_r_2exp(expected, expected, t);
        EXPECT_EQ(bignum_test::magnitudeWords(product), bignum_test::wordsOf(expected));
        EXPECT_EQ(product.capacity, (t + 31) / 32);
        product.release();

        // Rotations by one place within a width the value fits in.
        const uint32_t w = static_cast<uint32_t>(mpz_sizeinbase(a, 2)) + operands.below(40);
        BigInt r = x;
        r.rotateRight1(w);
        mpz_tdiv_q_2exp(expected, a, 1);
        if (mpz_odd_p(a.v)) mpz_setbit(expected, w - 1);
        EXPECT_TRUE(sameValue(r, expected));
        r.rotateLeft1(w);
        EXPECT_TRUE(sameValue(r, a));
        if (HasFailure()) return;
    }
}

TEST_F(BigIntTest, WordsRoundTripAtEverySize) {
    Operands operands(5);
    for (uint32_t n = 0; n <= 130; ++n) {
        Words words(n);
        for (auto& w : words) w = operands.below(3) == 0 ? 0 : static_cast<uint32_t>(operands.below(0xFFFFFFFF));
        const BigInt x = fromWordList(words);
        Words out(n + 2, 0xDEADBEEF);
        x.toWords(out.data(), n + 1);
        EXPECT_EQ(out[n + 1], 0xDEADBEEFu);  // exactly n + 1 words written
        EXPECT_EQ(out[n], 0u);
        out.resize(n);
        EXPECT_EQ(out, words);
        EXPECT_EQ(x.mag->capacity, x.mag->length);  // storage of exactly the significant words
    }
}

// ---- Wiping and exhaustion ---------------------------------------------------

std::vector<std::vector<uint8_t>> released;
void keepReleased(const void* block, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(block);
    released.emplace_back(bytes, bytes + size);
}

TEST_F(BigIntTest, TheLastHolderClearsEveryBlockItFrees) {
    const Words secret = {0x5EC2E7, 0xFFFFFFFF, 0x12345678, 0x9ABCDEF0};
    {
        BigInt a = fromWordList(secret);
        BigInt b = a;
        b.subtract(BigInt(1u));  // b's own copy
        BigInt c = a * b;
        released.clear();
        probe::setReleaseObserver(keepReleased);
    }
    probe::setReleaseObserver(nullptr);
    // a's, b's and c's records and words, minus the temporaries already gone.
    ASSERT_EQ(released.size(), 6u);
    for (const auto& block : released) EXPECT_EQ(block, std::vector<uint8_t>(block.size(), 0));
}

// compute is a mix of every kind of operation; under an exhausted heap its
// result must be the right value or the invalid value, never another value.
BigInt compute(const BigInt& a, const BigInt& b) {
    BigInt x = a * b + a;
    x -= b;
    BigInt q = x / b;
    BigInt r = x % a;
    BigInt g = zq::gcd(q, r);
    BigInt y = (q ^ r) + g;
    y.shiftRight(3);
    y.setBit(200);
    return y + (a << 5);
}

TEST_F(BigIntTest, ExhaustedHeapGivesTheRightValueOrTheInvalidOneAndLeaksNothing) {
    Mpz ma("123456789abcdef0fedcba98765432100123456789abcdef"), mb("-fedcba9876543210ffff0000");
    const BigInt a = fromMpz(ma);
    const BigInt b = fromMpz(mb);
    Mpz expected;
    {
        const BigInt reference = compute(a, b);
        ASSERT_TRUE(reference.isValid());
        bignum_test::toMpz(expected, reference);
    }
    bignum_test::expectRightOrInvalidWhenHeapFails([&] { return compute(a, b); }, expected);
    EXPECT_TRUE(sameValue(a, ma));
    EXPECT_TRUE(sameValue(b, mb));
}

TEST_F(BigIntTest, InvalidValuesPropagateAndCostNothing) {
    const BigInt bad = BigInt::invalid();
    const BigInt good(5u);
    const uint32_t live = probe::liveBlocks();
    BigInt copy = bad;
    copy = bad;
    EXPECT_EQ(probe::liveBlocks(), live);
    EXPECT_EQ((good + bad).isValid(), 0u);
    EXPECT_EQ((bad - good).isValid(), 0u);
    EXPECT_EQ((good * bad).isValid(), 0u);
    EXPECT_EQ((bad / good).isValid(), 0u);
    EXPECT_EQ((good % bad).isValid(), 0u);
    EXPECT_EQ((good ^ bad).isValid(), 0u);
    EXPECT_EQ((good & bad).isValid(), 0u);
    EXPECT_EQ((bad << 3).isValid(), 0u);
    BigInt x(7u);
    x.add(bad);
    EXPECT_EQ(x.isValid(), 0u);
    x.setBit(4);  // stays invalid, writes nothing
    x.fromWords("abcd", 1);
    x.shiftRight(1);
    EXPECT_EQ(x.isValid(), 0u);
    EXPECT_EQ(x.makeUnique(), 0u);
    EXPECT_EQ(bad.bitLength(), 0u);  // read through the magnitude: zero
    EXPECT_TRUE(bad.mag->isZero());

    // Every comparison with an invalid side is false, so loops bounded by a
    // comparison end on it.
    for (const BigInt& other : {BigInt(0u), good, bad}) {
        for (const auto& [a, b] : {std::pair{&bad, &other}, std::pair{&other, &bad}}) {
            EXPECT_FALSE(*a == *b || *a != *b || *a < *b || *a <= *b || *a > *b || *a >= *b);
        }
    }
    int rounds = 0;
    for (BigInt y(1u); y < good && rounds < 100; y += bad) ++rounds;
    EXPECT_EQ(rounds, 1);

    probe::failAllocations(0, false);
    BigInt refused(9u);
    EXPECT_EQ(refused.isValid(), 0u);
}

}  // namespace
