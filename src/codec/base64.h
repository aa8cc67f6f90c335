// File: base64.h
//
// The Base64 rules of RFC 4648 §4, one group at a time: the alphabet, the
// encoding of a group of 1 to 3 bytes into four characters, the decoding of
// four characters into 1 to 3 bytes, and the value of one character. The
// codec (base64_codec.h) builds whole texts from these rules; its table-driven
// and vectorised paths give byte for byte what the rules give.
#pragma once

#include <stdint.h>

namespace zq {

// Base64Alphabet: the 64 digits in order of value, the pad character "=" at
// index 64, then a zero byte.
inline constexpr char Base64Alphabet[66] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";

// Base64PadIndex: the index of "=" in Base64Alphabet.
inline constexpr uint32_t Base64PadIndex = 64;

// Base64EncodeGroup writes to `characters` the four characters of the group
// made of the first `count` bytes at `bytes` (`count` is 1, 2 or 3; a missing
// byte counts as 0). With v = b0·65536 + b1·256 + b2 the characters are the
// alphabet entries at bits 18-23 and 12-17 of v, then bits 6-11 (or "=" when
// `count` is 1), then bits 0-5 (or "=" when `count` is below 3). Only `count`
// bytes are read.
void Base64EncodeGroup(const uint8_t* bytes, uint32_t count, uint8_t* characters) noexcept;

// Base64DecodeGroup decodes the four characters at `characters` and writes
// the k bytes they stand for to `bytes`, most significant first; returns k.
// k is 3 unless the fourth character is "="; then it is 1 when the third is
// "=" too, else 2. Characters outside the alphabet, and "=" where it does not
// end the group, count as 0 (Base64CharValue). Exactly k bytes are written.
uint32_t Base64DecodeGroup(const uint8_t* characters, uint8_t* bytes) noexcept;

// Base64CharValue is the digit value (0 to 63) of `ch`, and 0 for every byte
// that is not one of the 64 digits: "=", the zero byte, blanks, controls and
// the bytes 0x80 to 0xFF.
constexpr uint32_t Base64CharValue(uint8_t ch) noexcept {
    if (ch >= 'A' && ch <= 'Z') return ch - 0x41u;
    if (ch >= 'a' && ch <= 'z') return ch - 0x47u;
    if (ch >= '0' && ch <= '9') return ch + 4u;
    if (ch == '+') return 62;
    if (ch == '/') return 63;
    return 0;
}

}  // namespace zq
