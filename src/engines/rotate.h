// File: rotate.h
//
// The 32-bit left rotation that the digest engines share.
#pragma once

#include <stdint.h>

namespace zq {

// rotateLeft returns `value` rotated left by (`count` and 31) bit positions:
// bits leaving at the top re-enter at the bottom. A count of 0 or 32 gives
// `value` back, 33 acts as 1, and a negative count acts through its low five
// bits (-1 acts as 31). With a constant count the compiler emits one native
// rotate instruction.
constexpr uint32_t rotateLeft(uint32_t value, int32_t count) noexcept {
    const uint32_t n = static_cast<uint32_t>(count) & 31u;
    // (32 - n) & 31 keeps the right shift below 32 when n is 0; the two
    // shifted halves then coincide and the or gives `value` unchanged.
    return (value << n) | (value >> ((32u - n) & 31u));
}

}  // namespace zq
