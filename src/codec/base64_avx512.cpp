// File: base64_avx512.cpp
//
// RFC 4648 §4 base64 on 64-byte vectors with byte permutes (AVX-512 VBMI):
// one register holds a whole line, 48 bytes and their 64 characters. The
// encoder spreads the bytes over the groups' words with one byte permute
// (VPERMB), cuts the 6-bit indices out with one VPMULTISHIFTQB and looks
// them up in the 64-character alphabet with another VPERMB, which reads
// only the low six bits of each index. The decoder maps the 128 ASCII codes
// to digit values with one two-table permute (VPERMI2B), which also marks
// the non-digits, packs the groups with two multiply-adds and gathers the
// 48 bytes with a VPERMB. See base64_simd.h.
//
// The kernels keep their tables in registers and spill no vector, also in
// the i386 builds with their eight vector registers (see Batch below).
#include <immintrin.h>
#include <string.h>

#include "codec/base64.h"
#include "codec/base64_layout.h"
#include "codec/base64_simd.h"

#define ZQ_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi")))

// GCC 12's unmasked byte permutes pass an "undefined" register as the
// ignored merge source, which it then reports as maybe used uninitialized.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace zq {
namespace {

// Bytes in and out of one line: the low 48 of a register.
constexpr __mmask64 LineBytes = (__mmask64{1} << 48) - 1;

// The shuffle that spreads group g (input bytes 3g, 3g+1, 3g+2 = b0, b1, b2)
// over 32-bit word g as b1, b0, b2, b1, lowest byte first: its low half is
// b0·256 + b1 (first index in bits 10-15, second in bits 4-9), its high
// half b1·256 + b2 (third index in bits 22-27, fourth in bits 16-21).
alignas(64) constexpr uint8_t SpreadGroups[64] = {
    1,  0,  2,  1,  4,  3,  5,  4,  7,  6,  8,  7,  10, 9,  11, 10,
    13, 12, 14, 13, 16, 15, 17, 16, 19, 18, 20, 19, 22, 21, 23, 22,
    25, 24, 26, 25, 28, 27, 29, 28, 31, 30, 32, 31, 34, 33, 35, 34,
    37, 36, 38, 37, 40, 39, 41, 40, 43, 42, 44, 43, 46, 45, 47, 46,
};

// The bit offsets, within each 64-bit word (two groups), of the four indices
// of each group in output order, for VPMULTISHIFTQB. Each result byte holds
// its index in bits 0-5 and two bits of its neighbour above, which the
// alphabet lookup ignores.
constexpr uint64_t IndexOffsets = 0x3036242A1016040A;  // 10, 4, 22, 16, then each + 32

// The value of each ASCII code that is a digit, and 0x80 for every other
// code, in the 128 bytes VPERMI2B reads (the low 64 in one register, the
// high 64 in the other).
struct ValueTable {
    alignas(64) uint8_t bytes[128];
};
constexpr ValueTable makeValueTable() {
    ValueTable table{};
    for (uint32_t c = 0; c < 128; ++c) table.bytes[c] = 0x80;
    for (uint32_t v = 0; v < 64; ++v) table.bytes[static_cast<uint8_t>(Base64Alphabet[v])] = static_cast<uint8_t>(v);
    return table;
}
constexpr ValueTable DigitValues = makeValueTable();

// After the values of group g are packed into 32-bit word g (bits 0-23, the
// first output byte in bits 16-23), bytes 2, 1, 0 of each word in output
// order; the last 16 entries are never stored.
alignas(64) constexpr uint8_t GatherBytes[64] = {
    2,  1,  0,  6,  5,  4,  10, 9,  8,  14, 13, 12, 18, 17, 16, 22,
    21, 20, 26, 25, 24, 30, 29, 28, 34, 33, 32, 38, 37, 36, 42, 41,
    40, 46, 45, 44, 50, 49, 48, 54, 53, 52, 58, 57, 56, 62, 61, 60,
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
};

ZQ_AVX512 inline __m512i load64(const void* bytes) noexcept { return _mm512_loadu_si512(bytes); }

// Decoder: the values of the 64 characters at `in`, with bit 7 set in
// `marks` for each that is not a digit: bit 7 of its value for a non-digit
// below 0x80, bit 7 of the character itself for the bytes from 0x80 on
// (whose low seven bits chose a value).
ZQ_AVX512 inline __m512i lookUp(const uint8_t* in, __m512i valuesLow, __m512i valuesHigh, __m512i& marks) noexcept {
    const __m512i chars = _mm512_loadu_si512(in);
    const __m512i values = _mm512_permutex2var_epi8(valuesLow, chars, valuesHigh);
    marks = _mm512_ternarylogic_epi32(marks, values, chars, 0xFE);  // marks | values | chars
    return values;
}

ZQ_AVX512 inline bool clean(__m512i marks) noexcept {
    const __mmask64 bad = _mm512_movepi8_mask(marks);
    return _kortestz_mask64_u8(bad, bad) != 0;
}

// Decoder: packs the 16 groups' values into their 48 bytes at `out`.
ZQ_AVX512 inline void pack(__m512i values, __m512i gather, uint8_t* out) noexcept {
    const __m512i pairs = _mm512_maddubs_epi16(values, _mm512_set1_epi32(0x01400140));
    const __m512i groups = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00011000));
    _mm512_mask_storeu_epi8(out, LineBytes, _mm512_permutexvar_epi8(gather, groups));
}

// Decoder: runs taken at once where the text has the encoder's layout,
// which saves the look at the blanks behind each run and all but one test.
// Four lines' values fit the 32 vector registers of x86-64 beside the
// tables; the eight of i386 hold the tables and one line, so it takes the
// lines one by one.
#if defined(__x86_64__)
constexpr uint32_t Batch = 4;
#else
constexpr uint32_t Batch = 1;
#endif

// Decoder: whether each of the Batch lines at `in` ends in CR LF, as the
// encoder writes them (Batch·66 bytes are read).
inline bool encoderLines(const uint8_t* in) noexcept {
    const uint16_t crlf = '\r' | '\n' << 8;
    uint32_t differ = 0;
    for (uint32_t i = 0; i < Batch; ++i) {
        uint16_t lineEnd;
        memcpy(&lineEnd, in + i * Base64TextPerLine + 64, 2);
        differ |= lineEnd ^ crlf;
    }
    return differ == 0;
}

}  // namespace

ZQ_AVX512 void base64EncodeLinesAvx512(const uint8_t* input, uint32_t lines, uint8_t* text) noexcept {
    const __m512i spread = load64(SpreadGroups);
    const __m512i offsets = _mm512_set1_epi64(static_cast<long long>(IndexOffsets));
    const __m512i alphabet = load64(Base64Alphabet);
    for (; lines != 0; --lines) {
        // Only the line's 48 bytes are read: the masked load touches nothing
        // past them, even at the end of the input.
        const __m512i bytes = _mm512_maskz_loadu_epi8(LineBytes, input);
        const __m512i words = _mm512_permutexvar_epi8(spread, bytes);
        const __m512i indices = _mm512_multishift_epi64_epi8(offsets, words);
        _mm512_storeu_si512(text, _mm512_permutexvar_epi8(indices, alphabet));
        text[64] = '\r';
        text[65] = '\n';
        input += Base64InputPerLine;
        text += Base64TextPerLine;
    }
}

ZQ_AVX512 void base64DecodeRunsAvx512(Base64DecodeCursor& cursor) noexcept {
    const uint8_t* const text = cursor.text;
    const uint32_t end = cursor.end;
    uint32_t position = cursor.position;
    uint8_t* out = cursor.out + cursor.count;

    const __m512i valuesLow = load64(DigitValues.bytes);
    const __m512i valuesHigh = load64(DigitValues.bytes + 64);
    const __m512i gather = load64(GatherBytes);
    // Room for the 48 bytes of a run: as in base64_ssse3.cpp.
    while (end - position >= 64) {
        const uint32_t batch = Batch * Base64TextPerLine;
        while (Batch > 1 && end - position >= batch && encoderLines(text + position)) {
            const uint8_t* in = text + position;
            __m512i values[Batch];
            __m512i marks = _mm512_setzero_si512();
            for (uint32_t i = 0; i < Batch; ++i) {
                values[i] = lookUp(in + i * Base64TextPerLine, valuesLow, valuesHigh, marks);
            }
            if (!clean(marks)) break;
            for (uint32_t i = 0; i < Batch; ++i) pack(values[i], gather, out + i * 48);
            out += Batch * 48;
            position = base64SkipBlanks(text, end, position + batch);
        }
        if (end - position < 64) break;

        __m512i marks = _mm512_setzero_si512();
        const __m512i values = lookUp(text + position, valuesLow, valuesHigh, marks);
        if (!clean(marks)) break;
        pack(values, gather, out);
        out += 48;
        position = base64SkipBlanks(text, end, position + 64);
    }

    cursor.count = static_cast<uint32_t>(out - cursor.out);
    cursor.position = position;
}

}  // namespace zq
