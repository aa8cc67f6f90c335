// File: magnitude.cpp
//
// Unsigned multi-precision arithmetic on little-endian 32-bit word vectors:
// schoolbook multiplication row by row with word products from 16-bit halves,
// division by shift and subtract. See magnitude.h for the representation, the
// invalid state and each operation's contract.
#include "bignum/magnitude.h"

#include <immintrin.h>
#include <string.h>

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

// wipe sets `count` words to zero in a way the compiler keeps even though the
// storage is freed straight after.
void wipe(uint32_t* words, uint32_t count) noexcept {
    memset(words, 0, static_cast<size_t>(count) * 4);
    __asm__ __volatile__("" : : "r"(words) : "memory");
}


// chainWords sets r[i] = a[i] + b[i] (Borrow false) or a[i] − b[i] (Borrow
// true) with the carry or borrow `c` running from word 0 up, for i < n, and
// returns the carry or borrow out: 32-bit additions with explicit carries
// (add-with-carry). On x86-64 two adjacent words are taken as one
// little-endian 64-bit word, which gives the same words and carry in half
// the steps. `r` may be `a` or `b`: each step reads before it stores.
// addWords and subtractWords are its two forms.
template <bool Borrow>
unsigned char chainWords(uint32_t* r, const uint32_t* a, const uint32_t* b, uint32_t n, unsigned char c) noexcept {
    uint32_t i = 0;
#if defined(__x86_64__)
    // Eight words at a time as four 64-bit steps, written out in assembly so
    // that the carry stays in the flag from one step to the next and every
    // result goes straight to its place. Each step loads before it stores,
    // which is what lets `r` be `a` or `b`. "addb $0xff" turns c (0 or 1)
    // into the carry flag.
    for (; i + 8 <= n; i += 8) {
        uint64_t t;
        // One step: load two words of a, add or subtract those of b with the
        // flag, store; OFFSET is the byte offset of the pair.
#define ZQ_CHAIN_PAIR(OP, OFFSET) \
    "movq " OFFSET "(%[a]), %[t]\n\t" OP " " OFFSET "(%[b]), %[t]\n\tmovq %[t], " OFFSET "(%[r])\n\t"
#define ZQ_CHAIN_EIGHT(OP)                                                                                        \
    __asm__("addb $0xff, %[c]\n\t" ZQ_CHAIN_PAIR(OP, "0") ZQ_CHAIN_PAIR(OP, "8") ZQ_CHAIN_PAIR(OP, "16")       \
                ZQ_CHAIN_PAIR(OP, "24") "setc %[c]"                                                               \
            : [c] "+q"(c), [t] "=&r"(t)                                                                           \
            : [a] "r"(a + i), [b] "r"(b + i), [r] "r"(r + i)                                                      \
            : "cc", "memory")
        if constexpr (Borrow) ZQ_CHAIN_EIGHT("sbbq");
        else ZQ_CHAIN_EIGHT("adcq");
#undef ZQ_CHAIN_EIGHT
#undef ZQ_CHAIN_PAIR
    }
#endif
    for (; i < n; ++i) {
        if constexpr (Borrow) c = _subborrow_u32(c, a[i], b[i], r + i);
        else c = _addcarry_u32(c, a[i], b[i], r + i);
    }
    return c;
}

unsigned char addWords(uint32_t* r, const uint32_t* a, const uint32_t* b, uint32_t n,
                       unsigned char carry) noexcept {
    return chainWords<false>(r, a, b, n, carry);
}

unsigned char subtractWords(uint32_t* r, const uint32_t* a, const uint32_t* b, uint32_t n,
                            unsigned char borrow) noexcept {
    return chainWords<true>(r, a, b, n, borrow);
}

// rippleCarry adds `carry` into w[k], w[k + 1], … for as long as it carries
// and k < end, and returns what is left: `carry` itself when k ≥ end, else
// the carry out of word end − 1 (0 when the ripple stopped below it).
inline uint32_t rippleCarry(uint32_t* w, uint32_t k, uint32_t end, uint32_t carry) noexcept {
    for (; carry != 0 && k < end; ++k) {
        w[k] += carry;
        carry = w[k] < carry;
    }
    return carry;
}

#if defined(__x86_64__)
// wordTerm is w + x·y in 64 bits, x = xh·2^16 + xl.
//
// The word product is built from 16-bit halves, with y = yh·2^16 + yl:
// x·y = xl·yl + (xh·yl)·2^16 + (xl·yh)·2^16 + (xh·yh)·2^32, each partial
// product an exact 32-bit multiplication of two halves. The two middle
// products land at the same place, 2^16: their sum, below 2^33, is shifted
// once. The sum is taken in 64 bits: its low half is the new word, its high
// half collects every carry of the 32-bit additions (on a 32-bit target these
// are add-with-carry pairs).
// Bound: w + x·y ≤ (2^32 − 1) + (2^32 − 1)^2 = 2^64 − 2^32, so neither the
// total nor any partial sum of its non-negative terms wraps, and one more
// word (an incoming carry) still fits.
inline uint64_t wordTerm(uint32_t w, uint32_t y, uint32_t xl, uint32_t xh) noexcept {
    const uint32_t yl = y & 0xFFFF;
    const uint32_t yh = y >> 16;
    const uint64_t middle = static_cast<uint64_t>(xh * yl) + xl * yh;
    uint64_t sum = static_cast<uint64_t>(xl * yl) + w;
    sum += middle << 16;
    sum += static_cast<uint64_t>(xh * yh) << 32;
    return sum;
}

// With SSE2, which every x86-64 processor has, the terms w + x·y of two words
// are formed side by side in the two 64-bit lanes, each from the same four
// 32-bit multiplications of 16-bit halves as wordTerm (a lane multiplication
// of two values below 2^16), with the same bound.

// LaneHalves is two words of y split into 16-bit halves, one word to a lane.
struct LaneHalves {
    __m128i low;
    __m128i high;
};

inline LaneHalves splitPair(const uint32_t* y) noexcept {
    const __m128i yv = _mm_unpacklo_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(y)), _mm_setzero_si128());
    return {_mm_and_si128(yv, _mm_set1_epi64x(0xFFFF)), _mm_srli_epi64(yv, 16)};
}

// loadPair is two words, one to a lane.
inline __m128i loadPair(const uint32_t* w) noexcept {
    return _mm_unpacklo_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w)), _mm_setzero_si128());
}

// laneTerms is addend + x·y in each lane, x's halves broadcast in xl and xh.
inline __m128i laneTerms(const LaneHalves& y, __m128i xl, __m128i xh, __m128i addend) noexcept {
    const __m128i middle = _mm_add_epi64(_mm_mul_epu32(xh, y.low), _mm_mul_epu32(xl, y.high));
    __m128i t = _mm_add_epi64(_mm_mul_epu32(xl, y.low), addend);
    t = _mm_add_epi64(t, _mm_slli_epi64(middle, 16));
    return _mm_add_epi64(t, _mm_slli_epi64(_mm_mul_epu32(xh, y.high), 32));
}

// rowMulAdd adds x·y[0 … count) into w[0 … count) and returns the carry out
// of the last word (below 2^32: the row's sum is below 2^(32·count) times
// 2^32).
//
// Here no carry runs between the terms t_j = w[j] + x·y[j], so they need no
// order. The row is the sum of their low halves, at their places, and their
// high halves, one word up: the low half becomes w[j], the high half goes to
// a buffer, and one add-with-carry pass adds the buffer (led by the carry
// coming from the previous piece of the row) into the words.
inline uint32_t rowMulAdd(uint32_t* w, const uint32_t* y, uint32_t count, uint32_t x) noexcept {
    constexpr uint32_t Piece = 64;
    const uint32_t xl = x & 0xFFFF;
    const uint32_t xh = x >> 16;
    const __m128i lowHalf = _mm_set1_epi64x(xl);
    const __m128i highHalf = _mm_set1_epi64x(xh);
    uint32_t high[Piece + 1];
    uint32_t carry = 0;
    for (uint32_t start = 0; start < count; start += Piece) {
        const uint32_t m = count - start < Piece ? count - start : Piece;
        uint32_t* const ws = w + start;
        const uint32_t* const ys = y + start;
        high[0] = carry;
        uint32_t j = 0;
        for (; j + 2 <= m; j += 2) {
            const __m128i t = laneTerms(splitPair(ys + j), lowHalf, highHalf, loadPair(ws + j));
            // Dwords 0 and 2 are the low halves, 1 and 3 the high ones.
            _mm_storel_epi64(reinterpret_cast<__m128i*>(ws + j), _mm_shuffle_epi32(t, 0x08));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(high + 1 + j), _mm_shuffle_epi32(t, 0x0D));
        }
        if (j < m) {
            const uint64_t t = wordTerm(ws[j], ys[j], xl, xh);
            ws[j] = static_cast<uint32_t>(t);
            high[1 + j] = static_cast<uint32_t>(t >> 32);
        }
        // The carry into the word above the piece is below 2^32 (as for
        // the whole row), so the last high half plus the final carry of the
        // pass does not wrap.
        const unsigned char c = addWords(ws, ws, high, m, 0);
        carry = high[m] + c;
    }
    wipe(high, (count < Piece ? count : Piece) + 1);  // parts of the product: not left on the stack
    return carry;
}

// BlockWords is how many words of the multiplier addBlockProduct takes.
constexpr uint32_t BlockWords = 64;

// addBlockProduct adds a[0 … rows)·y[0 … count)·2^(32·offset) into
// w[0 … n), modulo 2^(32·n), for count ≤ BlockWords: the rows of a
// truncated product over one block of the multiplier's words, no word at or
// above n formed. y's halves are split once for all rows.
//
// The rows leave their high halves pending instead of carrying them: row i
// forms, for position j (column i + offset + j), t = w + pending[j] + x·y[j]
// ≤ 2·(2^32 − 1) + (2^32 − 1)^2 = 2^64 − 1, keeps its low half in w and
// leaves its high half in pending[j], owed to the next column, which row
// i + 1 reaches at the same position j. So the rows run without any carry
// chain, and what is still owed after the last row is added once at the end.
// Positions a row no longer reaches (columns from n on) are dropped with the
// truncation.
void addBlockProduct(uint32_t* w, uint32_t n, const uint32_t* a, uint32_t rows, const uint32_t* y, uint32_t count,
                     uint32_t offset) noexcept {
    LaneHalves halves[BlockWords / 2];
    alignas(16) uint64_t pending[BlockWords];
    for (uint32_t p = 0; p < count / 2; ++p) halves[p] = splitPair(y + 2 * p);
    memset(pending, 0, static_cast<size_t>(count) * 8);
    uint32_t i = 0;
    uint32_t reach = 0;  // positions the last row formed
    for (; i < rows && i + offset < n; ++i) {
        const uint32_t xl = a[i] & 0xFFFF;
        const uint32_t xh = a[i] >> 16;
        const __m128i lowHalf = _mm_set1_epi64x(xl);
        const __m128i highHalf = _mm_set1_epi64x(xh);
        uint32_t* const row = w + i + offset;
        reach = n - (i + offset) < count ? n - (i + offset) : count;
        const size_t pairs = reach / 2;
        __m128i* const owed = reinterpret_cast<__m128i*>(pending);
#pragma GCC unroll 4
        for (size_t p = 0; p < pairs; ++p) {
            const __m128i t =
                laneTerms(halves[p], lowHalf, highHalf, _mm_add_epi64(loadPair(row + 2 * p), _mm_load_si128(owed + p)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(row + 2 * p), _mm_shuffle_epi32(t, 0x08));  // low halves
            _mm_store_si128(owed + p, _mm_srli_epi64(t, 32));                                      // high halves
        }
        if ((reach & 1) != 0) {
            const uint32_t j = reach - 1;  // the odd last position
            const uint64_t t = wordTerm(row[j], y[j], xl, xh) + pending[j];
            row[j] = static_cast<uint32_t>(t);
            pending[j] = t >> 32;
        }
    }
    // After rows 0 … i − 1, pending[j] is owed to column i + offset + j.
    const uint32_t column = i + offset;
    const uint32_t owedWords = i == 0 || column >= n ? 0 : (n - column < reach ? n - column : reach);
    unsigned char carry = 0;
    for (uint32_t j = 0; j < owedWords; ++j) {
        carry = _addcarry_u32(carry, w[column + j], static_cast<uint32_t>(pending[j]), w + column + j);
    }
    rippleCarry(w, column + owedWords, n, carry);
    // The operand's halves and the pending parts of the product are not left
    // on the stack.
    wipe(reinterpret_cast<uint32_t*>(halves), count / 2 * 8);  // four words a pair
    wipe(reinterpret_cast<uint32_t*>(pending), count * 2);
}
#else
// rowMulAdd adds x·y[0 … count) into w[0 … count) and returns the carry out
// of the last word (below 2^32: the row's sum is below 2^(32·count) times
// 2^32).
//
// One word at a time, in 32-bit words as a 32-bit processor works. The word
// product is built from 16-bit halves, x = xh·2^16 + xl and y = yh·2^16 +
// yl: x·y = xl·yl + (xh·yl)·2^16 + (xl·yh)·2^16 + (xh·yh)·2^32, each partial
// product an exact 32-bit multiplication of two halves. The middle two are
// split into the half that lands in the low word (shifted left by 16) and
// the half that lands in the high word (shifted right by 16); each addition
// into the low word passes its carry into the high word, and the high word
// ends as the next carry. Bound: w + x·y + carry ≤ 2^64 − 1, so the high
// word never wraps.
inline uint32_t rowMulAdd(uint32_t* w, const uint32_t* y, uint32_t count, uint32_t x) noexcept {
    const uint32_t xl = x & 0xFFFF;
    const uint32_t xh = x >> 16;
    uint32_t carry = 0;
    for (uint32_t j = 0; j < count; ++j) {
        const uint32_t yl = y[j] & 0xFFFF;
        const uint32_t yh = y[j] >> 16;
        const uint32_t upper = xh * yl;
        const uint32_t lower = xl * yh;
        const uint32_t old = w[j];
        uint32_t low = xl * yl;
        uint32_t high = xh * yh;
        // Each sum below its addend has wrapped: its carry goes up.
        low += upper << 16;
        high += (upper >> 16) + (low < (upper << 16));
        low += lower << 16;
        high += (lower >> 16) + (low < (lower << 16));
        low += old;
        high += low < old;
        low += carry;
        high += low < carry;
        w[j] = low;
        carry = high;
    }
    return carry;
}
#endif

uint32_t larger(uint32_t a, uint32_t b) noexcept { return a > b ? a : b; }

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
        for (; i < addendLength; ++i) carry = _addcarry_u32(carry, addend[i], 0, words + i);
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

// ---- Multiplication -----------------------------------------------------------

void Magnitude::multiplyTruncated(const Magnitude& a, const Magnitude& b, uint32_t t) noexcept {
    if (!a.isValid() || !b.isValid()) {
        invalidate();
        return;
    }
    const uint32_t n = (t >> 5) + ((t & 31) != 0);  // ceil(t / 32) without wrapping
    reserve(n);
    if (!isValid()) return;
    if (n == 0) {
        length = 0;
        return;
    }
    memset(words, 0, static_cast<size_t>(n) * 4);

    // Row i adds (a's word i)·b, shifted by i words, into the result; only
    // words below n are formed: rows from n on and columns from n on are
    // skipped, so a product truncated to k bits costs about half a full one.
    // Zero words at the bottom of b add nothing to any row (a radix 2^k is
    // all zero words but its top one): each row starts at b's first non-zero
    // word, `skip` words further up.
    uint32_t skip = 0;
    while (skip < b.length && b.words[skip] == 0) ++skip;
    const uint32_t rows = a.length < n ? a.length : n;
#if defined(__x86_64__)
    // The multiplier a block of words at a time; the blocks' products add up.
    for (uint32_t start = skip; start < b.length; start += BlockWords) {
        const uint32_t count = b.length - start < BlockWords ? b.length - start : BlockWords;
        addBlockProduct(words, n, a.words, rows, b.words + start, count, start);
    }
#else
    for (uint32_t i = 0; i < rows; ++i) {
        const uint32_t x = a.words[i];
        if (x == 0) continue;  // the row adds nothing
        if (i + skip >= n) break;  // nor does any row from here on
        const uint32_t k = i + b.length < n ? i + b.length : n;
        const uint32_t carry = rowMulAdd(words + i + skip, b.words + skip, k - i - skip, x);
        // Ripple the carry through the words above the row, while they are
        // kept; a carry out of word n − 1 is dropped with the truncation.
        rippleCarry(words, k, n, carry);
    }
#endif

    if ((t & 31) != 0) words[n - 1] &= (1u << (t & 31)) - 1;
    length = n;
    trimLength();
}

void Magnitude::addProduct(const Magnitude& a, uint32_t x) noexcept {
    if (!a.isValid()) {
        invalidate();
        return;
    }
    if (!isValid() || x == 0 || a.length == 0) return;
    reserve(larger(length, a.length));
    if (!isValid()) return;
    if (a.length > length) {
        memset(words + length, 0, static_cast<size_t>(a.length - length) * 4);
        length = a.length;
    }
    uint32_t carry = rowMulAdd(words, a.words, a.length, x);
    carry = rippleCarry(words, a.length, length, carry);
    // A carry out of the top is a new top word. Without one the top word is
    // non-zero: either this top word plus something that did not wrap, or
    // the low half of a's top word times x plus a carry, which is zero only
    // if both are (a's top word and x are not).
    if (carry != 0) growAndStore(length, carry);
}

void Magnitude::multiply(const Magnitude& a, const Magnitude& b) noexcept {
    // A zero product needs no words: nothing is reserved for it. Otherwise
    // the product has at most bitLength(a) + bitLength(b) bits (each below
    // 2^31, so the sum does not wrap) and nothing is cut.
    if (a.isValid() && b.isValid() && (a.isZero() || b.isZero())) {
        clear();
        return;
    }
    multiplyTruncated(a, b, a.bitLength() + b.bitLength());
}

// ---- Division -----------------------------------------------------------------
// The shift-and-subtract division works with D = divisor·2^s and B = 2^s for
// a falling s. Neither is built: a word of D is formed from two neighbouring
// words of the divisor as it is needed, and adding B into the quotient, which
// never carries (each B is below every one added before), is setting bit s.

namespace {

// shiftedWord is word j of (d[0 … n) shifted left by r bits), 0 ≤ r < 32,
// 0 ≤ j ≤ n. The lower neighbour is shifted in two steps, by 1 and 31 − r,
// so that r = 0 needs no shift by 32 and brings in nothing.
inline uint32_t shiftedWord(const uint32_t* d, uint32_t n, uint32_t j, uint32_t r) noexcept {
    const uint32_t high = j < n ? d[j] << r : 0;
    const uint32_t low = j > 0 ? (d[j - 1] >> 1) >> (31 - r) : 0;
    return high | low;
}

// ShiftTable holds the divisor shifted left by each r from 0 to 31, `stride`
// = n + 1 words a row (the top word of row 0 is 0). A division with many
// quotient bits builds it once, so that each step reads its shifted divisor
// instead of forming it. The rows are made from the divisor, so they are
// cleared before the storage is freed. Without storage (the heap refused, or
// the table would be too large) the steps form their words themselves.
struct ShiftTable {
    uint32_t* rows = nullptr;
    uint32_t stride = 0;

    void build(const Magnitude& divisor) noexcept {
        const uint32_t n = divisor.length;
        if (n >= (0xFFFFFFFFu >> 7) - 1) return;  // 32 rows of n + 1 words, in bytes, must fit 32 bits
        stride = n + 1;
        rows = static_cast<uint32_t*>(PrivateHeap::allocate(32 * stride * 4));
        if (rows == nullptr) return;
        for (uint32_t r = 0; r < 32; ++r) {
            uint32_t* const row = rows + r * stride;
            for (uint32_t j = 0; j <= n; ++j) row[j] = shiftedWord(divisor.words, n, j, r);
        }
    }

    void dispose() noexcept {
        if (rows == nullptr) return;
        wipe(rows, 32 * stride);
        PrivateHeap::release(rows);
        rows = nullptr;
    }
};

// ShiftedDivisor describes divisor·2^s: q = s div 32 whole words of zeros,
// then the divisor shifted left by r = s mod 32 bits, `count` significant
// words of it, read from the table's row r when there is a table.
struct ShiftedDivisor {
    const uint32_t* d;
    uint32_t n;  // the divisor's length
    uint32_t q;
    uint32_t r;
    const uint32_t* row;
    uint32_t count;

    ShiftedDivisor(const Magnitude& divisor, uint32_t s, const ShiftTable& table) noexcept
        : d(divisor.words), n(divisor.length), q(s >> 5), r(s & 31),
          row(table.rows != nullptr ? table.rows + r * table.stride : nullptr) {
        count = n + (word(n) != 0);
    }
    uint32_t word(uint32_t j) const noexcept { return row != nullptr ? row[j] : shiftedWord(d, n, j, r); }
};

// compareShifted is the three-way comparison of the normalised `x` with
// divisor·2^s, read word by word from the top as Magnitude::compare reads.
inline int32_t compareShifted(const Magnitude& x, const ShiftedDivisor& shifted) noexcept {
    const uint32_t length = shifted.q + shifted.count;
    if (x.length != length) return x.length > length ? 1 : -1;
    for (uint32_t j = shifted.count; j-- > 0;) {
        const uint32_t w = shifted.word(j);
        const uint32_t v = x.words[shifted.q + j];
        if (v != w) return v > w ? 1 : -1;
    }
    // The shifted divisor's low q words are zero.
    for (uint32_t i = shifted.q; i-- > 0;) {
        if (x.words[i] != 0) return 1;
    }
    return 0;
}

// fillShifted sets piece[0 … m) to the words start … start + m − 1 of the
// divisor shifted left by r, 1 ≤ r < 32 (so 32 − r is a valid shift), with
// the two ends, where one neighbour is missing, taken out of the loop.
void fillShifted(uint32_t* __restrict piece, const ShiftedDivisor& shifted, uint32_t start, uint32_t m) noexcept {
    const uint32_t* __restrict const d = shifted.d;
    const uint32_t n = shifted.n;
    const uint32_t r = shifted.r;
    uint32_t i = start;
    const uint32_t end = start + m;
    if (i == 0) piece[i++ - start] = d[0] << r;
    const uint32_t inner = end < n ? end : n;
    if (i < inner) {
        // Pointer and size_t indexing lets the compiler vectorise the loop.
        const uint32_t* const source = d + i;
        const uint32_t* const below = d + i - 1;  // i ≥ 1 here
        uint32_t* const target = piece + (i - start);
        const size_t count = inner - i;
        for (size_t j = 0; j < count; ++j) target[j] = (source[j] << r) | (below[j] >> (32 - r));
        i = inner;
    }
    if (i < end) piece[i - start] = d[n - 1] >> (32 - r);  // i = n, the top word
}

// subtractShifted subtracts divisor·2^s from `x`, which is not smaller: the
// low q words are unchanged, the shifted divisor's words are subtracted from
// word q up, and the borrow runs on (it cannot leave the top, x ≥ D). The
// caller trims the emptied words at the top.
void subtractShifted(Magnitude& x, const ShiftedDivisor& shifted) noexcept {
    uint32_t* const w = x.words + shifted.q;
    unsigned char borrow = 0;
    if (shifted.r == 0) {
        borrow = subtractWords(w, w, shifted.d, shifted.count, 0);
    } else if (shifted.row != nullptr) {
        borrow = subtractWords(w, w, shifted.row, shifted.count, 0);
    } else {
        // The shifted words are formed a piece at a time into a small buffer
        // and subtracted from there, so that the subtraction runs as one
        // unbroken add-with-carry chain.
        uint32_t piece[64];
        for (uint32_t start = 0; start < shifted.count; start += 64) {
            const uint32_t m = shifted.count - start < 64 ? shifted.count - start : 64;
            fillShifted(piece, shifted, start, m);
            borrow = subtractWords(w + start, w + start, piece, m, borrow);
        }
        wipe(piece, shifted.count < 64 ? shifted.count : 64);  // the divisor's words: not left on the stack
    }
    for (uint32_t i = shifted.q + shifted.count; borrow != 0 && i < x.length; ++i) borrow = x.words[i]-- == 0;
}

}  // namespace

void Magnitude::divide(const Magnitude& dividend, const Magnitude& divisor, Magnitude& remainder) noexcept {
    Magnitude& quotient = *this;
    // A zero divisor has no quotient, and with it the loops below would not end.
    if (!dividend.isValid() || !divisor.isValid() || divisor.isZero()) {
        quotient.invalidate();
        remainder.invalidate();
        return;
    }
    quotient.setSmall(0);
    remainder.assign(dividend);
    if (!quotient.isValid() || !remainder.isValid()) {
        quotient.invalidate();
        remainder.invalidate();
        return;
    }
    const uint32_t divisorBits = divisor.bitLength();

    // Alignment: the least s with D = divisor·2^s ≥ remainder. While D has
    // fewer bits than the remainder it is below it, so every doubling up to
    // s0 = bits(remainder) − bits(divisor) is certain; one comparison at s0
    // decides whether one more is needed (D then has more bits than the
    // remainder).
    uint32_t bits = remainder.bitLength();
    uint32_t s = bits > divisorBits ? bits - divisorBits : 0;
    ShiftTable table;
    if (compareShifted(remainder, ShiftedDivisor(divisor, s, table)) > 0) ++s;
    // With some 64 quotient bits or more, about half of them subtractions,
    // the table costs less than forming the shifted words at every step.
    if (s >= 64) table.build(divisor);

    // One quotient bit per step, while remainder ≥ divisor: halve D while it
    // is above the remainder, then subtract it and add B. D is above the
    // remainder for every s with bits(divisor) + s > bits(remainder), so
    // those halvings need no comparison; at s = bits(remainder) −
    // bits(divisor) one comparison decides, and below it D has fewer bits than
    // the remainder. D never falls below the divisor, since remainder ≥
    // divisor = divisor·2^0.
    for (;;) {
        bits = remainder.bitLength();
        if (bits < divisorBits || (bits == divisorBits && remainder.compare(divisor) < 0)) break;
        if (s > bits - divisorBits) s = bits - divisorBits;
        ShiftedDivisor shifted(divisor, s, table);
        if (compareShifted(remainder, shifted) < 0) shifted = ShiftedDivisor(divisor, --s, table);
        subtractShifted(remainder, shifted);
        remainder.trimLength();
        // The first B is the largest: its addition gives the quotient its
        // one growth, to exactly the words of B; the later ones land below.
        if (quotient.isZero()) {
            quotient.reserve((s >> 5) + 1);
            if (!quotient.isValid()) {
                remainder.invalidate();
                table.dispose();
                return;
            }
            memset(quotient.words, 0, static_cast<size_t>((s >> 5) + 1) * 4);
            quotient.length = (s >> 5) + 1;
        }
        quotient.words[s >> 5] |= 1u << (s & 31);
    }
    table.dispose();
}

}  // namespace zq
