// File: gmp_bridge.h
//
// What the number-theory tests share: GMP integers as the reference, the
// conversions between them and BigInt, a seeded source of random GMP values,
// and the fixture that checks every case gives back the heap blocks it took.
#pragma once

#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bignum/bigint.h"
#include "frame/heap_probe.h"

// Mpz: an mpz_t that frees itself.
class Mpz {
public:
    Mpz() { mpz_init(value_); }
    explicit Mpz(const char* decimal) { mpz_init_set_str(value_, decimal, 10); }
    explicit Mpz(long v) { mpz_init_set_si(value_, v); }
    Mpz(const Mpz& other) { mpz_init_set(value_, other.value_); }
    Mpz& operator=(const Mpz& other) {
        mpz_set(value_, other.value_);
        return *this;
    }
    ~Mpz() { mpz_clear(value_); }
    mpz_ptr get() { return value_; }
    mpz_srcptr get() const { return value_; }
    std::string str() const {
        std::vector<char> text(mpz_sizeinbase(value_, 10) + 2);
        return mpz_get_str(text.data(), 10, value_);
    }

private:
    mpz_t value_;
};

inline bool operator==(const Mpz& a, const Mpz& b) { return mpz_cmp(a.get(), b.get()) == 0; }
inline std::ostream& operator<<(std::ostream& out, const Mpz& v) { return out << v.str(); }

// toBig is the BigInt of a GMP value (word by word, least significant first).
inline zq::BigInt toBig(const Mpz& v) {
    std::vector<uint32_t> words(mpz_sizeinbase(v.get(), 2) / 32 + 1, 0);
    size_t count = 0;
    mpz_export(words.data(), &count, -1, 4, -1, 0, v.get());
    zq::BigInt result(0);
    result.fromWords(words.data(), static_cast<uint32_t>(count));
    if (mpz_sgn(v.get()) < 0) result = zq::BigInt(0) - result;
    return result;
}

inline zq::BigInt toBig(const char* decimal) { return toBig(Mpz(decimal)); }

// toMpz is the GMP value of a BigInt; it fails the case for the invalid value.
inline Mpz toMpz(const zq::BigInt& v) {
    EXPECT_TRUE(v.isValid()) << "an invalid value where a number was due";
    Mpz result;
    const uint32_t n = v.mag->length;
    std::vector<uint32_t> words(n + 1, 0);
    v.toWords(words.data(), n);
    mpz_import(result.get(), n, -1, 4, -1, 0, words.data());
    if (v.negative != 0) mpz_neg(result.get(), result.get());
    return result;
}

inline std::string str(const zq::BigInt& v) { return v.isValid() ? toMpz(v).str() : "invalid"; }

namespace zq {
// Failures print a BigInt in decimal.
inline void PrintTo(const BigInt& v, std::ostream* out) { *out << str(v); }
}  // namespace zq

// RandomSource: GMP's generator under a fixed seed, printed by the cases that
// use it.
class RandomSource {
public:
    explicit RandomSource(unsigned long seed) : seed_(seed) {
        gmp_randinit_mt(state_);
        gmp_randseed_ui(state_, seed);
    }
    ~RandomSource() { gmp_randclear(state_); }
    RandomSource(const RandomSource&) = delete;
    RandomSource& operator=(const RandomSource&) = delete;

    unsigned long seed() const { return seed_; }

    // bits: a value of exactly `bits` bits (top bit set).
    Mpz bits(unsigned long bits) {
        Mpz v;
        mpz_urandomb(v.get(), state_, bits);
        mpz_setbit(v.get(), bits - 1);
        return v;
    }

    // below: a value in [0, bound).
    Mpz below(const Mpz& bound) {
        Mpz v;
        mpz_urandomm(v.get(), state_, bound.get());
        return v;
    }

    // prime: the first prime above a random value of `bits` bits.
    Mpz prime(unsigned long bits) {
        Mpz p = this->bits(bits);
        mpz_nextprime(p.get(), p.get());
        return p;
    }

    // primeOfClass: a prime of about `bits` bits that is `residue` mod `modulus`.
    Mpz primeOfClass(unsigned long bits, unsigned long residue, unsigned long modulus) {
        for (;;) {
            Mpz p = prime(bits);
            if (mpz_fdiv_ui(p.get(), modulus) == residue) return p;
        }
    }

private:
    unsigned long seed_;
    gmp_randstate_t state_;
};

// RsaKey: n = p·q, e = 65537 and d = e^−1 mod (p − 1)(q − 1), made by GMP.
struct RsaKey {
    Mpz n, e, d, p, q;
};

// makeRsaKey: primes of `bits` / 2 and the rest, the first after random
// starts, drawn again until they differ and e is invertible.
inline RsaKey makeRsaKey(RandomSource& random, unsigned long bits) {
    RsaKey key;
    mpz_set_ui(key.e.get(), 65537);
    for (;;) {
        key.p = random.prime(bits / 2);
        key.q = random.prime(bits - bits / 2);
        if (key.p == key.q) continue;
        Mpz p1, q1, phi;
        mpz_sub_ui(p1.get(), key.p.get(), 1);
        mpz_sub_ui(q1.get(), key.q.get(), 1);
        mpz_mul(phi.get(), p1.get(), q1.get());
        if (mpz_invert(key.d.get(), key.e.get(), phi.get()) == 0) continue;
        mpz_mul(key.n.get(), key.p.get(), key.q.get());
        return key;
    }
}

// NumTheoryTest: a case must end with as many live heap blocks as it began
// with (its values are locals of the test body, gone by TearDown).
class NumTheoryTest : public ::testing::Test {
protected:
    void SetUp() override { liveAtStart_ = zq::heap_probe::liveBlocks(); }
    void TearDown() override {
        zq::heap_probe::stopFailing();
        EXPECT_EQ(zq::heap_probe::liveBlocks(), liveAtStart_) << "the case left heap blocks behind";
    }

private:
    uint32_t liveAtStart_ = 0;
};

// forEachAllocationFailure runs `call` once with each of its heap allocations
// in turn failing (the first, the second, ...), until a run makes no more
// allocations than the failing index; `step` thins out long runs. Each run
// must leave the heap as it found it.
template <typename Call>
void forEachAllocationFailure(Call call, uint32_t step = 1) {
    for (uint32_t failing = 0;; failing += step) {
        const uint32_t live = zq::heap_probe::liveBlocks();
        zq::heap_probe::failAllocations(failing, false);
        call();
        const bool failedOne = zq::heap_probe::failedAllocations() != 0;
        zq::heap_probe::stopFailing();
        EXPECT_EQ(zq::heap_probe::liveBlocks(), live) << "allocation " << failing << " failing leaks";
        if (!failedOne) {
            EXPECT_GT(failing, 0u) << "the call allocated nothing, so nothing was tried";
            break;
        }
    }
}
