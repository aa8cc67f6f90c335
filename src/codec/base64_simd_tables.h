// File: base64_simd_tables.h
//
// The byte tables of the vectorised Base64 paths (base64_simd.h), 16 bytes
// each, used as PSHUFB shuffles and lookups on every 128-bit lane.
#pragma once

#include <stdint.h>

namespace zq::base64_simd {

// ---- Encoding --------------------------------------------------------------

// SpreadGroups: the shuffle that turns 12 input bytes, three per group, into
// four 32-bit words holding b1, b0, b2, b1 (lowest byte first). Read as two
// 16-bit halves, the low one is b0·256 + b1, with the first index in bits
// 10-15 and the second in bits 4-9, and the high one is b1·256 + b2, with
// the third index in bits 6-11 and the fourth in bits 0-5.
alignas(16) inline constexpr uint8_t SpreadGroups[16] = {
    1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10,
};

// SpreadGroupsFromByte4: the same for the 12 bytes at positions 4 to 15, so
// that the last 12 bytes of a line are loaded without reading past it.
alignas(16) inline constexpr uint8_t SpreadGroupsFromByte4[16] = {
    5, 4, 6, 5, 8, 7, 9, 8, 11, 10, 12, 11, 14, 13, 15, 14,
};

// DigitOffsets: what to add to an index to get its character, by the index's
// class: 0 for 26-51 ("a"-"z"), 1 to 10 for 52-61 ("0"-"9"), 11 for 62 ("+"),
// 12 for 63 ("/"), 13 for 0-25 ("A"-"Z").
alignas(16) inline constexpr int8_t DigitOffsets[16] = {
    'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
    '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A',      0,        0,
};

// ---- Decoding --------------------------------------------------------------

// A byte is a digit exactly when the class bits of its low nibble and of its
// high nibble have none in common:
//   bit 0  high nibble 0, 1 or 8 to F: nothing is a digit (set for every low nibble)
//   bit 1  high nibble 2: only "+" (0x2B) and "/" (0x2F)
//   bit 2  high nibble 3: only "0" to "9" (low nibble 0 to 9)
//   bit 3  high nibble 4 or 6: "A" to "O", "a" to "o" (low nibble 1 to F)
//   bit 4  high nibble 5 or 7: "P" to "Z", "p" to "z" (low nibble 0 to A)
// LowNibbleClasses[l] has the bit of each class in which low nibble l is NOT
// a digit; HighNibbleClasses[h] is the class of high nibble h.
alignas(16) inline constexpr uint8_t LowNibbleClasses[16] = {
    0x0B, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03,
    0x03, 0x03, 0x07, 0x15, 0x17, 0x17, 0x17, 0x15,
};
alignas(16) inline constexpr uint8_t HighNibbleClasses[16] = {
    0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x08, 0x10,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
};

// ValueOffsets: what to add to a digit to get its value, by its high nibble,
// with "/" moved to entry 1 (its high nibble minus one) apart from "+".
alignas(16) inline constexpr int8_t ValueOffsets[16] = {
    0, 63 - '/', 62 - '+', 52 - '0', 0 - 'A', 0 - 'A', 26 - 'a', 26 - 'a',
    0, 0,        0,        0,        0,       0,       0,        0,
};

// GatherBytes: after the values of a group are packed into a 32-bit word
// (bits 0-23, most significant output byte in bits 16-23), picks bytes
// 2, 1, 0 of each of the four words into 12 bytes in output order.
alignas(16) inline constexpr uint8_t GatherBytes[16] = {
    2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, 0x80, 0x80, 0x80, 0x80,
};

}  // namespace zq::base64_simd
