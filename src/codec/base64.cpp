// File: base64.cpp
//
// RFC 4648 §4 (base64 with "=" padding), group by group. See base64.h.
#include "codec/base64.h"

namespace zq {

void Base64EncodeGroup(const uint8_t* bytes, uint32_t count, uint8_t* characters) noexcept {
    uint32_t v = static_cast<uint32_t>(bytes[0]) << 16;
    if (count >= 2) v |= static_cast<uint32_t>(bytes[1]) << 8;
    if (count >= 3) v |= bytes[2];

    characters[0] = static_cast<uint8_t>(Base64Alphabet[(v >> 18) & 63]);
    characters[1] = static_cast<uint8_t>(Base64Alphabet[(v >> 12) & 63]);
    characters[2] = static_cast<uint8_t>(Base64Alphabet[count >= 2 ? (v >> 6) & 63 : Base64PadIndex]);
    characters[3] = static_cast<uint8_t>(Base64Alphabet[count >= 3 ? v & 63 : Base64PadIndex]);
}

uint32_t Base64DecodeGroup(const uint8_t* characters, uint8_t* bytes) noexcept {
    // The third character is looked at for "=" only when the fourth is one.
    uint32_t k = 3;
    if (characters[3] == '=') k = characters[2] == '=' ? 1 : 2;

    uint32_t d = Base64CharValue(characters[0]) << 18 | Base64CharValue(characters[1]) << 12;
    if (k >= 2) d |= Base64CharValue(characters[2]) << 6;
    if (k == 3) d |= Base64CharValue(characters[3]);

    bytes[0] = static_cast<uint8_t>(d >> 16);
    if (k >= 2) bytes[1] = static_cast<uint8_t>(d >> 8);
    if (k == 3) bytes[2] = static_cast<uint8_t>(d);
    return k;
}

}  // namespace zq
