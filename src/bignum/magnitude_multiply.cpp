// File: magnitude_multiply.cpp
//
// Magnitude multiplication: schoolbook rows, each 32×32-bit word product
// built from four products of 16-bit halves. On x86 the terms of two words
// are formed side by side in SSE2 lanes (x86-64 always has SSE2; the i386
// library assumes it, as every x86 processor since the Pentium 4 and the
// Athlon 64 has it); elsewhere one word at a time in 32-bit words. See
// magnitude.h.
#include <string.h>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "bignum/magnitude.h"
#include "bignum/magnitude_words.h"

namespace zq {
namespace {

#if defined(__x86_64__) || defined(__i386__)
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

// ---- Rows with a short multiplier ------------------------------------------
// For x < 2^16 each word product x·y is x·yl + (x·yh)·2^16, two products of
// 16-bit halves, and the whole row x·y[0 … n) is the sum of two word vectors
// without carries between their words: A, the low 16 bits of every half
// product at the half's own place, and B, their high 16 bits one half
// higher. The row is then added or subtracted as two add-with-carry chains.

// shortRowHalves writes words j < m of A and B for the words y[0 … m) and
// returns the high 16 bits of the last half product, which begin the next
// word of B; `carried` is that of the words before.
inline uint32_t shortRowHalves(uint32_t* a, uint32_t* b, const uint32_t* y, uint32_t m, uint32_t x,
                               uint32_t carried) noexcept {
    uint32_t j = 0;
#if defined(__x86_64__) || defined(__i386__)
    // Four words, eight halves, at a time: the 16-bit lane products' low
    // halves are A's words as they stand, their high halves moved up one
    // lane are B's.
    const __m128i xv = _mm_set1_epi16(static_cast<int16_t>(x));
    for (; j + 4 <= m; j += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + j));
        const __m128i high = _mm_mulhi_epu16(v, xv);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(a + j), _mm_mullo_epi16(v, xv));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(b + j),
                         _mm_or_si128(_mm_slli_si128(high, 2), _mm_cvtsi32_si128(static_cast<int>(carried))));
        carried = static_cast<uint32_t>(_mm_extract_epi16(high, 7));
    }
#endif
    for (; j < m; ++j) {
        const uint32_t low = x * (y[j] & 0xFFFF);
        const uint32_t high = x * (y[j] >> 16);
        a[j] = (low & 0xFFFF) | (high << 16);
        b[j] = carried | (low & 0xFFFF0000u);
        carried = high >> 16;
    }
    return carried;
}

// shortRow adds (Borrow false) or subtracts (Borrow true) x·y[0 … n) into
// w[0 … n), x < 2^16, and returns what is still to be added or subtracted
// at word n: the top word of B and the two chains' carries, below 2^16 + 2.
template <bool Borrow>
uint32_t shortRow(uint32_t* w, const uint32_t* y, uint32_t n, uint32_t x) noexcept {
    constexpr uint32_t Piece = 64;
    uint32_t a[Piece];
    uint32_t b[Piece];
    uint32_t carried = 0;
    unsigned char carryA = 0;
    unsigned char carryB = 0;
    for (uint32_t start = 0; start < n; start += Piece) {
        const uint32_t m = n - start < Piece ? n - start : Piece;
        carried = shortRowHalves(a, b, y + start, m, x, carried);
        carryA = chainWords<Borrow>(w + start, w + start, a, m, carryA);
        carryB = chainWords<Borrow>(w + start, w + start, b, m, carryB);
    }
    const uint32_t used = n < Piece ? n : Piece;
    wipe(a, used);  // parts of the product: not left on the stack
    wipe(b, used);
    return carried + carryA + carryB;
}

}  // namespace

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
#if defined(__x86_64__) || defined(__i386__)
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
    uint32_t carry = x < 0x10000 ? shortRow<false>(words, a.words, a.length, x) : rowMulAdd(words, a.words, a.length, x);
    carry = rippleCarry(words, a.length, length, carry);
    // A carry out of the top is a new top word. Without one the top word is
    // non-zero: either this top word plus something that did not wrap, or
    // the low half of a's top word times x plus a carry, which is zero only
    // if both are (a's top word and x are not).
    if (carry != 0) growAndStore(length, carry);
}

void Magnitude::subtractShortProduct(const Magnitude& a, uint32_t x) noexcept {
    if (!isValid() || !a.isValid() || x == 0 || a.length == 0) return;
    uint32_t borrow = shortRow<true>(words, a.words, a.length, x);
    // a·x is not above this: the borrow stops within the words.
    for (uint32_t k = a.length; borrow != 0 && k < length; ++k) {
        const uint32_t old = words[k];
        words[k] = old - borrow;
        borrow = old < borrow;
    }
    trimLength();
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

}  // namespace zq
