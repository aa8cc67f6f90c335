// File: montgomery.h
//
// Modular exponentiation in the Montgomery domain, with a radix chosen to the
// bit: R = 2^k, k the bit length of the odd modulus m, so R/2 < m < R. The
// image of x in [0, m) is x·R mod m. Reduction uses truncated products (to k
// and 2k bits) rather than word-by-word steps, and the exponent is scanned
// from its least significant bit upward with a running square. Every call
// builds, uses and drops its own context; nothing is kept between calls.
#pragma once

#include <stdint.h>

#include "bignum/bigint.h"

namespace zq {

// MontgomeryContext: what one exponentiation modulo m needs. All values are
// non-negative. The two scratch values belong to the context alone and are
// overwritten in place by every multiplication, so their storage is allocated
// once per exponentiation. The members are destroyed in reverse order:
// radixInverse, radix, scratchFactor, scratchProduct, negInverse, modulus.
//
// Moduli outside the contract get a defined result instead of a meaningless
// one: for a modulus that is even (zero included), negative or invalid, the
// context is invalid (`isValid` is 0) and every result it gives is the
// invalid value (bigint.h). A modulus of 1 is valid and every result is 0.
struct MontgomeryContext {
    BigInt modulus;         // m, sharing the caller's magnitude
    BigInt negInverse;      // R − (m^−1 mod R), that is −m^−1 mod R
    BigInt scratchProduct;  // T, the product a·b of each multiplication
    BigInt scratchFactor;   // U = T·negInverse mod R
    uint32_t bits;          // k: how many doublings of 1 it took to reach R
    BigInt radix;           // R = 2^k, the least power of two not below m
    BigInt radixInverse;    // R^−1 mod m

    // MontgomeryContext(m) builds the context: radix ← 1 and doubled (in-place
    // addition to itself) while below m, counting `bits`; radixInverse ←
    // modInverse(radix − m, m); negInverse ← radix − modInverse(m, radix).
    // For m = 11: bits 4, radix 16, negInverse 13, radixInverse 9.
    explicit MontgomeryContext(const BigInt& m) noexcept;
    MontgomeryContext(const MontgomeryContext&) = delete;
    MontgomeryContext& operator=(const MontgomeryContext&) = delete;

    // isValid is 1 when every field holds a true value (see above).
    uint32_t isValid() const noexcept;

    // multiply makes a ← a·b·R^−1 mod m in place, for a and b in [0, m); the
    // result is in [0, m). `a` must be the sole holder of its magnitude; `b`
    // may be `a` itself (squaring). Three truncated products, one addition, one
    // shift, at most one subtraction; no division. `a` turns invalid if an
    // operand or the context is invalid.
    void multiply(BigInt& a, const BigInt& b) noexcept;

    // power is the Montgomery-domain power: for the image B·R mod m of B (base
    // in [0, m)) it returns the image of B^exponent. A right-to-left binary
    // ladder without window: acc ← R − m (the image of 1), x ← base; for each
    // bit of |exponent| from the lowest, multiply acc by x where the bit is 1,
    // and square x unless the bit was the top one. An n-bit exponent costs
    // n − 1 squarings and one multiplication per 1 bit. A zero exponent gives
    // the image of 1 at once. Once the working values have grown, in the first
    // multiplications, the ladder allocates nothing.
    BigInt power(const BigInt& base, const BigInt& exponent) noexcept;

    // modPow is base^exponent mod m in the ordinary domain, in [0, m): into
    // the domain by (base·R) mod m, power, out by (acc·R^−1) mod m, both by
    // full product and remainder. A base of any size is reduced by the first
    // step, and a negative base is brought into [0, m) by adding m once.
    // Exponent 0 gives 1 mod m.
    BigInt modPow(const BigInt& base, const BigInt& exponent) noexcept;
};

// modPow returns base^exponent mod `modulus` (odd, positive), in [0, modulus):
// builds a context from the modulus, calls MontgomeryContext::modPow, drops
// the context. modPow(3, 5, 7) = 5; modPow(10, 1, 7) = 3; exponent 0 gives
// 1 mod modulus; any power modulo 1 is 0. Only |exponent| is read. The
// invalid value for an even (or zero), negative or invalid modulus, an invalid
// operand, or when the heap runs out.
BigInt modPow(const BigInt& base, const BigInt& exponent, const BigInt& modulus) noexcept;

// montgomeryPow runs MontgomeryContext::power with no conversion: `base` must
// already be an image in [0, modulus), and the result is left in the domain.
// montgomeryPow(4, 5, 11) = 5 (4 is the image of 3, 3^5 ≡ 1, 5 the image of
// 1). Invalid in the same cases as modPow.
BigInt montgomeryPow(const BigInt& base, const BigInt& exponent, const BigInt& modulus) noexcept;

}  // namespace zq
