// File: base64_avx2.cpp
//
// RFC 4648 §4 base64 on 32-byte vectors (AVX2): the SSSE3 method
// (base64_ssse3.cpp) on both 128-bit lanes at once, 24 bytes to 32
// characters and back, with one cross-lane permute to feed or collect the
// lanes. See base64_simd.h; the tables are explained in base64_simd_tables.h.
#include <immintrin.h>

#include "codec/base64_layout.h"
#include "codec/base64_simd.h"
#include "codec/base64_simd_tables.h"

#define ZQ_AVX2 __attribute__((target("avx2")))

namespace zq {
namespace {

using namespace base64_simd;

// table puts a 16-byte table on both lanes.
ZQ_AVX2 inline __m256i table(const void* bytes) noexcept {
    return _mm256_broadcastsi128_si256(_mm_load_si128(static_cast<const __m128i*>(bytes)));
}

// encode24 turns 24 bytes, 12 at the start of each lane, into 32 characters.
ZQ_AVX2 inline __m256i encode24(__m256i bytes) noexcept {
    const __m256i words = _mm256_shuffle_epi8(bytes, table(SpreadGroups));
    const __m256i first = _mm256_mulhi_epu16(_mm256_and_si256(words, _mm256_set1_epi32(0x0FC0FC00)),
                                             _mm256_set1_epi32(0x04000040));
    const __m256i second = _mm256_mullo_epi16(_mm256_and_si256(words, _mm256_set1_epi32(0x003F03F0)),
                                              _mm256_set1_epi32(0x01000010));
    const __m256i indices = _mm256_or_si256(first, second);

    __m256i classes = _mm256_subs_epu8(indices, _mm256_set1_epi8(51));
    const __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), indices);
    classes = _mm256_or_si256(classes, _mm256_and_si256(upper, _mm256_set1_epi8(13)));
    return _mm256_add_epi8(indices, _mm256_shuffle_epi8(table(DigitOffsets), classes));
}

// decode32 returns the 24 bytes of the 32 characters at `in` in its low 24
// bytes, and ORs into `bad` a non-zero byte for each non-digit.
ZQ_AVX2 inline __m256i decode32(const uint8_t* in, __m256i& bad) noexcept {
    const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i high = _mm256_and_si256(_mm256_srli_epi32(text, 4), nibble);
    const __m256i low = _mm256_and_si256(text, nibble);
    bad = _mm256_or_si256(bad, _mm256_and_si256(_mm256_shuffle_epi8(table(LowNibbleClasses), low),
                                                _mm256_shuffle_epi8(table(HighNibbleClasses), high)));

    const __m256i slash = _mm256_cmpeq_epi8(text, _mm256_set1_epi8('/'));
    const __m256i values =
        _mm256_add_epi8(text, _mm256_shuffle_epi8(table(ValueOffsets), _mm256_add_epi8(high, slash)));

    const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
    const __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
    // 12 bytes at the start of each lane, then the lanes' words 0-2 and 4-6
    // brought together.
    const __m256i gathered = _mm256_shuffle_epi8(groups, table(GatherBytes));
    return _mm256_permutevar8x32_epi32(gathered, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
}

}  // namespace

ZQ_AVX2 void base64EncodeLinesAvx2(const uint8_t* input, uint32_t lines, uint8_t* text) noexcept {
    // Input bytes 0-23 are loaded from byte 0, bytes 24-47 from byte 16 (at
    // positions 8-31), so that no load reaches past the line; the permutes
    // put 12 of them at the start of each lane.
    const __m256i firstHalf = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
    const __m256i secondHalf = _mm256_setr_epi32(2, 3, 4, 5, 5, 6, 7, 7);
    for (; lines != 0; --lines) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(input));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(input + 16));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(text),
                            encode24(_mm256_permutevar8x32_epi32(a, firstHalf)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(text + 32),
                            encode24(_mm256_permutevar8x32_epi32(b, secondHalf)));
        text[64] = '\r';
        text[65] = '\n';
        input += Base64InputPerLine;
        text += Base64TextPerLine;
    }
}

ZQ_AVX2 void base64DecodeRunsAvx2(Base64DecodeCursor& cursor) noexcept {
    const uint8_t* const text = cursor.text;
    uint32_t position = cursor.position;
    uint8_t* out = cursor.out + cursor.count;

    // Room for the 48 bytes of a run: as in base64_ssse3.cpp.
    while (cursor.end - position >= 64) {
        __m256i bad = _mm256_setzero_si256();
        const __m256i first = decode32(text + position, bad);
        const __m256i second = decode32(text + position + 32, bad);
        if (!_mm256_testz_si256(bad, bad)) break;

        // 24 bytes each: the first store overlaps the second half's start by
        // 8, the second writes exactly its 24.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), first);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 24), _mm256_castsi256_si128(second));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 40), _mm256_extracti128_si256(second, 1));

        out += 48;
        position = base64SkipBlanks(text, cursor.end, position + 64);
    }

    cursor.count = static_cast<uint32_t>(out - cursor.out);
    cursor.position = position;
}

}  // namespace zq
