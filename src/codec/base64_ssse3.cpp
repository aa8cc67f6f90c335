// File: base64_ssse3.cpp
//
// RFC 4648 §4 base64 on 16-byte vectors (SSSE3): 12 bytes become 16
// characters and back in a handful of instructions, four times per line.
// See base64_simd.h; the tables are explained in base64_simd_tables.h.
#include <immintrin.h>
#include <string.h>

#include "codec/base64_layout.h"
#include "codec/base64_simd.h"
#include "codec/base64_simd_tables.h"

#define ZQ_SSSE3 __attribute__((target("ssse3")))

namespace zq {
namespace {

using namespace base64_simd;

ZQ_SSSE3 inline __m128i table(const void* bytes) noexcept {
    return _mm_load_si128(static_cast<const __m128i*>(bytes));
}

// encode12 turns the 12 bytes picked by `spread` from the 16 at `in` into 16
// characters.
ZQ_SSSE3 inline __m128i encode12(const uint8_t* in, __m128i spread) noexcept {
    const __m128i words = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), spread);

    // Each 16-bit half moves its two indices to bits 0-5 and 8-13: a high
    // multiply by 2^6 or 2^10 shifts right by 10 or 6, a low multiply by 2^4
    // or 2^8 shifts left by 4 or 8.
    const __m128i first = _mm_mulhi_epu16(_mm_and_si128(words, _mm_set1_epi32(0x0FC0FC00)),
                                          _mm_set1_epi32(0x04000040));
    const __m128i second = _mm_mullo_epi16(_mm_and_si128(words, _mm_set1_epi32(0x003F03F0)),
                                           _mm_set1_epi32(0x01000010));
    const __m128i indices = _mm_or_si128(first, second);

    // Class of each index (see DigitOffsets): 52-63 saturate to 1-12 after
    // subtracting 51, the rest to 0, and 0-25 are then marked 13.
    __m128i classes = _mm_subs_epu8(indices, _mm_set1_epi8(51));
    const __m128i upper = _mm_cmpgt_epi8(_mm_set1_epi8(26), indices);
    classes = _mm_or_si128(classes, _mm_and_si128(upper, _mm_set1_epi8(13)));
    return _mm_add_epi8(indices, _mm_shuffle_epi8(table(DigitOffsets), classes));
}

// decode16 returns the 12 bytes of the 16 characters at `in` in its low 12
// bytes, and ORs into `bad` a non-zero byte for each character that is not a
// digit (the bytes are then meaningless).
ZQ_SSSE3 inline __m128i decode16(const uint8_t* in, __m128i& bad) noexcept {
    const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i high = _mm_and_si128(_mm_srli_epi32(text, 4), nibble);
    const __m128i low = _mm_and_si128(text, nibble);
    bad = _mm_or_si128(bad, _mm_and_si128(_mm_shuffle_epi8(table(LowNibbleClasses), low),
                                          _mm_shuffle_epi8(table(HighNibbleClasses), high)));

    const __m128i slash = _mm_cmpeq_epi8(text, _mm_set1_epi8('/'));
    const __m128i values = _mm_add_epi8(text, _mm_shuffle_epi8(table(ValueOffsets), _mm_add_epi8(high, slash)));

    // v0·64 + v1 and v2·64 + v3 in 16 bits, then their 24-bit sum per group.
    const __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
    const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
    return _mm_shuffle_epi8(groups, table(GatherBytes));
}

ZQ_SSSE3 inline bool allZero(__m128i v) noexcept {
    return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) == 0xFFFF;
}

}  // namespace

ZQ_SSSE3 void base64EncodeLinesSsse3(const uint8_t* input, uint32_t lines, uint8_t* text) noexcept {
    const __m128i spread = table(SpreadGroups);
    const __m128i spreadFrom4 = table(SpreadGroupsFromByte4);
    for (; lines != 0; --lines) {
        // Input bytes 0-11, 12-23, 24-35 and 36-47; the last 12 are loaded
        // from byte 32 so that no load reaches past the line.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(text), encode12(input, spread));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(text + 16), encode12(input + 12, spread));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(text + 32), encode12(input + 24, spread));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(text + 48), encode12(input + 32, spreadFrom4));
        text[64] = '\r';
        text[65] = '\n';
        input += Base64InputPerLine;
        text += Base64TextPerLine;
    }
}

ZQ_SSSE3 void base64DecodeRunsSsse3(Base64DecodeCursor& cursor) noexcept {
    const uint8_t* const text = cursor.text;
    uint32_t position = cursor.position;
    uint8_t* out = cursor.out + cursor.count;

    // Room: count ≤ 3·position / 4 (base64_cursor.h) and position + 64 ≤ end,
    // so the 48 bytes of a run end within 3·end / 4 ≤ capacity.
    while (cursor.end - position >= 64) {
        __m128i bad = _mm_setzero_si128();
        const __m128i b0 = decode16(text + position, bad);
        const __m128i b1 = decode16(text + position + 16, bad);
        const __m128i b2 = decode16(text + position + 32, bad);
        const __m128i b3 = decode16(text + position + 48, bad);
        if (!allZero(bad)) break;

        // 12 bytes each; the first three stores overlap the next by 4, the
        // last writes exactly its 12.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), b0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), b1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 24), b2);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 36), b3);
        const uint32_t last = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(b3, 8)));
        memcpy(out + 44, &last, 4);

        out += 48;
        position = base64SkipBlanks(text, cursor.end, position + 64);
    }

    cursor.count = static_cast<uint32_t>(out - cursor.out);
    cursor.position = position;
}

}  // namespace zq
