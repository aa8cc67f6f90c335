// File: sqrt_mod.cpp
//
// Square roots modulo a prime, by the class of the prime. See sqrt_mod.h.
#include "numtheory/sqrt_mod.h"

#include "bignum/montgomery.h"
#include "bignum/integer_checks.h"

namespace zq {
namespace {

// value mod m, in [0, m) for m > 0.
BigInt reduce(const BigInt& value, const BigInt& m) noexcept {
    BigInt r = value % m;
    if (isNegative(r)) r += m;
    return r;
}

// jacobi is the Jacobi symbol (a / n) for a ≥ 0 and an odd n ≥ 3, by
// quadratic reciprocity: −1, 0 or +1. For a prime n it equals Euler's
// criterion; for a composite n that is not a square, half of the values
// coprime to n have the symbol −1, even when n satisfies Euler's criterion
// for all of them. 0 also when the heap ran out (a comparison with an
// invalid value is false, which ends both loops).
int32_t jacobi(const BigInt& a, const BigInt& n) noexcept {
    const BigInt zero(0);
    BigInt x = a % n;
    BigInt y = n;
    int32_t symbol = 1;
    while (x != zero) {
        while (x != zero && x.testBit(0) == 0) {
            x >>= 1;
            const uint32_t r = lowWord(y) & 7;  // (2 / y) is −1 for y ≡ 3, 5 (mod 8)
            if (r == 3 || r == 5) symbol = -symbol;
        }
        if ((lowWord(x) & 3) == 3 && (lowWord(y) & 3) == 3) symbol = -symbol;
        const BigInt t = y % x;
        y = x;
        x = t;
    }
    if (!x.isValid() || !y.isValid() || y != BigInt(1)) return 0;
    return symbol;
}

// The root for p ≡ 1 (mod 8), from a in (0, p): the Lucas search over P.
BigInt lucasRoot(const BigInt& a, const BigInt& p) noexcept {
    const BigInt zero(0);
    const BigInt one(1);
    const BigInt fourA = BigInt(4) * a;
    BigInt eulerExponent = p;
    eulerExponent >>= 1;  // (p − 1)/2, p being odd
    const BigInt lucasIndex = eulerExponent + one;  // (p + 1)/2

    BigInt P(1);
    for (; P < p; P += one) {
        const BigInt D = reduce(P * P - fourA, p);
        // An invalid D is no residue and no non-residue: stop at once.
        if (!D.isValid()) return D;
        if (D == zero) return halveMod(P, p);
        // Euler's criterion; a power the heap could not finish decides nothing.
        const BigInt euler = modPow(D, eulerExponent, p);
        if (!euler.isValid()) return euler;
        if (euler != one) return halveMod(lucasV(P, a, lucasIndex, p), p);
        // A residue by Euler's criterion and a non-residue by the Jacobi
        // symbol: p is not prime. Some composites satisfy the criterion for
        // every discriminant coprime to them, and for those the search would
        // otherwise run on until P reached p.
        if (jacobi(D, p) < 0) return BigInt::invalid();
    }
    // The search ends with P = p only when every P was tried (an invalid P
    // ends it too, and gives the invalid value).
    return P == p ? zero : BigInt::invalid();
}

}  // namespace

BigInt halveMod(const BigInt& x, const BigInt& m) noexcept {
    // x + m is even when x is odd, so the shift is exact; on the magnitude
    // with the sign kept, it is the quotient by 2 rounded toward zero.
    BigInt half = x.testBit(0) != 0 ? x + m : x;
    half >>= 1;
    return half;
}

BigInt lucasV(const BigInt& P, const BigInt& Q, const BigInt& k, const BigInt& n) noexcept {
    if (!P.isValid() || !Q.isValid() || !k.isValid() || !n.isValid()) return BigInt::invalid();
    const uint32_t bits = k.bitLength();
    if (bits == 0) return BigInt(2);
    const BigInt D = P * P - BigInt(4) * Q;
    BigInt U(1);
    BigInt V = P;
    for (uint32_t i = bits - 1; i-- > 0;) {
        // Doubling: both products from the old U and V.
        const BigInt t1 = U * V;
        const BigInt t2 = V * V + D * U * U;
        U = t1 % n;
        V = halveMod(t2 % n, n);
        if (k.testBit(i) != 0) {
            // Step by one: both sums from the doubled U and V.
            const BigInt s1 = P * U + V;
            const BigInt s2 = P * V + D * U;
            U = halveMod(s1 % n, n);
            V = halveMod(s2 % n, n);
        }
    }
    return V;
}

BigInt sqrtModPrime(const BigInt& a, const BigInt& p) noexcept {
    if (!isOddAbove2(p)) {
        // Of the values this lets through, only 2 has bit length 2; its root
        // of a is a mod 2. Below 2, or even above 2, there is no prime.
        const bool two = isAtLeast2(p) && p.bitLength() == 2;
        return two ? reduce(a, p) : BigInt::invalid();
    }

    const BigInt residue = reduce(a, p);
    if (!residue.isValid() || residue.bitLength() == 0) return residue;

    BigInt r(0);
    const uint32_t low = lowWord(p);
    if ((low & 3) == 3) {
        BigInt exponent = p;
        exponent >>= 2;  // ⌊p/4⌋ + 1 = (p + 1)/4
        r = modPow(residue, exponent + BigInt(1), p);
    } else if ((low & 7) == 5) {
        // Atkin: with b = 2a and v = b^((p−5)/8), i = b·v² is a square root
        // of −1, and a·v·(i − 1) a root of a. For p = 5 the exponent is 0
        // and v = 1.
        BigInt exponent = p;
        exponent >>= 3;  // ⌊p/8⌋ = (p − 5)/8
        const BigInt twiceA = residue + residue;
        const BigInt v = modPow(twiceA, exponent, p);
        const BigInt i = twiceA * v * v;
        r = residue * v * (i - BigInt(1));
    } else {
        r = lucasRoot(residue, p);
    }
    return reduce(r, p);
}

}  // namespace zq
