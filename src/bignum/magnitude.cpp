// File: magnitude.cpp
//
// Unsigned multi-precision arithmetic on little-endian 32-bit word vectors:
// storage, bits, comparison, shifts, addition, subtraction and the bitwise
// operations. Multiplication is in magnitude_multiply.cpp, division in
// magnitude_divide.cpp, the word loops they share in magnitude_words.h. See
// magnitude.h for the representation, the invalid state and each
// operation's contract.
#include "bignum/magnitude.h"

#include <string.h>

#include "bignum/magnitude_words.h"
#include "frame/private_heap.h"

namespace zq {
namespace {

// BitLengths.entry[v] is the number of significant bits of the byte v.
struct BitLengthTable {
    uint8_t entry[256];
};

constexpr BitLengthTable makeBitLengths() {
    BitLengthTable table{};
    for (uint32_t v = 1; v < 256; ++v) table.entry[v] = static_cast<uint8_t>(table.entry[v >> 1] + 1);
    return table;
}

constexpr BitLengthTable BitLengths = makeBitLengths();
static_assert(BitLengths.entry[0] == 0 && BitLengths.entry[1] == 1 && BitLengths.entry[3] == 2 &&
              BitLengths.entry[4] == 3 && BitLengths.entry[127] == 7 && BitLengths.entry[128] == 8 &&
              BitLengths.entry[255] == 8);

// combineWords sets word i of `m` to combine(word i, other's word i) for every
// i below the longer length, after one reservation of that length. `other`
// may be `m`: each step reads both words before it stores.
template <typename Combine>
void combineWords(Magnitude& m, const Magnitude& other, Combine combine) noexcept {
    if (!other.isValid()) {
        m.invalidate();
        return;
    }
    const uint32_t n = larger(m.length, other.length);
    m.reserve(n);
    for (uint32_t i = 0; i < n; ++i) m.setWord(i, combine(m.word(i), other.word(i)));
}

}  // namespace

// ---- Life and validity --------------------------------------------------------

void Magnitude::release() noexcept {
    if (words != nullptr) {
        // reserve never grants more than MaxWords; said here, it keeps the
        // optimiser from seeing a clear of up to 16 GiB across the files.
        if (capacity > MaxWords) __builtin_unreachable();
        wipe(words, capacity);
        PrivateHeap::release(words);
    }
    // The record is left empty (and all zero when shareCount is), so a
    // released magnitude reads as zero and a second release does nothing.
    words = nullptr;
    capacity = 0;
    length = 0;
}

void Magnitude::invalidate() noexcept {
    release();
    capacity = InvalidCapacity;
}

// ---- Storage ------------------------------------------------------------------

void Magnitude::reserve(uint32_t n) noexcept {
    if (n <= capacity) return;  // also every request of an invalid magnitude
    if (n > MaxWords) {
        invalidate();
        return;
    }
    auto* grown = static_cast<uint32_t*>(PrivateHeap::allocate(n * 4));
    if (grown == nullptr) {
        invalidate();
        return;
    }
    if (length != 0) memcpy(grown, words, static_cast<size_t>(length) * 4);
    PrivateHeap::release(words);  // replaced because it grew: freed as it is
    words = grown;
    capacity = n;
}

void Magnitude::trimLength() noexcept {
    while (length > 0 && words[length - 1] == 0) --length;
}

void Magnitude::growAndStore(uint32_t i, uint32_t v) noexcept {
    if (i >= MaxWords) {
        invalidate();
        return;
    }
    reserve(i + 1);
    if (words == nullptr) return;  // invalid: the store is dropped
    if (i > length) memset(words + length, 0, static_cast<size_t>(i - length) * 4);
    words[i] = v;
    length = i + 1;
}

void Magnitude::setSmall(uint32_t v) noexcept {
    clear();
    setWord(0, v);
}

void Magnitude::assign(const Magnitude& source) noexcept {
    if (!source.isValid()) {
        invalidate();
        return;
    }
    // The same words as storing from the top down with setWord: one growth
    // to exactly the source's length, and the source is normalised already.
    clear();
    reserve(source.length);
    if (!isValid() || source.length == 0) return;
    memcpy(words, source.words, static_cast<size_t>(source.length) * 4);
    length = source.length;
}

// ---- Bits and comparison ------------------------------------------------------

void Magnitude::setBit(uint32_t b) noexcept { setWord(b >> 5, word(b >> 5) | (1u << (b & 31))); }

void Magnitude::clearBit(uint32_t b) noexcept { setWord(b >> 5, word(b >> 5) & ~(1u << (b & 31))); }

uint32_t Magnitude::bitLength() const noexcept {
    if (length == 0) return 0;
    uint32_t top = words[length - 1];
    uint32_t bits = 32 * (length - 1);
    if (top >= 0x10000) {
        bits += 16;
        top >>= 16;
    }
    if (top >= 0x100) {
        bits += 8;
        top >>= 8;
    }
    return bits + BitLengths.entry[top];
}

int32_t Magnitude::compare(const Magnitude& other) const noexcept {
    if (length != other.length) return length > other.length ? 1 : -1;
    for (uint32_t i = length; i-- > 0;) {
        if (words[i] != other.words[i]) return words[i] > other.words[i] ? 1 : -1;
    }
    return 0;
}

// ---- Shifts -------------------------------------------------------------------
// The shifts, the addition and the subtraction run over the words directly
// and keep the result normalised the way setWord would: they store the same
// words, trim the same zero words at the top and grow the storage at the same
// moment by the same amount, without a store-by-store bounds check.

void Magnitude::shiftLeft1() noexcept {
    const uint32_t n = length;
    if (n == 0) return;
    if ((words[n - 1] >> 31) != 0) {
        // The carry out of the top becomes a new top word of 1: the storage
        // grows to exactly n + 1 words. Below it, the old top word may shift
        // to 0 (it was 0x80000000), which is then no longer the top.
        growAndStore(n, 1);
        if (!isValid()) return;
    }
    for (uint32_t i = n - 1; i > 0; --i) words[i] = (words[i] << 1) | (words[i - 1] >> 31);
    words[0] <<= 1;
}

uint32_t Magnitude::shiftRight1() noexcept {
    const uint32_t n = length;
    if (n == 0) return 0;
    const uint32_t out = words[0] & 1;
    // Ascending: each step reads the word above before that word is shifted.
    for (uint32_t i = 0; i + 1 < n; ++i) words[i] = (words[i] >> 1) | (words[i + 1] << 31);
    words[n - 1] >>= 1;
    // Only a top word of 1 empties, and its bit has just become the top bit
    // of the word below, so exactly one word goes.
    if (words[n - 1] == 0) --length;
    return out;
}

void Magnitude::shiftRight(uint32_t n) noexcept {
    const uint32_t q = n >> 5;
    const uint32_t r = n & 31;
    if (q >= length) {
        length = 0;  // every significant word shifted out
        return;
    }
    const uint32_t kept = length - q;
    if (r == 0) {
        // Whole words only: no neighbour is merged, so no shift by 32 occurs.
        memmove(words, words + q, static_cast<size_t>(kept) * 4);
    } else {
        // Each step reads only words at or above the one it writes.
        for (uint32_t i = 0; i + 1 < kept; ++i) words[i] = (words[i + q] >> r) | (words[i + q + 1] << (32 - r));
        words[kept - 1] = words[length - 1] >> r;
    }
    length = kept;
    trimLength();  // at most the top word can have emptied
}

// ---- Addition, subtraction, bitwise -----------------------------------------

void Magnitude::add(const Magnitude& other) noexcept {
    if (!other.isValid()) {
        invalidate();
        return;
    }
    reserve(larger(length, other.length));  // a no-op when other is this
    if (!isValid()) return;
    const uint32_t* const addend = other.words;
    const uint32_t addendLength = other.length;
    const uint32_t common = length < addendLength ? length : addendLength;
    // Both words are read before the store, so other may be this.
    unsigned char carry = addWords(words, words, addend, common, 0);
    uint32_t i = common;
    if (addendLength > length) {
        for (; i < addendLength; ++i) carry = addCarry(carry, addend[i], 0, words + i);
        length = addendLength;
    } else {
        carry = static_cast<unsigned char>(rippleCarry(words, i, length, carry));
    }
    // A final carry is a new top word, one more growth of the storage. Without
    // it the top word is the old top word plus something that did not wrap:
    // non-zero, so the result is normalised.
    if (carry != 0) growAndStore(length, 1);
}

void Magnitude::subtract(const Magnitude& other) noexcept {
    if (!other.isValid()) {
        invalidate();
        return;
    }
    // Other's words at index `length` and above are not read, and the borrow
    // out of the top is dropped: both are zero when this ≥ other.
    const uint32_t* const subtrahend = other.words;
    const uint32_t common = length < other.length ? length : other.length;
    unsigned char borrow = subtractWords(words, words, subtrahend, common, 0);
    uint32_t i = common;
    for (; borrow != 0 && i < length; ++i) borrow = words[i]-- == 0;
    trimLength();  // the words emptied at the top, as the stores of 0 would trim
}

void Magnitude::xorWith(const Magnitude& other) noexcept {
    combineWords(*this, other, [](uint32_t a, uint32_t b) { return a ^ b; });
}

void Magnitude::andWith(const Magnitude& other) noexcept {
    combineWords(*this, other, [](uint32_t a, uint32_t b) { return a & b; });
}

uint32_t Magnitude::andParity(const Magnitude& other) const noexcept {
    const uint32_t m = larger(length, other.length);
    uint32_t x = 0;
    for (uint32_t i = 0; i < m; ++i) x ^= word(i) & other.word(i);
    // Fold the 32 bits to 4, then look the parity up in the 16-bit constant
    // whose bit v is the parity of v.
    x ^= x >> 16;
    x ^= x >> 8;
    x ^= x >> 4;
    return (0x6996u >> (x & 15)) & 1;
}

}  // namespace zq
