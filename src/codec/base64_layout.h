// File: base64_layout.h
//
// The sizes of the codec's blocks: the shape of the text that the encoder
// writes for n bytes, and the size of the block the decoder fills from a text
// blob of s bytes.
#pragma once

#include <stdint.h>

namespace zq {

// Base64TextLayout: the text for n input bytes. One group per 3 input bytes
// (the last holding 1, 2 or 3), 16 groups to a line, CR LF behind every
// complete line (the last one too), then zero bytes up to the next multiple
// of 4 that leaves at least 4 of them. Group g starts at text position
// 66·(g / 16) + 4·(g mod 16).
struct Base64TextLayout {
    uint32_t groups;      // G = ceil(n / 3)
    uint32_t characters;  // M = 4·G
    uint32_t lines;       // L = M / 64, the complete lines
    uint32_t textLength;  // X = M + 2·L
    uint32_t blockSize;   // A = (X + 7) with its two low bits cleared: X + 4 or X + 6

    // Base64TextLayout::of fills `layout` for `n` input bytes. Returns false,
    // leaving `layout` undefined, when the block would not fit in 32 bits
    // (n above 3,123,612,573), where 32-bit arithmetic would wrap.
    static bool of(uint32_t n, Base64TextLayout& layout) noexcept;
};

// Base64InputPerLine, Base64TextPerLine: a complete line holds 16 groups, that
// is 48 input bytes, and takes 64 characters plus CR LF.
// Base64LargestInput is the largest input whose block size fits in 32 bits.
inline constexpr uint32_t Base64LargestInput = 3123612573u;

inline constexpr uint32_t Base64InputPerLine = 48;
inline constexpr uint32_t Base64TextPerLine = 66;

// base64DecodedCapacity is the size of the decoder's block for a text blob of
// `textSize` bytes: floor(3·(textSize + 1) / 4), computed without wrapping
// (at most 3·2^30). Every four text bytes yield at most three bytes, so no
// text of `textSize` bytes decodes to more (see base64_cursor.h).
uint32_t base64DecodedCapacity(uint32_t textSize) noexcept;

}  // namespace zq
