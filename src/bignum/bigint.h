// File: bigint.h
//
// BigInt: the library's signed integer value. A two-field handle: `mag`
// points to a Magnitude on the PrivateHeap, `negative` is 0 or 1, and the
// value is −|mag| when `negative` is 1, else |mag|.
//
// Sharing. Copying a value (construction or assignment) shares its magnitude
// and adds 1 to its `shareCount`; no words are copied. Letting a value go
// takes 1 off the count, and the last holder releases the magnitude (its
// words are cleared, then freed) and frees the record. Every member that
// changes the magnitude first calls `makeUnique`, which gives the value a
// private copy if the magnitude is shared (copy-on-write). Values that hold
// one magnitude must be used by one thread at a time: the count is a plain
// counter.
//
// How it differs from a built-in integer:
// - Zero may carry `negative` = 1, from (−5) + 5, 0·(−3) or (−6) % 3. It
//   compares as zero and adds correctly; `toWords` ignores the sign.
// - `/` rounds toward zero and `%` takes the sign of the dividend, as in C:
//   a = (a / b)·b + a % b.
// - Nothing is checked and nothing reports an error. Instead of undefined
//   behaviour there is one invalid value (see magnitude.h): a value whose
//   storage the heap could not supply, the quotient or remainder of a
//   division by zero, and every result computed from an invalid operand.
//   `isValid` tells it apart. A caller that must not take a wrong number for
//   a right one (the signature check) tests `isValid` on its result. An
//   invalid value costs no storage: it points to one shared, read-only record
//   that is never counted or freed.
// - No loop can wait on the invalid value. Every operation with an invalid
//   operand returns at once with the invalid value (or leaves its receiver
//   invalid), and every comparison operator (==, !=, <, <=, >, >=) with an
//   invalid value on either side is false, so a loop that runs while a
//   comparison holds stops as soon as a value in it turns invalid. Where the
//   invalid value is read through the magnitude (`compare`, `bitLength`,
//   `isZero`, `testBit`) it reads as zero: a loop that runs while a value is
//   non-zero, or has bits left, stops too. Write loops in those two forms.
//
// Every operation on operands passed by reference leaves them unchanged and
// accepts the same value on both sides (a + a, a -= a, a = a).
#pragma once

#include <stdint.h>

#include "bignum/magnitude.h"

namespace zq {

struct BigInt {
    Magnitude* mag;
    int32_t negative;

    // ---- Life -----------------------------------------------------------

    // BigInt(v) is the non-negative value `v`: a new Magnitude record on the
    // PrivateHeap, then Magnitude::setSmall(v). 0 gives a magnitude without
    // storage. An invalid value when the heap refuses the record.
    BigInt(uint32_t v) noexcept;  // NOLINT: implicit, so that `x + 1` and `x == 0` read naturally

    // Copy construction shares `other`'s magnitude (its shareCount + 1).
    BigInt(const BigInt& other) noexcept;

    // operator= lets the present magnitude go, then shares `other`'s and
    // takes its sign. Assigning a value to itself, or to a value holding the
    // same magnitude, keeps the magnitude and copies the sign.
    BigInt& operator=(const BigInt& other) noexcept;

    // Destruction lets the magnitude go: the last holder clears and frees it.
    ~BigInt();

    // invalid is the invalid value. It allocates nothing.
    static BigInt invalid() noexcept;

    // isValid is 1 for a true value, 0 for the invalid value.
    uint32_t isValid() const noexcept { return mag->isValid(); }

    // invalidate lets the magnitude go and makes this the invalid value.
    void invalidate() noexcept;

    // makeUnique gives this value a magnitude of its own if the present one is
    // shared: the shared count goes down by 1 and a new record receives a
    // copy of the words (one allocation of exactly their length). A magnitude
    // with shareCount 0 is kept. `negative` is not touched. Returns 1 when the
    // value now holds a magnitude it alone may change, 0 when it is invalid
    // (already, or because the copy could not be allocated): the caller then
    // changes nothing.
    uint32_t makeUnique() noexcept;

    // ---- Words ----------------------------------------------------------

    // fromWords loads `n` words from `source` (least significant word first,
    // each word's bytes little-endian, no alignment needed): makeUnique,
    // zero words at the top fall away, then clear, reserve storage once for
    // the significant words and store them from word 0 up. `negative` is
    // kept.
    void fromWords(const void* source, uint32_t n) noexcept;

    // toWords writes exactly `n` words to `target` in the same order: 0 above
    // the value's length, and words at index `n` and above are cut without
    // notice. The sign is not written.
    void toWords(void* target, uint32_t n) const noexcept;

    // ---- Reading --------------------------------------------------------

    // compare is the signed comparison, −1, 0 or +1. A zero counts as
    // non-negative whatever its flag; of two negatives the larger magnitude
    // is the smaller value. An invalid value reads as zero here (the
    // comparison operators are false on it instead).
    int32_t compare(const BigInt& other) const noexcept;

    // bitLength is Magnitude::bitLength of the magnitude (the sign is ignored).
    uint32_t bitLength() const noexcept { return mag->bitLength(); }

    // testBit is bit `b` of the magnitude, 1 or 0 (the sign is ignored).
    uint32_t testBit(uint32_t b) const noexcept { return mag->testBit(b); }

    // ---- Changing in place ----------------------------------------------

    // setBit and clearBit set or clear bit `b` of the magnitude; the sign stays.
    void setBit(uint32_t b) noexcept;
    void clearBit(uint32_t b) noexcept;

    // add (+=) makes this this + `other`. With equal sign flags the magnitudes
    // add; otherwise the smaller magnitude is taken from the larger and the
    // result has the larger one's sign (a zero result keeps this value's
    // flag). Adding a value to itself doubles it.
    BigInt& add(const BigInt& other) noexcept;
    BigInt& operator+=(const BigInt& other) noexcept { return add(other); }

    // subtract (−=) makes this this − `other`, by the same rules with the
    // other's sign reversed; x −= x gives zero with x's flag.
    BigInt& subtract(const BigInt& other) noexcept;
    BigInt& operator-=(const BigInt& other) noexcept { return subtract(other); }

    // ^= and &= combine the magnitudes word by word (Magnitude::xorWith,
    // andWith); this value keeps its sign, `other`'s is not read.
    BigInt& operator^=(const BigInt& other) noexcept;
    BigInt& operator&=(const BigInt& other) noexcept;

    // shiftRight (>>=) shifts the magnitude right by `n` bits; the sign stays.
    BigInt& shiftRight(uint32_t n) noexcept;
    BigInt& operator>>=(uint32_t n) noexcept { return shiftRight(n); }

    // rotateRight1 and rotateLeft1 turn the low `w` bits of a value that fits
    // in `w` bits by one place (`w` ≥ 1): with w = 4, 3 becomes 9 and 9
    // becomes 3.
    BigInt& rotateRight1(uint32_t w) noexcept;
    BigInt& rotateLeft1(uint32_t w) noexcept;

private:
    BigInt(Magnitude* record, int32_t sign) noexcept : mag(record), negative(sign) {}
    // letGo drops this holder of `mag` (the last one clears and frees it).
    void letGo() noexcept;
};

// ---- Free operators: operands unchanged, a new value returned ---------------

// Signed comparisons (BigInt::compare); false when either side is invalid.
bool operator==(const BigInt& a, const BigInt& b) noexcept;
bool operator!=(const BigInt& a, const BigInt& b) noexcept;
bool operator<(const BigInt& a, const BigInt& b) noexcept;
bool operator>=(const BigInt& a, const BigInt& b) noexcept;
bool operator<=(const BigInt& a, const BigInt& b) noexcept;
bool operator>(const BigInt& a, const BigInt& b) noexcept;

// operator+ and operator− are a copy of `a` with += or −= `b`; `a`'s words
// are copied once, when the copy first changes.
BigInt operator+(const BigInt& a, const BigInt& b) noexcept;
BigInt operator-(const BigInt& a, const BigInt& b) noexcept;

// operator* is a·b, formed straight into a new magnitude; its flag is the XOR
// of the operands' flags, so 0·(−3) is a zero with `negative` = 1.
BigInt operator*(const BigInt& a, const BigInt& b) noexcept;

// operator/ is |a| div |b| with the XOR of the flags: rounded toward zero.
// (−7) / 2 = −3. The invalid value when `b` is zero.
BigInt operator/(const BigInt& a, const BigInt& b) noexcept;

// operator% is |a| mod |b| with `a`'s flag: (−7) % 2 = −1, 7 % (−2) = 1.
// The invalid value when `b` is zero.
BigInt operator%(const BigInt& a, const BigInt& b) noexcept;

// lowWord is the low 32-bit word of |a|.
uint32_t lowWord(const BigInt& a) noexcept;

// operator^ and operator& are a copy of `a` with ^= or &= `b` (`a`'s sign).
BigInt operator^(const BigInt& a, const BigInt& b) noexcept;
BigInt operator&(const BigInt& a, const BigInt& b) noexcept;

// operator<< is a·2^n: a copy of `a` added to itself `n` times; the sign
// stays. Doubling stops early once the value is zero or invalid (nothing
// would change), and a shift past MaxWords words gives the invalid value.
BigInt operator<<(const BigInt& a, uint32_t n) noexcept;

// abs is |a|: `a`'s magnitude, shared, with `negative` 0.
BigInt abs(const BigInt& a) noexcept;

// andParity is Magnitude::andParity of the two magnitudes, 1 or 0.
uint32_t andParity(const BigInt& a, const BigInt& b) noexcept;

// powerOfTwo is 2^i: zero, then setBit(i). powerOfTwo(32) has words [0, 1].
BigInt powerOfTwo(uint32_t i) noexcept;

// gcd is Euclid's algorithm on remainders: x ← a, y ← b; repeat: y = 0 gives
// x; x ← x % y; x = 0 gives y; y ← y % x. For non-negative operands the
// greatest common divisor (gcd(0, 0) = 0); with negative operands the sign
// follows the remainder rule. The invalid value if an operand is invalid.
BigInt gcd(const BigInt& a, const BigInt& b) noexcept;

}  // namespace zq
