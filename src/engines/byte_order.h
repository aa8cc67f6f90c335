// File: byte_order.h
//
// Loading and storing 32-bit words in a fixed byte order. MD5 reads its
// message as little-endian words and writes its digest the same way; SHA-0
// uses big-endian words for both.
//
// Loads and stores go through memcpy, so any alignment is fine; on x86 they
// compile to one move (and one byte swap for the big-endian forms).
#pragma once

#include <stdint.h>
#include <string.h>

namespace zq {

enum class ByteOrder { little, big };

constexpr bool hostIsLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// loadLittle32 reads the four bytes at `bytes` as a word, least significant
// byte first.
inline uint32_t loadLittle32(const void* bytes) noexcept {
    uint32_t word;
    memcpy(&word, bytes, 4);
    return hostIsLittleEndian ? word : __builtin_bswap32(word);
}

// loadBig32 reads the four bytes at `bytes` as a word, most significant byte
// first.
inline uint32_t loadBig32(const void* bytes) noexcept {
    uint32_t word;
    memcpy(&word, bytes, 4);
    return hostIsLittleEndian ? __builtin_bswap32(word) : word;
}

// storeLittle32 writes `word` to the four bytes at `bytes`, least significant
// byte first.
inline void storeLittle32(void* bytes, uint32_t word) noexcept {
    if (!hostIsLittleEndian) word = __builtin_bswap32(word);
    memcpy(bytes, &word, 4);
}

// storeBig32 writes `word` to the four bytes at `bytes`, most significant byte
// first.
inline void storeBig32(void* bytes, uint32_t word) noexcept {
    if (hostIsLittleEndian) word = __builtin_bswap32(word);
    memcpy(bytes, &word, 4);
}

// load32 reads a word in the byte order `order`.
template <ByteOrder order>
inline uint32_t load32(const void* bytes) noexcept {
    return order == ByteOrder::little ? loadLittle32(bytes) : loadBig32(bytes);
}

// store32 writes a word in the byte order `order`.
template <ByteOrder order>
inline void store32(void* bytes, uint32_t word) noexcept {
    if (order == ByteOrder::little) {
        storeLittle32(bytes, word);
    } else {
        storeBig32(bytes, word);
    }
}

}  // namespace zq
