// Every operator of the integer layer on signed operands of up to 512 bytes,
// against GMP: sums, differences, products, quotients and remainders
// (rounded toward zero), shifts, bitwise operations on the magnitudes,
// comparisons, one-place rotations, gcd, modular inverse, modPow and
// montgomeryPow. With a heap
// failure armed, a result is either the invalid value or the right number.
//
// Input: the fault (fuzz_support.h), then the operator, the sign bits, the
// lengths of a and b (two bytes each, modulo 513), a, b, and c (the rest, at
// most 512 bytes) as the modulus where one is needed.
#include <stdint.h>

#include <algorithm>

#include "bignum/mod_inverse.h"
#include "bignum/montgomery.h"
#include "fuzz_support.h"

using fuzz::check;
using fuzz::equals;
using fuzz::Mpz;
using zq::BigInt;
using Fault = fuzz::Fault;

namespace {

struct Operands {
    Mpz a, b, c;
    BigInt x{0u}, y{0u}, z{0u};
};

// expect: `r` is the invalid value when `expected` is null; otherwise it
// equals *expected, or is invalid after the heap refused a request.
void expect(const BigInt& r, const Mpz* expected, const fuzz::Fault* fault) {
    if (expected == nullptr) {
        check(!r.isValid());
    } else if (!fuzz::refused(fault) || r.isValid()) {
        check(equals(r, *expected));
    }
}

void comparisons(const Operands& v) {
    const int sign = mpz_cmp(v.a, v.b);
    const int32_t c = v.x.compare(v.y);
    check(c == (sign > 0) - (sign < 0));
    check((v.x == v.y) == (sign == 0) && (v.x != v.y) == (sign != 0));
    check((v.x < v.y) == (sign < 0) && (v.x <= v.y) == (sign <= 0));
    check((v.x > v.y) == (sign > 0) && (v.x >= v.y) == (sign >= 0));
    check(v.x.bitLength() == (mpz_sgn(v.a) == 0 ? 0 : mpz_sizeinbase(v.a, 2)));
    const uint32_t bit = mpz_getlimbn(v.b, 0) % 4200;
    Mpz absA;
    mpz_abs(absA, v.a);
    check(v.x.testBit(bit) == static_cast<uint32_t>(mpz_tstbit(absA, bit)));
    check(lowWord(v.x) == static_cast<uint32_t>(mpz_getlimbn(v.a, 0)));
}

void operate(uint8_t op, Operands& v, const fuzz::Fault* fault) {
    Mpz e, absA, absB;
    mpz_abs(absA, v.a);
    mpz_abs(absB, v.b);
    const uint32_t shift = static_cast<uint32_t>(mpz_getlimbn(v.b, 0) % 4200);
    if (fault) fault->arm();
    switch (op % 16) {
    case 0: mpz_add(e, v.a, v.b); return expect(v.x + v.y, &e, fault);
    case 1: mpz_sub(e, v.a, v.b); return expect(v.x - v.y, &e, fault);
    case 2: mpz_mul(e, v.a, v.b); return expect(v.x * v.y, &e, fault);
    case 3:
        if (mpz_sgn(v.b) == 0) return expect(v.x / v.y, nullptr, fault);
        mpz_tdiv_q(e, v.a, v.b);
        return expect(v.x / v.y, &e, fault);
    case 4:
        if (mpz_sgn(v.b) == 0) return expect(v.x % v.y, nullptr, fault);
        mpz_tdiv_r(e, v.a, v.b);
        return expect(v.x % v.y, &e, fault);
    case 5: mpz_mul_2exp(e, v.a, shift); return expect(v.x << shift, &e, fault);
    case 6: {
        mpz_tdiv_q_2exp(e, absA, shift);
        if (mpz_sgn(v.a) < 0) mpz_neg(e, e);
        BigInt r = v.x;
        r >>= shift;
        return expect(r, &e, fault);
    }
    case 7:
    case 8: {
        if (op % 16 == 7) mpz_xor(e, absA, absB); else mpz_and(e, absA, absB);
        if (v.x.negative) mpz_neg(e, e);  // a's flag, even on a zero
        return expect(op % 16 == 7 ? v.x ^ v.y : v.x & v.y, &e, fault);
    }
    case 9: {
        // In place, with the value on both sides: x += x, then x -= y.
        BigInt r = v.x;
        r += r;
        r -= v.y;
        mpz_mul_2exp(e, v.a, 1);
        mpz_sub(e, e, v.b);
        return expect(r, &e, fault);
    }
    case 10: {
        BigInt r = v.x;
        r.setBit(shift);
        BigInt s = r;
        s.clearBit(shift / 2);
        mpz_setbit(absA, shift);
        mpz_clrbit(absA, shift / 2);
        if (v.x.negative) mpz_neg(absA, absA);
        return expect(s, &absA, fault);
    }
    case 11:
        mpz_gcd(e, absA, absB);
        return expect(gcd(abs(v.x), abs(v.y)), &e, fault);
    case 12: {
        // value ≥ 0, modulus > 0: the inverse when the gcd is 1, otherwise
        // a t with t·value ≡ gcd (mod modulus).
        if (mpz_sgn(absB) == 0) return;
        const BigInt r = zq::modInverse(abs(v.x), abs(v.y));
        if (fuzz::refused(fault) && !r.isValid()) return;
        Mpz g, t;
        mpz_gcd(g, absA, absB);
        check(r.isValid());
        fuzz::toMpz(t, r);
        if (mpz_cmp_ui(g, 1) == 0) {
            mpz_invert(e, absA, absB);
            // Modulo 1 the recurrence ends at t0 = 1 for the value 1 (the
            // Montgomery context for the modulus 1 relies on it) and at 0
            // for any other value.
            if (mpz_cmp_ui(absB, 1) == 0) mpz_set_ui(e, mpz_cmp_ui(absA, 1) == 0 ? 1 : 0);
            check(mpz_cmp(t, e) == 0);
        } else {
            mpz_mul(t, t, absA);
            mpz_sub(t, t, g);
            check(mpz_divisible_p(t, absB) != 0);
        }
        return;
    }
    case 13:
    case 14: {
        // modPow(a, b, c), or montgomeryPow on a reduced to an image.
        const bool oddPositive = mpz_sgn(v.c) > 0 && mpz_odd_p(v.c);
        const bool montgomery = op % 16 == 14;
        if (!oddPositive) {
            const BigInt r = montgomery ? zq::montgomeryPow(v.x, v.y, v.z) : zq::modPow(v.x, v.y, v.z);
            return expect(r, nullptr, fault);
        }
        Mpz base;
        mpz_fdiv_r(base, v.a, v.c);
        if (!montgomery) {
            mpz_powm(e, base, absB, v.c);
            return expect(zq::modPow(v.x, v.y, v.z), &e, fault);
        }
        Fault::disarm();
        const BigInt image = fuzz::bigFromMpz(base);
        if (fault) fault->arm();
        // Image of (base·R^−1)^|b|, R the least power of two not below c.
        Mpz radix, plain;
        mpz_setbit(radix, mpz_sizeinbase(v.c, 2));
        if (mpz_cmp_ui(v.c, 1) == 0) mpz_set_ui(radix, 1);
        mpz_invert(plain, radix, v.c);
        mpz_mul(plain, plain, base);
        mpz_powm(e, plain, absB, v.c);
        mpz_mul(e, e, radix);
        mpz_mod(e, e, v.c);
        return expect(zq::montgomeryPow(image, v.y, v.z), &e, fault);
    }
    default: {
        Fault::disarm();
        comparisons(v);
        // One-place rotations within w bits, w at least the length of |a|.
        mpz_and(e, absA, absB);
        check(andParity(v.x, v.y) == (mpz_popcount(e) & 1));
        const uint32_t w = std::max<uint32_t>(1, v.x.bitLength() + mpz_getlimbn(absB, 0) % 3);
        Mpz right, left, low;
        mpz_tdiv_q_2exp(right, absA, 1);
        if (mpz_odd_p(absA)) mpz_setbit(right, w - 1);
        mpz_mul_2exp(left, absA, 1);
        if (mpz_tstbit(left, w)) mpz_setbit(left, 0);
        mpz_fdiv_r_2exp(left, left, w);
        if (v.x.negative) mpz_neg(right, right), mpz_neg(left, left);
        BigInt r = v.x, l = v.x;
        if (fault) fault->arm();
        r.rotateRight1(w);
        l.rotateLeft1(w);
        expect(r, &right, fault);
        expect(l, &left, fault);
        mpz_setbit(low, shift);
        return expect(zq::powerOfTwo(shift), &low, fault);
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::runWithFault(data, size, [](fuzz::Reader in, const fuzz::Fault* fault) {
        const uint8_t op = in.byte();
        const uint8_t signs = in.byte();
        const size_t lengthA = in.u16() % 513, lengthB = in.u16() % 513;
        const auto a = in.bytes(lengthA), b = in.bytes(lengthB), c = in.bytes(512);
        // Exponents of modPow stay short, so that runs stay fast.
        const bool power = op % 16 == 13 || op % 16 == 14;
        const auto bUsed = power && b.size() > 64 ? std::vector<uint8_t>(b.begin(), b.begin() + 64) : b;
        Operands v;
        fuzz::mpzFromBytes(v.a, a, signs & 1);
        fuzz::mpzFromBytes(v.b, bUsed, signs & 2);
        fuzz::mpzFromBytes(v.c, c, signs & 4);
        v.x = fuzz::bigFromBytes(a, signs & 1);
        v.y = fuzz::bigFromBytes(bUsed, signs & 2);
        v.z = fuzz::bigFromBytes(c, signs & 4);
        check(v.x.isValid() && v.y.isValid() && v.z.isValid());
        operate(op, v, fault);
        Fault::disarm();
        // The operands are as they were: results share their storage.
        check(equals(v.x, v.a) && equals(v.y, v.b) && equals(v.z, v.c));
    });
    return 0;
}
