// Magnitudes: storage growth, normalisation, the documented boundary cases of
// every operation, the invalid state and wiping. The operators built on them
// are checked against GMP in bigint_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "bignum/magnitude.h"
#include "bignum_support.h"
#include "frame/heap_probe.h"

namespace {

using bignum_test::magnitudeWords;
using bignum_test::Words;
using zq::Magnitude;
namespace probe = zq::heap_probe;

// Mag: a magnitude in the test's frame, released at the end.
struct Mag : Magnitude {
    Mag() = default;
    explicit Mag(const Words& w) {
        for (uint32_t i = 0; i < w.size(); ++i) setWord(i, w[i]);
    }
    Mag(const Mag&) = delete;
    ~Mag() { release(); }
    Words value() const { return magnitudeWords(*this); }
};

class MagnitudeTest : public bignum_test::HeapChecked {};

TEST_F(MagnitudeTest, WordReadsZeroAtAndAboveTheLengthWhateverTheStorageHolds) {
    Mag m({5, 0, 7});
    m.setWord(2, 0);  // trims both top words: [5]
    EXPECT_EQ(m.length, 1u);
    EXPECT_EQ(m.words[2], 0u);
    EXPECT_EQ(m.word(1), 0u);
    m.clear();
    EXPECT_EQ(m.word(0), 0u);
    EXPECT_EQ(m.words[0], 5u);  // clearing keeps the storage as it is
    EXPECT_EQ(m.lowWord(), 0u);
    EXPECT_EQ(m.isZero(), 1u);
}

TEST_F(MagnitudeTest, SetWordGrowsToExactlyTheIndexAndZeroFillsBelow) {
    Mag m;
    const uint32_t before = probe::allocationCount();
    m.setWord(5, 0);  // beyond the length, zero: nothing
    EXPECT_EQ(probe::allocationCount(), before);
    EXPECT_EQ(m.words, nullptr);
    m.setWord(5, 9);
    EXPECT_EQ(m.capacity, 6u);
    EXPECT_EQ(m.length, 6u);
    EXPECT_EQ(m.value(), (Words{0, 0, 0, 0, 0, 9}));
    m.setWord(5, 0);  // the top word cleared: every zero word below goes too
    EXPECT_EQ(m.length, 0u);
    EXPECT_EQ(m.capacity, 6u);  // capacity never shrinks

    Mag small;
    small.setSmall(0);
    EXPECT_EQ(small.words, nullptr);
    small.setSmall(0xFFFFFFFF);
    EXPECT_EQ(small.value(), (Words{0xFFFFFFFF}));
}

TEST_F(MagnitudeTest, LoadingWordByWordGrowsOncePerWordAndAssignOnce) {
    Mag loaded;
    const uint32_t before = probe::allocationCount();
    for (uint32_t i = 0; i < 16; ++i) loaded.setWord(i, i + 1);
    EXPECT_EQ(probe::allocationCount() - before, 16u);
    EXPECT_EQ(loaded.capacity, 16u);

    Mag copy;
    const uint32_t beforeCopy = probe::allocationCount();
    copy.assign(loaded);
    EXPECT_EQ(probe::allocationCount() - beforeCopy, 1u);
    EXPECT_EQ(copy.capacity, 16u);
    EXPECT_EQ(copy.value(), loaded.value());
}

TEST_F(MagnitudeTest, BitLengthsAndBits) {
    EXPECT_EQ(Mag().bitLength(), 0u);
    EXPECT_EQ(Mag({1}).bitLength(), 1u);
    EXPECT_EQ(Mag({0xFFFFFFFF}).bitLength(), 32u);
    EXPECT_EQ(Mag({0, 1}).bitLength(), 33u);
    EXPECT_EQ(Mag({0x100}).bitLength(), 9u);
    EXPECT_EQ(Mag({0, 0, 0x10000}).bitLength(), 81u);

    Mag m;
    m.setBit(64);
    EXPECT_EQ(m.value(), (Words{0, 0, 1}));
    EXPECT_EQ(m.testBit(64), 1u);
    EXPECT_EQ(m.testBit(63), 0u);
    EXPECT_EQ(m.testBit(1000), 0u);
    m.setBit(3);
    m.clearBit(64);
    EXPECT_EQ(m.value(), (Words{8}));  // normalised by the clearing
    m.clearBit(500);                   // beyond the length: nothing to clear, nothing allocated
    EXPECT_EQ(m.capacity, 3u);
}

TEST_F(MagnitudeTest, CompareGoesByLengthThenFromTheTopWord) {
    Mag a({1, 2});
    Mag b({0xFFFFFFFF});
    Mag c({2, 2});
    Mag d({1, 0, 0x80000000});
    EXPECT_EQ(a.compare(b), 1);
    EXPECT_EQ(b.compare(a), -1);
    EXPECT_EQ(a.compare(c), -1);
    EXPECT_EQ(c.compare(a), 1);
    EXPECT_EQ(a.compare(a), 0);
    // Whatever its history, a normalised result compares by value.
    d.setWord(2, 0);
    Mag one({1});
    EXPECT_EQ(d.length, 1u);
    EXPECT_EQ(d.compare(one), 0);
}

TEST_F(MagnitudeTest, ShiftsByOneBit) {
    Mag m({0x80000000});
    m.shiftLeft1();
    EXPECT_EQ(m.value(), (Words{0, 1}));
    Mag top({0, 0x80000000});
    top.shiftLeft1();  // the top word empties, trims, then grows again
    EXPECT_EQ(top.value(), (Words{0, 0, 1}));

    Mag one({1});
    EXPECT_EQ(one.shiftRight1(), 1u);
    EXPECT_EQ(one.length, 0u);
    Mag zero;
    EXPECT_EQ(zero.shiftRight1(), 0u);
    Mag across({0, 1});  // the top word empties and its bit lands below
    EXPECT_EQ(across.shiftRight1(), 0u);
    EXPECT_EQ(across.value(), (Words{0x80000000}));
}

TEST_F(MagnitudeTest, ShiftRightByAnyCount) {
    Mag a({5, 7});
    a.shiftRight(32);
    EXPECT_EQ(a.value(), (Words{7}));
    Mag b({5, 7});
    b.shiftRight(64);
    EXPECT_EQ(b.length, 0u);
    Mag c({5, 7});
    c.shiftRight(1);
    EXPECT_EQ(c.value(), (Words{0x80000002, 3}));
    Mag d({5, 7});
    d.shiftRight(0xFFFFFFFF);
    EXPECT_EQ(d.length, 0u);
    Mag e({0, 0, 0x12345678});
    e.shiftRight(36);
    EXPECT_EQ(e.value(), (Words{0x80000000, 0x01234567}));
}

TEST_F(MagnitudeTest, AddCarriesIntoANewTopWord) {
    Mag a({0xFFFFFFFF});
    Mag one({1});
    a.add(one);
    EXPECT_EQ(a.value(), (Words{0, 1}));
    Mag b({0xFFFFFFFF, 0xFFFFFFFF});
    b.add(b);  // doubling through itself
    EXPECT_EQ(b.value(), (Words{0xFFFFFFFE, 0xFFFFFFFF, 1}));
    Mag shortOne({7});
    Mag longOne({1, 2, 3});
    shortOne.add(longOne);
    EXPECT_EQ(shortOne.value(), (Words{8, 2, 3}));
    EXPECT_EQ(shortOne.capacity, 3u);  // grown once, to the longer length
}

TEST_F(MagnitudeTest, SubtractPassesTheBorrowPastAnAllOnesWord) {
    Mag a({5, 0, 1});  // 2^64 + 5
    Mag b({6, 0xFFFFFFFF});
    a.subtract(b);
    EXPECT_EQ(a.value(), (Words{0xFFFFFFFF}));
    Mag c({0, 1});
    Mag d({0xFFFFFFFF});
    c.subtract(d);
    EXPECT_EQ(c.value(), (Words{1}));
    Mag e({3, 4});
    e.subtract(e);
    EXPECT_EQ(e.length, 0u);
}

TEST_F(MagnitudeTest, BitwiseAndParity) {
    Mag a({0xF0F0F0F0, 0xFFFF});
    Mag b({0xFF00FF00});
    a.xorWith(b);
    EXPECT_EQ(a.value(), (Words{0x0FF00FF0, 0xFFFF}));
    a.andWith(b);
    EXPECT_EQ(a.value(), (Words{0x0F000F00}));
    Mag c({1, 2});
    c.xorWith(c);
    EXPECT_EQ(c.length, 0u);

    Mag p({0b1011, 1});
    Mag q({0b0011, 1});
    EXPECT_EQ(p.andParity(q), 1u);  // 0b0011 XOR 0b0001 has one bit
    Mag r({0b0010});
    EXPECT_EQ(p.andParity(r), 1u);
    Mag s({0b1010});
    EXPECT_EQ(p.andParity(s), 0u);
    EXPECT_EQ(p.andParity(Mag()), 0u);
}

TEST_F(MagnitudeTest, RowProductsAddedAndSubtractedMatchGmp) {
    // One-word multipliers below and above 2^16 (the short rows and the
    // full ones), rows across the 64-word pieces and with 1 to 3 words left
    // over after the groups of four.
    bignum_test::Operands operands(1414);
    bignum_test::Mpz a, w, x, expected;
    for (int round = 0; round < 400; ++round) {
        const Words aw = operands.words(140);
        const Words ww = operands.words(140);
        const uint32_t pick = operands.below(4);
        const uint32_t factor = pick == 0   ? 0xFFFFu
                                : pick == 1 ? 2 + operands.below(0xFFFE)
                                : pick == 2 ? 0x10000u + operands.below(0xFFFF0000u)
                                            : 1 + operands.below(16);
        SCOPED_TRACE(testing::Message() << "round " << round << " factor " << factor);
        bignum_test::toMpz(a, aw);
        bignum_test::toMpz(w, ww);
        mpz_mul_ui(x, a, factor);
        mpz_add(expected, w, x);
        Mag sum(ww);
        Mag row(aw);
        sum.addProduct(row, factor);
        EXPECT_EQ(sum.value(), bignum_test::wordsOf(expected));
        if (factor >= 0x10000) continue;
        // (w + a·x) − a·x gives w back, the borrow running past a's words.
        sum.subtractShortProduct(row, factor);
        EXPECT_EQ(sum.value(), ww);
    }
}

TEST_F(MagnitudeTest, TruncatedProducts) {
    Mag a({0xFFFFFFFF, 0x12345678});
    Mag b({0xFFFFFFFF, 0xFFFFFFFF});
    Mag r;
    r.multiplyTruncated(a, b, 0);
    EXPECT_EQ(r.length, 0u);
    r.multiplyTruncated(a, b, 1);
    EXPECT_EQ(r.value(), (Words{1}));
    r.multiplyTruncated(a, b, 40);  // one full word and 8 bits of the next
    bignum_test::Mpz x, y, product;
    bignum_test::toMpz(x, a.value());
    bignum_test::toMpz(y, b.value());
    mpz_mul(product, x, y);
    mpz_fdiv_r_2exp(product, product, 40);
    EXPECT_EQ(r.value(), bignum_test::wordsOf(product));
    EXPECT_EQ(r.capacity, 2u);

    Mag f({0xFFFFFFFF});
    Mag square;
    square.multiply(f, f);
    EXPECT_EQ(square.value(), (Words{1, 0xFFFFFFFE}));
    Mag zero;
    Mag none;
    none.multiply(a, zero);
    EXPECT_EQ(none.length, 0u);
    EXPECT_EQ(none.words, nullptr);  // a zero product takes no storage
}

TEST_F(MagnitudeTest, DivisionBoundaryCases) {
    struct Case {
        Words dividend, divisor, quotient, remainder;
    };
    const Case cases[] = {
        {{7}, {2}, {3}, {1}},
        {{5}, {7}, {}, {5}},
        {{7}, {7}, {1}, {}},
        {{0, 0, 1}, {3}, {0x55555555, 0x55555555}, {1}},
        {{}, {3}, {}, {}},
        {{0, 0, 0, 1}, {0, 1}, {0, 0, 1}, {}},
    };
    for (const Case& c : cases) {
        Mag dividend(c.dividend), divisor(c.divisor), quotient, remainder;
        quotient.divide(dividend, divisor, remainder);
        EXPECT_EQ(quotient.value(), c.quotient);
        EXPECT_EQ(remainder.value(), c.remainder);
    }
}

// Without the table of the shifted divisor, the quotient too short for it or
// its storage refused, each subtraction forms the shifted words 64 at a time
// in a buffer on the stack: a 65-word divisor fills it once to its end. The
// quotient and the remainder have their storage already, so the table's is
// the only block the division asks for.
TEST_F(MagnitudeTest, LongDivisorWithoutTheShiftTable) {
    std::mt19937 random(6565);
    bignum_test::Mpz divisor, dividend, quotient, remainder;
    for (const uint32_t shift : {40u, 100u}) {
        SCOPED_TRACE(testing::Message() << "quotient of " << shift + 1 << " bits");
        Words dw(65), rw(64);
        for (uint32_t& w : dw) w = static_cast<uint32_t>(random());
        for (uint32_t& w : rw) w = static_cast<uint32_t>(random());
        dw.back() |= 1;
        bignum_test::toMpz(divisor, dw);
        bignum_test::toMpz(remainder, rw);
        mpz_mul_2exp(dividend, divisor, shift);
        mpz_add(dividend, dividend, remainder);
        mpz_tdiv_qr(quotient, remainder, dividend, divisor);

        Mag a(bignum_test::wordsOf(dividend)), b(dw), q, r;
        q.reserve(4);
        r.reserve(a.length);
        probe::failAllocations(0, true);
        q.divide(a, b, r);
        EXPECT_EQ(probe::failedAllocations(), shift >= 64 ? 1u : 0u) << "the table's storage";
        probe::stopFailing();
        EXPECT_EQ(q.value(), bignum_test::wordsOf(quotient));
        EXPECT_EQ(r.value(), bignum_test::wordsOf(remainder));
    }
}

TEST_F(MagnitudeTest, ZeroDivisorLeavesQuotientAndRemainderInvalid) {
    Mag dividend({7}), zero, quotient, remainder;
    quotient.divide(dividend, zero, remainder);
    EXPECT_EQ(quotient.isValid(), 0u);
    EXPECT_EQ(remainder.isValid(), 0u);
    EXPECT_EQ(quotient.words, nullptr);
}

TEST_F(MagnitudeTest, InvalidIsStickyAndContagious) {
    Mag bad;
    bad.invalidate();
    EXPECT_EQ(bad.isValid(), 0u);
    EXPECT_EQ(bad.isZero(), 1u);
    bad.setWord(3, 1);  // dropped, nothing allocated
    bad.shiftLeft1();
    bad.setBit(70);
    bad.reserve(10);
    EXPECT_EQ(bad.words, nullptr);
    EXPECT_EQ(bad.isValid(), 0u);

    Mag sum({1});
    sum.add(bad);
    EXPECT_EQ(sum.isValid(), 0u);
    Mag difference({1});
    difference.subtract(bad);
    EXPECT_EQ(difference.isValid(), 0u);
    Mag product, good({3});
    product.multiply(good, bad);
    EXPECT_EQ(product.isValid(), 0u);
    Mag copy({9, 9});
    copy.assign(bad);
    EXPECT_EQ(copy.isValid(), 0u);
    Mag q, r;
    q.divide(bad, good, r);
    EXPECT_EQ(q.isValid() + r.isValid(), 0u);
}

TEST_F(MagnitudeTest, TooManyWordsTurnInvalidInsteadOfWrapping) {
    Mag m({1});
    m.setWord(0xFFFFFFFF, 1);  // index + 1 would wrap to 0
    EXPECT_EQ(m.isValid(), 0u);
    Mag n;
    n.reserve(Magnitude::MaxWords + 1);
    EXPECT_EQ(n.isValid(), 0u);
    Mag big({1}), product;
    product.multiplyTruncated(big, big, 0xFFFFFFFF);  // 2^27 words asked for
    EXPECT_EQ(product.isValid(), 0u);
}

TEST_F(MagnitudeTest, RefusedStorageTurnsInvalidAndClearsWhatWasHeld) {
    Mag m({1, 2, 3});
    probe::failAllocations(0, false);
    m.setWord(10, 4);
    EXPECT_EQ(probe::failedAllocations(), 1u);
    EXPECT_EQ(m.isValid(), 0u);
    EXPECT_EQ(m.words, nullptr);
    EXPECT_EQ(m.length, 0u);
}

std::vector<std::vector<uint8_t>> released;
void keepReleased(const void* block, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(block);
    released.emplace_back(bytes, bytes + size);
}

TEST_F(MagnitudeTest, ReleaseClearsEveryWordOfTheStorageButGrowthDoesNot) {
    Mag m({0xAAAAAAAA, 0xBBBBBBBB, 0xCCCCCCCC});
    m.clear();  // the storage still holds every word
    released.clear();
    probe::setReleaseObserver(keepReleased);
    m.setWord(5, 0xDDDDDDDD);  // grows: the old array goes as it is
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(released[0].size(), 12u);
    uint32_t old[3];
    std::memcpy(old, released[0].data(), 12);
    EXPECT_EQ(old[0], 0xAAAAAAAAu);
    EXPECT_EQ(old[2], 0xCCCCCCCCu);

    released.clear();
    m.release();
    probe::setReleaseObserver(nullptr);
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(released[0], std::vector<uint8_t>(24, 0));
    EXPECT_EQ(m.words, nullptr);
}

}  // namespace
