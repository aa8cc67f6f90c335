// File: prime_table.cpp
//
// The sieve of Eratosthenes, the Fermat test with four bases and the windowed
// next-prime search. See prime_table.h.
#include "numtheory/prime_table.h"

#include <string.h>

#include "bignum/montgomery.h"
#include "frame/private_heap.h"
#include "bignum/integer_checks.h"

namespace zq {
namespace {

// Candidates sieved together by nextPrime, one flag byte each.
constexpr uint32_t WindowSize = 1000;

// The Fermat bases, in the order they are tried.
constexpr uint32_t FermatBases[4] = {2, 3, 5, 7};

// The Fermat test's outcome, with a third case for a heap that ran out: the
// search must not take a power it could not compute for a composite.
enum class Fermat { Composite, ProbablePrime, Exhausted };

Fermat fermatTest(const BigInt& n) noexcept {
    if (!n.isValid()) return Fermat::Exhausted;
    if (!isOddAbove2(n)) return Fermat::Composite;
    const BigInt one(1);
    const BigInt exponent = n - one;  // invalid with `one`, and then so is every power
    for (uint32_t base : FermatBases) {
        const BigInt power = modPow(BigInt(base), exponent, n);
        if (!power.isValid()) return Fermat::Exhausted;
        if (power != one) return Fermat::Composite;
    }
    return Fermat::ProbablePrime;
}

}  // namespace

uint32_t isProbablePrime(const BigInt& n) noexcept { return fermatTest(n) == Fermat::ProbablePrime ? 1 : 0; }

PrimeTable::PrimeTable(uint32_t limit) noexcept : count(0), primes(nullptr) {
    if (limit < 2 || limit == 0xFFFFFFFFu) return;
    auto* flags = static_cast<uint8_t*>(PrivateHeap::allocate(limit + 1));
    if (flags == nullptr) return;
    memset(flags, 1, limit + 1);

    // Flag `limit` stays 1, so the scan always ends on it.
    for (uint32_t i = 2;; ++i) {
        if (flags[i] == 0) continue;
        if (i == limit) break;
        ++count;
        // k + i < limit, written as limit − k > i so that nothing wraps.
        for (uint32_t k = i; limit - k > i;) {
            k += i;
            flags[k] = 0;
        }
    }

    // count < limit < 2^32 and there are fewer than 2^30 primes below 2^32,
    // so the byte count fits in 32 bits.
    primes = static_cast<uint32_t*>(PrivateHeap::allocate(count * 4));
    count = 0;
    if (primes != nullptr) {
        for (uint32_t i = 2; i < limit; ++i) {
            if (flags[i] != 0) primes[count++] = i;
        }
    }
    PrivateHeap::release(flags);
}

PrimeTable::~PrimeTable() { PrivateHeap::release(primes); }

BigInt PrimeTable::nextPrime(BigInt& n) const noexcept {
    if (n.isValid() && !isAtLeast2(n)) n = BigInt(2);
    const BigInt one(1);
    auto* window = static_cast<uint8_t*>(PrivateHeap::allocate(WindowSize));
    if (window == nullptr || !one.isValid()) n.invalidate();

    // Each pass sieves the window n … n + 999, then walks it, n moving on by
    // one per candidate. Whatever the heap cannot supply leaves n invalid,
    // which ends the search.
    bool found = false;
    while (!found && n.isValid()) {
        memset(window, 1, WindowSize);
        for (uint32_t k = 0; k < count && n.isValid(); ++k) {
            const uint32_t p = primes[k];
            const BigInt remainder = n % BigInt(p);
            if (!remainder.isValid()) n.invalidate();
            // The first multiple of p in the window is n + w.
            uint32_t w = lowWord(remainder);
            if (w != 0) w = p - w;
            while (w < WindowSize) {
                window[w] = 0;
                if (WindowSize - w <= p) break;  // w + p would leave the window (or wrap)
                w += p;
            }
        }
        for (uint32_t j = 0; j < WindowSize && n.isValid(); ++j) {
            if (window[j] != 0) {
                const Fermat verdict = fermatTest(n);
                if (verdict == Fermat::ProbablePrime) {
                    found = true;
                    break;
                }
                if (verdict == Fermat::Exhausted) n.invalidate();
            }
            n += one;
        }
    }
    PrivateHeap::release(window);
    return n;
}

uint32_t PrimeTable::stripSmallFactors(BigInt& n, BigInt& factor, const BigInt& bound) const noexcept {
    factor = BigInt(1);
    // The heap ran out: neither the cofactor nor the product can be trusted.
    auto exhausted = [&n, &factor]() {
        n.invalidate();
        factor.invalidate();
        return 0u;
    };
    // Before any other answer, so that every path that ran out says so alike.
    if (!factor.isValid()) return exhausted();
    if (!isAtLeast2(n)) return 0;

    for (uint32_t k = 0; k < count; ++k) {
        const BigInt p(primes[k]);
        for (;;) {
            // An invalid remainder compares as zero and would divide for ever.
            const BigInt remainder = n % p;
            if (!remainder.isValid()) return exhausted();
            if (!remainder.mag->isZero()) break;
            if (n == p) return 1;
            n = n / p;
            factor = factor * p;
            if (!n.isValid() || !factor.isValid()) return exhausted();
            if (n < bound) return 0;
        }
    }
    const Fermat verdict = fermatTest(n);
    if (verdict == Fermat::Exhausted) return exhausted();
    return verdict == Fermat::ProbablePrime ? 1 : 0;
}

}  // namespace zq
