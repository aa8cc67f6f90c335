// What the integer tests share: conversion between BigInt and GMP's mpz_t,
// random operands of interesting shapes from a fixed seed, and the fixture
// that checks every case gives back the heap blocks it took.
#pragma once

#include <gmp.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "bignum/bigint.h"
#include "frame/heap_probe.h"

namespace bignum_test {

using Words = std::vector<uint32_t>;

// Mpz: an mpz_t that clears itself.
struct Mpz {
    mpz_t v;
    Mpz() { mpz_init(v); }
    explicit Mpz(const char* hex) { mpz_init_set_str(v, hex, 16); }
    Mpz(const Mpz&) = delete;
    Mpz& operator=(const Mpz&) = delete;
    ~Mpz() { mpz_clear(v); }
    operator mpz_ptr() { return v; }
    operator mpz_srcptr() const { return v; }
};

// magnitudeWords are the significant words of a magnitude, least significant first.
inline Words magnitudeWords(const zq::Magnitude& m) { return Words(m.words, m.words + m.length); }

inline void toMpz(mpz_ptr out, const Words& words, bool negative = false) {
    mpz_import(out, words.size(), -1, 4, 0, 0, words.data());
    if (negative) mpz_neg(out, out);
}

// toMpz is the value of `x`, its sign included (a zero with the flag is 0).
inline void toMpz(mpz_ptr out, const zq::BigInt& x) { toMpz(out, magnitudeWords(*x.mag), x.negative != 0); }

inline Words wordsOf(mpz_srcptr x) {
    Words words((mpz_sizeinbase(x, 2) + 31) / 32);
    size_t count = 0;
    mpz_export(words.data(), &count, -1, 4, 0, 0, x);
    words.resize(count);
    return words;
}

// fromMpz is a BigInt of the value of `x`, loaded with fromWords.
inline zq::BigInt fromMpz(mpz_srcptr x) {
    zq::BigInt value(0u);
    const Words words = wordsOf(x);
    value.fromWords(words.data(), static_cast<uint32_t>(words.size()));
    value.negative = mpz_sgn(x) < 0;
    return value;
}

inline zq::BigInt fromWordList(const Words& words) {
    zq::BigInt value(0u);
    value.fromWords(words.data(), static_cast<uint32_t>(words.size()));
    return value;
}

inline std::string hexOf(mpz_srcptr x) {
    char* text = mpz_get_str(nullptr, 16, x);
    std::string result(text);
    void (*freeText)(void*, size_t);
    mp_get_memory_functions(nullptr, nullptr, &freeText);
    freeText(text, result.size() + 1);
    return result;
}

inline std::string hexOf(const zq::BigInt& x) {
    if (!x.isValid()) return "(invalid)";
    Mpz v;
    toMpz(v, x);
    return hexOf(v);
}

// sameValue: `x` is valid, normalised and equal to `expected`.
inline ::testing::AssertionResult sameValue(const zq::BigInt& x, mpz_srcptr expected) {
    if (!x.isValid()) return ::testing::AssertionFailure() << "invalid, expected " << hexOf(expected);
    if (x.mag->length != 0 && x.mag->words[x.mag->length - 1] == 0)
        return ::testing::AssertionFailure() << "not normalised";
    if (x.negative != 0 && x.negative != 1) return ::testing::AssertionFailure() << "flag " << x.negative;
    Mpz v;
    toMpz(v, x);
    if (mpz_cmp(v, expected) != 0)
        return ::testing::AssertionFailure() << hexOf(v) << " != expected " << hexOf(expected);
    return ::testing::AssertionSuccess();
}

// Operands: random words in shapes that find carry and borrow faults:
// plain random words, runs of 0 and 0xFFFFFFFF, and powers of two with their
// neighbours, with any number of words up to a limit.
class Operands {
public:
    explicit Operands(uint32_t seed) : rng_(seed) {}

    uint32_t below(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }

    Words words(uint32_t maxWords) {
        const uint32_t n = below(maxWords + 1);
        Words w(n);
        switch (below(6)) {
            case 0:  // random words
            case 1:
                for (auto& x : w) x = static_cast<uint32_t>(rng_());
                break;
            case 2:  // runs of 0 and all-ones
                for (auto& x : w) x = below(2) != 0 ? 0xFFFFFFFFu : 0u;
                break;
            case 3:  // mostly all-ones with an odd word
                for (auto& x : w) x = below(8) != 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(rng_());
                break;
            default: {  // 2^k − 1, 2^k or 2^k + 1
                if (n == 0) break;
                const uint32_t k = below(32 * n);
                w[k / 32] = 1u << (k % 32);
                Mpz v;
                toMpz(v, w);
                const uint32_t shape = below(3);
                if (shape == 0) mpz_sub_ui(v, v, 1);
                if (shape == 2) mpz_add_ui(v, v, 1);
                return wordsOf(v);
            }
        }
        while (!w.empty() && w.back() == 0) w.pop_back();
        return w;
    }

    // value is a random operand as an mpz, negative half of the time when
    // `signs`.
    void value(mpz_ptr out, uint32_t maxWords, bool signs) {
        toMpz(out, words(maxWords), signs && below(2) != 0);
    }

private:
    std::mt19937 rng_;
};

// HeapChecked: the case ends with as many live heap blocks as it began with,
// and with no allocation failure left switched on.
class HeapChecked : public ::testing::Test {
protected:
    void SetUp() override { liveAtStart_ = zq::heap_probe::liveBlocks(); }
    void TearDown() override {
        zq::heap_probe::stopFailing();
        zq::heap_probe::setReleaseObserver(nullptr);
        EXPECT_EQ(zq::heap_probe::liveBlocks(), liveAtStart_) << "the case left heap blocks behind";
    }

private:
    uint32_t liveAtStart_ = 0;
};

// forEachFailingAllocation runs `call` with allocation 0, 1, 2, ... of the
// call failing (and every later one when `sticky`) until a run meets no
// failure; returns the number of runs with a failure.
template <typename Call>
uint32_t forEachFailingAllocation(bool sticky, Call call) {
    for (uint32_t k = 0; k < 200000; ++k) {
        zq::heap_probe::failAllocations(k, sticky);
        call(k);
        const uint32_t failed = zq::heap_probe::failedAllocations();
        zq::heap_probe::stopFailing();
        if (failed == 0) return k;
    }
    ADD_FAILURE() << "the call never ran out of allocations to fail";
    return 0;
}

// expectRightOrInvalidWhenHeapFails runs `compute` with each of its
// allocations failing in turn, once alone and once with every later one: each
// result must be `expected` or the invalid value, never another value, some
// must be invalid, and no run may leave a heap block behind.
template <typename Compute>
void expectRightOrInvalidWhenHeapFails(Compute compute, mpz_srcptr expected) {
    const uint32_t live = zq::heap_probe::liveBlocks();
    for (bool sticky : {false, true}) {
        uint32_t invalidRuns = 0;
        const uint32_t runs = forEachFailingAllocation(sticky, [&](uint32_t k) {
            {
                const zq::BigInt result = compute();
                if (result.isValid()) {
                    EXPECT_TRUE(sameValue(result, expected)) << "allocation " << k << " sticky " << sticky;
                } else {
                    ++invalidRuns;
                }
            }
            EXPECT_EQ(zq::heap_probe::liveBlocks(), live) << "allocation " << k << " sticky " << sticky;
        });
        EXPECT_GT(runs, 20u);
        EXPECT_GT(invalidRuns, 0u);
    }
}

}  // namespace bignum_test
