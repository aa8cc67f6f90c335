// File: base64_cursor.h
//
// The decoder's position in a text, shared by its scalar and vectorised
// steps so that they can take turns on one text.
//
// Decoding reads the text group by group: at the current position, a zero
// byte or the end of the blob ends the text; otherwise four characters make
// a group, and the CR, LF, space and TAB bytes behind it are skipped. A group
// that yields fewer than 3 bytes ends the decoding, and so does a final group
// cut short by the end of the text (base64_scalar.h says what it yields).
//
// Bound on the output. Each whole group consumes at least 4 text bytes and
// yields at most 3, so after g groups `count` ≤ 3·g and `position` ≥ 4·g:
// `count` ≤ 3·position / 4. A final group cut to j < 4 bytes yields at most
// j − 1. So a text of s bytes never fills more than 3·s / 4 bytes, within
// base64DecodedCapacity(s). The steps rely on this to write whole words and
// runs without checking each byte.
#pragma once

#include <stdint.h>

namespace zq {

struct Base64DecodeCursor {
    const uint8_t* text;  // the text blob's bytes
    uint32_t end;         // the text blob's size: nothing at or after it is read
    uint32_t position;    // where the next group starts
    uint8_t* out;         // the output block, of base64DecodedCapacity(end) bytes
    uint32_t count;       // bytes decoded so far
};

// base64IsBlank: CR, LF, space and TAB, the bytes skipped behind a group.
inline bool base64IsBlank(uint8_t c) noexcept {
    return c == 0x20 || (c < 0x20 && ((0x2600u >> c) & 1) != 0);
}

// base64SkipBlanks returns the first position at or after `position` (and
// before `end`) that does not hold a blank, or `end`.
inline uint32_t base64SkipBlanks(const uint8_t* text, uint32_t end, uint32_t position) noexcept {
    while (position < end && base64IsBlank(text[position])) ++position;
    return position;
}

}  // namespace zq
