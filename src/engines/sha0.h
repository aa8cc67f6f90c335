// File: sha0.h
//
// The Secure Hash Algorithm as first published in FIPS PUB 180 (1993),
// commonly called SHA-0, computed incrementally: a context is begun, fed byte
// runs of any length, and finished into the 20-byte digest. The provider's
// hash objects of algorithm CALG_SHA keep a Sha0Context in their state area.
//
// SHA-0 differs from SHA-1 (FIPS 180-1) in one place only: its message
// schedule does not rotate the expanded words. Its digests are therefore not
// SHA-1 digests ("abc" gives 0164b8a9..., not a9993e36...).
#pragma once

#include <stdint.h>

namespace zq {

// Sha0Context: the state of one SHA-0 computation, 24 words, owned by whoever
// embeds it. The engine never allocates and keeps nothing outside it. Its
// fields are those of Md5Context with a fifth chaining word.
//
// Invariants between calls:
//  - bitCountHigh:bitCountLow is eight times the number of bytes fed since
//    `begin`, modulo 2^64.
//  - pendingBytes is below 64.
//  - `block` holds the pending bytes already packed as SHA message words:
//    pending byte k is bits 31 - 8(k mod 4) down to 24 - 8(k mod 4) of word
//    k / 4 (big-endian words, kept as numbers in host order). In the word
//    holding the last pending byte, the bits below it are 0; the words after
//    it are stale and are always written before they are read.
//
// All operations take the context first, except `finish`, which takes the
// digest buffer first. None checks its pointers.
struct Sha0Context {
    uint32_t chain[5];  // the chaining words H0 to H4
    uint32_t bitCountLow;
    uint32_t bitCountHigh;
    uint32_t block[16];
    uint32_t pendingBytes;

    // Sha0Context::begin sets H0 to H4 to the initial values of FIPS 180 and
    // both counters and pendingBytes to 0 (`block` is not touched). Returns
    // `context`.
    static Sha0Context& begin(Sha0Context& context) noexcept;

    // Sha0Context::feed absorbs `count` bytes from `bytes` (any alignment).
    // Each whole block is converted into `block` as big-endian words and
    // compressed from there. A count of 0 changes nothing and does not read
    // `bytes`.
    static void feed(Sha0Context& context, const uint8_t* bytes, uint32_t count) noexcept;

    // Sha0Context::finish pads the message (0x80, zeros, the 64-bit bit count
    // most significant word first), compresses the last one or two blocks and
    // writes H0 to H4 to `digest`, each most significant byte first. Then
    // pendingBytes is 0; `chain` keeps the final words and the counters keep
    // the total. Feeding or finishing again without `begin` gives no
    // meaningful digest.
    static void finish(uint8_t digest[20], Sha0Context& context) noexcept;

    // Sha0Context::digestSoFar writes to `digest` the digest that `finish` would
    // give now, and leaves the context as it is: the message can be fed on,
    // and asked for again.
    static void digestSoFar(uint8_t digest[20], const Sha0Context& context) noexcept;

    // Sha0Context::transformBlock reads the 64 bytes at `bytes` (any
    // alignment) as 16 big-endian words into a stack area of its own and
    // compresses that block into `chain`. The counters, `block` and
    // pendingBytes are not touched.
    static void transformBlock(Sha0Context& context, const uint8_t bytes[64]) noexcept;

    // Sha0Context::compress applies the SHA-0 compression function to
    // `blockCount` (at least 1) consecutive blocks of 16 words at `words`,
    // already converted from the big-endian message to numbers, updating
    // `chain` after each block.
    static void compress(Sha0Context& context, const uint32_t* words, uint32_t blockCount) noexcept;
};

static_assert(sizeof(Sha0Context) == 24 * 4, "Sha0Context is 24 words");

}  // namespace zq
