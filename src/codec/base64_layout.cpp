// File: base64_layout.cpp
//
// Block sizes of the Base64 codec. See base64_layout.h.
#include "codec/base64_layout.h"

namespace zq {

bool Base64TextLayout::of(uint32_t n, Base64TextLayout& layout) noexcept {
    // 32-bit division only (the i386 DLL has no 64-bit divide); the rest in
    // 64 bits, where 4·G ≤ 4·(2^32 / 3 + 1) cannot wrap.
    const uint64_t groups = n / 3 + (n % 3 != 0 ? 1 : 0);
    const uint64_t characters = 4 * groups;
    const uint64_t lines = characters >> 6;
    const uint64_t textLength = characters + 2 * lines;
    const uint64_t blockSize = (textLength + 7) & ~uint64_t{3};
    if (blockSize > UINT32_MAX) return false;

    layout.groups = static_cast<uint32_t>(groups);
    layout.characters = static_cast<uint32_t>(characters);
    layout.lines = static_cast<uint32_t>(lines);
    layout.textLength = static_cast<uint32_t>(textLength);
    layout.blockSize = static_cast<uint32_t>(blockSize);
    return true;
}

uint32_t base64DecodedCapacity(uint32_t textSize) noexcept {
    // 3·(2^32) fits in 64 bits; the shift is the division by 4.
    return static_cast<uint32_t>((3 * (static_cast<uint64_t>(textSize) + 1)) >> 2);
}

}  // namespace zq
