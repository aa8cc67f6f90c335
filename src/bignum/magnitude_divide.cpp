// File: magnitude_divide.cpp
//
// Magnitude division by shift and subtract, one quotient bit per step. See
// magnitude.h.
#include <string.h>

#include "bignum/magnitude.h"
#include "bignum/magnitude_words.h"
#include "frame/private_heap.h"

namespace zq {

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
