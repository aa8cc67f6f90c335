// File: prime_table.h
//
// Prime search: a table of the primes below a limit, made once by the sieve
// of Eratosthenes; a Fermat probable-prime test with the bases 2, 3, 5 and 7;
// an upward search for the next probable prime that sieves 1000 candidates
// at a time with the table before any power is taken; and a routine that
// divides the table's primes out of a number and judges the cofactor.
//
// Numbers are BigInt values and powers come from modPow (montgomery.h). When
// the heap runs out, results follow bigint.h: a value that cannot be the true
// one is the invalid value, and a verdict is 0.
#pragma once

#include <stdint.h>

#include "bignum/bigint.h"

namespace zq {

// isProbablePrime is 1 when modPow(a, n − 1, n) = 1 for each base a of 2, 3,
// 5, 7, tried in that order and stopping at the first that fails; otherwise 0.
// The verdict means something only for odd n above 7: 3, 5 and 7 each fail
// against themselves as a base and are reported composite, and a Carmichael
// number coprime to the four bases, such as 29341, passes. Outside the test's
// domain the answer is 0 without any power: for n below 2 (there is no
// exponent n − 1 ≥ 1), and for an even n (the Montgomery power needs an odd
// modulus, and no even number above 2 is prime). 0 also when the heap runs
// out or `n` is invalid.
uint32_t isProbablePrime(const BigInt& n) noexcept;

// PrimeTable: the primes p with 2 ≤ p < limit, ascending, in `count` entries
// of `primes` on the PrivateHeap, owned by the table. Filled once when built
// and only read afterwards.
struct PrimeTable {
    uint32_t count;
    uint32_t* primes;

    // PrimeTable(limit) sieves the integers below `limit`: a flag byte for
    // each of 0 … limit, all 1; for i = 2, 3, … up to the limit (whose flag
    // is never cleared and stops the scan), each i still flagged is a prime,
    // counted, and its multiples 2i, 3i, … below the limit are crossed off.
    // Then exactly `count` entries are allocated and filled, and the flags
    // freed. Limit 10 and limit 11 both give 2, 3, 5, 7; limit 1000 gives
    // 168 primes; limit 2 gives an empty table with a zero-length block.
    // Below 2, for the limit 0xFFFFFFFF (its flag array would need 2^32
    // bytes), and when the heap refuses either block, the table is empty:
    // `count` 0, `primes` null.
    explicit PrimeTable(uint32_t limit) noexcept;

    // Destruction frees `primes` and nothing else; `count` keeps its value.
    ~PrimeTable();

    PrimeTable(const PrimeTable&) = delete;
    PrimeTable& operator=(const PrimeTable&) = delete;

    // nextPrime moves `n` up to the first candidate ≥ n that no prime of the
    // table divides and that passes isProbablePrime, and returns a copy of
    // it. The search sieves a window of 1000 candidates n … n + 999 at a time:
    // every table prime crosses off its multiples in the whole window (a
    // table prime in the window is crossed off as a multiple of itself), and
    // only then are the survivors tested in order. The window is allocated
    // once per search, and the search has no upper limit.
    //
    // With the primes below 1000: 1000 and 1009 give 1009, 500 gives 1009,
    // 29340 gives 29347 (the Carmichael number 29341 is crossed off by 13),
    // 10^20 gives 10^20 + 39. A start below 2 is raised to 2 first. When the
    // heap fails the search anywhere (the window, a remainder, a power), `n`
    // is left invalid and the invalid value is returned; so is an invalid
    // start.
    BigInt nextPrime(BigInt& n) const noexcept;

    // stripSmallFactors divides the table's primes, smallest first, out of
    // `n` for as long as each divides it, multiplying them into `factor`
    // (which starts at 1), and judges what is left:
    //  - 1 at once if `n` equals the prime about to divide it (the cofactor
    //    is a table prime);
    //  - 0 at once if a division leaves `n` below `bound` (the bound is
    //    looked at only straight after a division);
    //  - otherwise, after the last prime, isProbablePrime of the cofactor.
    // With the table for limit 10: 606 and bound 50 give 1, n = 101, factor
    // 6; with bound 200, 0 with the same n and factor; 7 gives 1, factor 1;
    // 49 with bound 5 gives 1, n = 7, factor 7.
    // For `n` below 2, which every prime or none divides, the answer is 0
    // with `factor` 1 and `n` unchanged. When the heap runs out the answer
    // is 0 and `n` and `factor` are left invalid.
    uint32_t stripSmallFactors(BigInt& n, BigInt& factor, const BigInt& bound) const noexcept;
};

}  // namespace zq
