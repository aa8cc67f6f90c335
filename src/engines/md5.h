// File: md5.h
//
// The MD5 message digest of RFC 1321, computed incrementally: a context is
// begun, fed byte runs of any length, and finished into the 16-byte digest.
// The provider's MD5 hash objects keep an Md5Context in their state area.
#pragma once

#include <stdint.h>

namespace zq {

// Md5Context: the state of one MD5 computation, 23 words, owned by whoever
// embeds it. The engine never allocates and keeps nothing outside it.
//
// Invariants between calls:
//  - bitCountHigh:bitCountLow is eight times the number of bytes fed since
//    `begin`, modulo 2^64.
//  - pendingBytes is below 64: a block that fills up is compressed at once.
//  - `block` holds the pending bytes already packed as MD5 message words:
//    pending byte k is bits 8(k mod 4) to 8(k mod 4)+7 of word k / 4
//    (little-endian words). In the word holding the last pending byte, the
//    bits above it are 0; the words after it are stale and are always written
//    before they are read.
//
// All operations take the context first, except `finish`, which takes the
// digest buffer first. None checks its pointers.
struct Md5Context {
    uint32_t chain[4];  // the chaining words A, B, C, D
    uint32_t bitCountLow;
    uint32_t bitCountHigh;
    uint32_t block[16];
    uint32_t pendingBytes;

    // Md5Context::begin sets the chaining words to the RFC's initial values
    // and both counters and pendingBytes to 0 (`block` is not touched).
    // Returns `context`.
    static Md5Context& begin(Md5Context& context) noexcept;

    // Md5Context::feed absorbs `count` bytes from `bytes` (any alignment).
    // Whole blocks are compressed straight from `bytes`; only the bytes of an
    // unfinished block are packed into `block`. A count of 0 changes nothing
    // and does not read `bytes`.
    static void feed(Md5Context& context, const uint8_t* bytes, uint32_t count) noexcept;

    // Md5Context::finish pads the message (0x80, zeros, the 64-bit bit count
    // least significant word first), compresses the last one or two blocks and
    // writes A, B, C, D to `digest`, each least significant byte first. Then
    // pendingBytes is 0; `chain` keeps the final words and the counters keep
    // the total. Feeding or finishing again without `begin` gives no
    // meaningful digest.
    static void finish(uint8_t digest[16], Md5Context& context) noexcept;

    // Md5Context::digestSoFar writes to `digest` the digest that `finish` would
    // give now, and leaves the context as it is: the message can be fed on,
    // and asked for again.
    static void digestSoFar(uint8_t digest[16], const Md5Context& context) noexcept;

    // Md5Context::transformBlock compresses the one block of 64 bytes at
    // `bytes` (any alignment) into `chain`. The counters, `block` and
    // pendingBytes are not touched.
    static void transformBlock(Md5Context& context, const uint8_t bytes[64]) noexcept;

    // Md5Context::compress applies the MD5 compression function to
    // `blockCount` (at least 1) consecutive blocks of 16 little-endian words
    // at `words` (any alignment), updating `chain` after each block.
    static void compress(Md5Context& context, const void* words, uint32_t blockCount) noexcept;
};

static_assert(sizeof(Md5Context) == 23 * 4, "Md5Context is 23 words");

}  // namespace zq
