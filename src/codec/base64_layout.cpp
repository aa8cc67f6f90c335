// File: base64_layout.cpp
//
// Block sizes of the Base64 codec. See base64_layout.h.
#include "codec/base64_layout.h"

namespace zq {

bool Base64TextLayout::of(uint32_t n, Base64TextLayout& layout) noexcept {
    // In 32-bit words, which cannot wrap below the largest n whose block
    // fits: every quantity is at most the block size. (Division by 3 only:
    // the i386 DLL has no 64-bit divide.)
    if (n > Base64LargestInput) return false;
    const uint32_t groups = n / 3 + (n % 3 != 0 ? 1 : 0);
    const uint32_t characters = 4 * groups;
    const uint32_t lines = characters >> 6;
    const uint32_t textLength = characters + 2 * lines;
    layout.groups = groups;
    layout.characters = characters;
    layout.lines = lines;
    layout.textLength = textLength;
    layout.blockSize = (textLength + 7) & ~uint32_t{3};
    return true;
}

uint32_t base64DecodedCapacity(uint32_t textSize) noexcept {
    // 3·(2^32) fits in 64 bits; the shift is the division by 4.
    return static_cast<uint32_t>((3 * (static_cast<uint64_t>(textSize) + 1)) >> 2);
}

}  // namespace zq
