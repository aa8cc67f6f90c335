// File: bigint_operators.cpp
//
// The free BigInt operators: comparisons, sum and difference, product,
// truncating quotient and dividend-signed remainder, bit operations, shifts,
// and gcd. Each leaves its operands unchanged and returns a new value; the
// value computed into is the one returned, so no words are copied on return.
// See bigint.h.
#include "bignum/bigint.h"

namespace zq {
namespace {

enum class DivisionPart { Quotient, Remainder };

// divisionPart computes the quotient or the remainder of a / b straight into
// a fresh value; the other part goes to a working magnitude of this frame,
// cleared and freed before the return. A zero divisor leaves it invalid.
BigInt divisionPart(const BigInt& a, const BigInt& b, DivisionPart part) noexcept {
    if (!a.isValid() || !b.isValid()) return BigInt::invalid();
    BigInt result(0u);
    if (!result.isValid()) return result;
    Magnitude other;
    if (part == DivisionPart::Quotient) {
        result.mag->divide(*a.mag, *b.mag, other);
        result.negative = a.negative ^ b.negative;  // rounded toward zero
    } else {
        other.divide(*a.mag, *b.mag, *result.mag);
        result.negative = a.negative;  // the dividend's sign
    }
    other.release();
    return result;
}

}  // namespace

// ---- Comparisons --------------------------------------------------------------
// False whenever a side is invalid, so that no loop waits on an invalid value.

namespace {
bool comparable(const BigInt& a, const BigInt& b) noexcept { return a.isValid() && b.isValid(); }
}  // namespace

bool operator==(const BigInt& a, const BigInt& b) noexcept { return comparable(a, b) && a.compare(b) == 0; }
bool operator!=(const BigInt& a, const BigInt& b) noexcept { return comparable(a, b) && a.compare(b) != 0; }
bool operator<(const BigInt& a, const BigInt& b) noexcept { return comparable(a, b) && a.compare(b) < 0; }
bool operator>=(const BigInt& a, const BigInt& b) noexcept { return comparable(a, b) && a.compare(b) >= 0; }
bool operator<=(const BigInt& a, const BigInt& b) noexcept { return comparable(a, b) && a.compare(b) <= 0; }
bool operator>(const BigInt& a, const BigInt& b) noexcept { return comparable(a, b) && a.compare(b) > 0; }

// ---- Arithmetic ---------------------------------------------------------------

BigInt operator+(const BigInt& a, const BigInt& b) noexcept {
    BigInt sum(a);
    sum.add(b);  // copies a's words once, on this first change
    return sum;
}

BigInt operator-(const BigInt& a, const BigInt& b) noexcept {
    BigInt difference(a);
    difference.subtract(b);
    return difference;
}

BigInt operator*(const BigInt& a, const BigInt& b) noexcept {
    if (!a.isValid() || !b.isValid()) return BigInt::invalid();
    BigInt product(0u);
    if (!product.isValid()) return product;
    product.mag->multiply(*a.mag, *b.mag);  // a fresh magnitude: never one of the operands
    product.negative = a.negative ^ b.negative;
    return product;
}

BigInt operator/(const BigInt& a, const BigInt& b) noexcept {
    return divisionPart(a, b, DivisionPart::Quotient);
}

BigInt operator%(const BigInt& a, const BigInt& b) noexcept {
    return divisionPart(a, b, DivisionPart::Remainder);
}

uint32_t lowWord(const BigInt& a) noexcept { return a.mag->lowWord(); }

// ---- Bits and shifts ----------------------------------------------------------

BigInt operator^(const BigInt& a, const BigInt& b) noexcept {
    BigInt result(a);
    result ^= b;
    return result;
}

BigInt operator&(const BigInt& a, const BigInt& b) noexcept {
    BigInt result(a);
    result &= b;
    return result;
}

BigInt operator<<(const BigInt& a, uint32_t n) noexcept {
    BigInt result(a);
    // A result that cannot be held is known at once, without doubling a value
    // 2^31 times on the way to running out of room.
    if (!result.mag->isZero() && n > 32 * Magnitude::MaxWords - result.bitLength()) return BigInt::invalid();
    // Doubling stops early where it would change nothing: at zero or invalid.
    for (uint32_t i = 0; i < n && !result.mag->isZero(); ++i) result.add(result);
    return result;
}

BigInt abs(const BigInt& a) noexcept {
    BigInt result(a);
    result.negative = 0;
    return result;
}

uint32_t andParity(const BigInt& a, const BigInt& b) noexcept { return a.mag->andParity(*b.mag); }

BigInt powerOfTwo(uint32_t i) noexcept {
    BigInt result(0u);
    result.setBit(i);
    return result;
}

// ---- Greatest common divisor --------------------------------------------------

BigInt gcd(const BigInt& a, const BigInt& b) noexcept {
    BigInt x(a);
    BigInt y(b);
    // Each remainder is smaller than its divisor, so the loop ends; an invalid
    // remainder (the heap ran out) would read as zero, so it ends the loop
    // with the invalid value instead of a wrong divisor.
    for (;;) {
        if (!x.isValid() || !y.isValid()) return BigInt::invalid();
        if (y.mag->isZero()) return x;
        x = x % y;
        if (!x.isValid()) return BigInt::invalid();
        if (x.mag->isZero()) return y;
        y = y % x;
    }
}

}  // namespace zq
