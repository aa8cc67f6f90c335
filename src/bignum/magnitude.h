// File: magnitude.h
//
// Magnitude: the unsigned multi-precision number under every integer of the
// library, with the unsigned operations the signed values (bigint.h) and the
// Montgomery exponentiation (montgomery.h) are built from. Schoolbook
// arithmetic on 32-bit words: each word product is formed from 16-bit halves,
// division is shift-and-subtract, one quotient bit per step.
//
// Representation
// --------------
// `words` holds `capacity` 32-bit words on the PrivateHeap, least significant
// first, or is null while `capacity` is 0. The value is the sum of
// words[i]·2^(32·i) for i < `length`. It is always normalised: `length` is 0
// (the value zero) or words[length − 1] ≠ 0. Words from `length` up to
// `capacity` are storage only and may hold old values; nothing reads them as
// part of the value, and `word` gives 0 at and above `length`. `capacity`
// never decreases. `shareCount` counts the BigInt holders beyond the first; it
// starts at 0 and only bigint.cpp touches it.
//
// Single-word stores (`setWord`, and `setSmall`, `setBit`, `clearBit` through
// it) grow the storage to exactly the index asked for and trim leading zero
// words. The operations on whole vectors (shifts, addition, subtraction,
// products, division) write their words directly and leave the same
// normalised result, trimming the zero words at the top once.
//
// Storage and wiping: only `reserve` allocates a magnitude's words. Storage
// replaced because it grew is freed as it is; `release` clears every one of
// the `capacity` words before freeing them. A long division borrows one more
// block, a table of the shifted divisor, and clears it before freeing it;
// stack buffers holding parts of an operand are cleared before returning.
//
// The invalid state
// -----------------
// The heap may fail to supply storage, and a zero divisor has no quotient.
// Instead of an error code, such a magnitude turns invalid: its storage is
// cleared and freed, `words` becomes null, `length` 0 and `capacity`
// `InvalidCapacity` (the one state in which `words` is null with a non-zero
// capacity). Invalid is sticky and contagious:
//  - an invalid receiver ignores every store and stays invalid;
//  - an operation with an invalid operand makes its receiver invalid;
//  - reading operations (`word`, `compare`, `bitLength`, `testBit`, ...) see
//    an invalid magnitude as zero.
// So a result that is not the true value always says so through `isValid`.
// A loop on magnitudes that runs until a value reaches some bound must also
// stop when the value turns invalid; on BigInt values the comparison
// operators do this for it (see bigint.h).
// No magnitude grows beyond `MaxWords` words; asking for more makes it
// invalid, which keeps every bit count below 2^31 and every byte count of an
// allocation within 32 bits.
//
// Preconditions (not checked, as in the arithmetic of the C language):
// `subtract` needs this ≥ other; `multiplyTruncated` and `multiply` need a
// receiver distinct from both operands; `divide` needs four distinct
// magnitudes; `assign` needs a source other than this. `add`, `subtract`,
// `xorWith` and `andWith` accept this magnitude itself as the operand.
#pragma once

#include <stdint.h>

namespace zq {

struct Magnitude {
    uint32_t* words = nullptr;
    uint32_t capacity = 0;
    uint32_t length = 0;
    uint32_t shareCount = 0;

    // The largest number of words a magnitude may hold (just under 256 MiB),
    // so that bit counts stay below 2^31.
    static constexpr uint32_t MaxWords = 0x03FFFFFF;
    // The capacity that marks an invalid magnitude (its `words` is null).
    static constexpr uint32_t InvalidCapacity = 0xFFFFFFFF;

    // ---- Life and validity ----------------------------------------------

    // release sets all `capacity` words to 0 and frees them (nothing to free
    // without storage). It ends the magnitude's use; the record itself is the
    // owner's to free. An invalid magnitude has no storage left to clear.
    void release() noexcept;

    // isValid is 1 unless the magnitude is invalid (see the file comment).
    uint32_t isValid() const noexcept { return capacity != InvalidCapacity; }

    // invalidate clears and frees the storage and leaves the magnitude
    // invalid: null `words`, `length` 0, `capacity` InvalidCapacity.
    void invalidate() noexcept;

    // ---- Word and bit access --------------------------------------------

    // word is words[i] for `i` < `length`, else 0 (whatever the storage holds).
    uint32_t word(uint32_t i) const noexcept { return i < length ? words[i] : 0; }

    // lowWord is word(0).
    uint32_t lowWord() const noexcept { return word(0); }

    // isZero is 1 when `length` is 0 (also for an invalid magnitude).
    uint32_t isZero() const noexcept { return length == 0; }

    // clear makes the value zero: `length` ← 0; the storage is kept as it is,
    // not erased.
    void clear() noexcept { length = 0; }

    // reserve makes room for `n` words. Nothing happens if `n` ≤ `capacity`.
    // Otherwise exactly `n` words are allocated (no rounding up), the
    // `length` significant words copied over and the old array freed without
    // clearing. When the heap refuses, or `n` exceeds MaxWords, the magnitude
    // turns invalid.
    void reserve(uint32_t n) noexcept;

    // setWord stores `v` at index `i` and keeps the vector normalised.
    // - `i` < `length`: words[i] ← v; a 0 stored into the top word trims every
    //   leading zero word ([5, 0, 7] with its top set to 0 has length 1).
    // - `i` ≥ `length`, `v` = 0: nothing happens and nothing is allocated.
    // - `i` ≥ `length`, `v` ≠ 0: reserve(i + 1), words length … i − 1 ← 0,
    //   words[i] ← v, `length` ← i + 1.
    void setWord(uint32_t i, uint32_t v) noexcept {
        if (i < length) {
            words[i] = v;
            if (v == 0 && i + 1 == length) trimLength();
        } else if (v != 0) {
            growAndStore(i, v);
        }
    }

    // setSmall makes the value the word `v`: clear, then setWord(0, v). A `v`
    // of 0 leaves the magnitude empty and allocates nothing.
    void setSmall(uint32_t v) noexcept;

    // assign makes this a copy of `source` (a different magnitude): clear,
    // then setWord from the top word down, so the storage grows at most once,
    // to exactly the source's length.
    void assign(const Magnitude& source) noexcept;

    // testBit is bit (b mod 32) of word(b div 32), 1 or 0.
    uint32_t testBit(uint32_t b) const noexcept { return (word(b >> 5) >> (b & 31)) & 1; }

    // setBit sets bit `b`: setWord(b div 32, that word OR 2^(b mod 32)).
    void setBit(uint32_t b) noexcept;

    // clearBit clears bit `b`: setWord(b div 32, that word AND NOT 2^(b mod 32)).
    void clearBit(uint32_t b) noexcept;

    // bitLength is the number of significant bits: 0 for zero, 1 for 1, 32
    // for 0xFFFFFFFF, 33 for 2^32.
    uint32_t bitLength() const noexcept;

    // compare is −1, 0 or +1 as this is below, equal to or above `other`: the
    // longer magnitude is the greater, equal lengths are decided by the
    // highest word that differs.
    int32_t compare(const Magnitude& other) const noexcept;

    // ---- Shifts ---------------------------------------------------------

    // shiftLeft1 doubles the value in place ([0x80000000] becomes [0, 1]).
    void shiftLeft1() noexcept;

    // shiftRight1 halves the value in place and returns the bit shifted out
    // (0 for zero).
    uint32_t shiftRight1() noexcept;

    // shiftRight shifts the value right by `n` bits in place; `n` of
    // 32·length or more leaves zero. [5, 7] shifted by 32 is [7], by 1 is
    // [0x80000002, 3].
    void shiftRight(uint32_t n) noexcept;

    // ---- Addition, subtraction, bitwise ---------------------------------

    // add adds `other` into this (`other` may be this: doubling). The storage
    // grows once to the longer length, and once more for a final carry.
    void add(const Magnitude& other) noexcept;

    // subtract subtracts `other` from this, which must not be smaller (`other`
    // may be this: the result is 0). Words of `other` at and above this
    // length are not read, and a borrow out of the top is dropped.
    void subtract(const Magnitude& other) noexcept;

    // xorWith sets word i to word i XOR other's word i, for every i below the
    // longer length.
    void xorWith(const Magnitude& other) noexcept;

    // andWith is xorWith with AND.
    void andWith(const Magnitude& other) noexcept;

    // andParity is the parity of the number of 1 bits in the XOR over i of
    // (word i AND other's word i): 1 when a·b has an odd count of common bits.
    uint32_t andParity(const Magnitude& other) const noexcept;

    // ---- Multiplication and division ------------------------------------

    // multiplyTruncated stores (a·b) mod 2^t into this, which must differ from
    // `a` and `b` (`a` and `b` may be the same). It reserves exactly
    // n = ceil(t / 32) words and forms no word at or above word n: rows of
    // `a` from word n on and columns from n on are skipped. t = 0 gives zero.
    void multiplyTruncated(const Magnitude& a, const Magnitude& b, uint32_t t) noexcept;

    // addProduct adds a·x into this, for one word x; `a` must be a different
    // magnitude. The row a·x is formed as in multiplyTruncated (products of
    // 16-bit halves) and added into the words in the same pass. The storage
    // grows once to the longer length, and once more for a final carry word.
    void addProduct(const Magnitude& a, uint32_t x) noexcept;

    // subtractShortProduct subtracts a·x from this, for x < 2^16 and a·x not
    // above this; `a` must be a different magnitude. The row is formed from
    // the same products of 16-bit halves and subtracted in the same pass.
    void subtractShortProduct(const Magnitude& a, uint32_t x) noexcept;

    // multiply stores a·b into this: multiplyTruncated to bitLength(a) +
    // bitLength(b) bits, the exact size of the product. Same aliasing rule.
    void multiply(const Magnitude& a, const Magnitude& b) noexcept;

    // divide stores floor(dividend / divisor) into this and dividend −
    // quotient·divisor into `remainder`, by shift and subtract, one quotient
    // bit per step: the divisor is doubled until it is not below the
    // dividend, then halved back one bit at a time, subtracted wherever it
    // fits. The shifted divisor is formed word by word from the divisor as
    // it is needed (or, with 64 quotient bits or more, read from a table of
    // the divisor shifted by each of the 32 bit offsets, built once; without
    // heap for it the words are formed as needed), and the quotient bits are
    // set in place, so there are no working magnitudes to shift. The four
    // magnitudes must be distinct. A zero divisor (which has no quotient)
    // leaves both this and `remainder` invalid, as does an invalid operand.
    void divide(const Magnitude& dividend, const Magnitude& divisor, Magnitude& remainder) noexcept;

private:
    // trimLength lowers `length` past every zero word at the top.
    void trimLength() noexcept;
    // growAndStore is setWord's path for an index at or above `length`.
    void growAndStore(uint32_t i, uint32_t v) noexcept;
};

}  // namespace zq
