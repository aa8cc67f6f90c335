// File: magnitude_words.h
//
// The loops over word vectors that the magnitude operations share: clearing
// words so that the clearing stays, add-with-carry and subtract-with-borrow
// chains, and the ripple of a carry. Internal to the bignum files; see
// magnitude.h for the representation.
#pragma once

#include <stdint.h>
#include <string.h>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace zq {

inline uint32_t larger(uint32_t a, uint32_t b) noexcept { return a > b ? a : b; }

// addCarry sets *r = a + b + c and subtractBorrow *r = a − b − c, modulo
// 2^32, for c 0 or 1, and return the carry or borrow out (0 or 1): one step
// of a chain. On x86 they are the compilers' add-with-carry and
// subtract-with-borrow; elsewhere the step is taken in 64 bits.
inline unsigned char addCarry(unsigned char c, uint32_t a, uint32_t b, uint32_t* r) noexcept {
#if defined(__x86_64__) || defined(__i386__)
    return _addcarry_u32(c, a, b, r);
#else
    const uint64_t sum = static_cast<uint64_t>(a) + b + c;
    *r = static_cast<uint32_t>(sum);
    return static_cast<unsigned char>(sum >> 32);
#endif
}

inline unsigned char subtractBorrow(unsigned char c, uint32_t a, uint32_t b, uint32_t* r) noexcept {
#if defined(__x86_64__) || defined(__i386__)
    return _subborrow_u32(c, a, b, r);
#else
    const uint64_t difference = static_cast<uint64_t>(a) - b - c;
    *r = static_cast<uint32_t>(difference);
    return static_cast<unsigned char>(difference >> 63);
#endif
}

// wipe sets `count` words to zero in a way the compiler keeps even though the
// storage is freed straight after.
inline void wipe(uint32_t* words, uint32_t count) noexcept {
    memset(words, 0, static_cast<size_t>(count) * 4);
    __asm__ __volatile__("" : : "r"(words) : "memory");
}

// chainWords sets r[i] = a[i] + b[i] (Borrow false) or a[i] − b[i] (Borrow
// true) with the carry or borrow `c` running from word 0 up, for i < n, and
// returns the carry or borrow out: 32-bit additions with explicit carries
// (add-with-carry). On x86-64 two adjacent words are taken as one
// little-endian 64-bit word, which gives the same words and carry in half
// the steps; on i386 the words go one at a time through the same chain.
// `r` may be `a` or `b`: each step reads before it stores. addWords and
// subtractWords are its two forms.
template <bool Borrow>
inline unsigned char chainWords(uint32_t* r, const uint32_t* a, const uint32_t* b, uint32_t n,
                                unsigned char c) noexcept {
    uint32_t i = 0;
#if defined(__x86_64__) || defined(__i386__)
    // Eight words at a time, written out in assembly so that the carry stays
    // in the flag from one step to the next and every result goes straight
    // to its place: four steps of 64 bits on x86-64, eight of 32 bits on
    // i386. Each step loads before it stores, which is what lets `r` be `a`
    // or `b`. "addb $0xff" turns c (0 or 1) into the carry flag.
    for (; i + 8 <= n; i += 8) {
        uintptr_t t;
        // One step: load a word of a, add or subtract that of b with the
        // flag, store; OFFSET is the byte offset of the word.
#define ZQ_CHAIN_STEP(OP, OFFSET) \
    "mov " OFFSET "(%[a]), %[t]\n\t" OP " " OFFSET "(%[b]), %[t]\n\tmov %[t], " OFFSET "(%[r])\n\t"
#if defined(__x86_64__)
#define ZQ_CHAIN_STEPS(OP) \
    ZQ_CHAIN_STEP(OP, "0") ZQ_CHAIN_STEP(OP, "8") ZQ_CHAIN_STEP(OP, "16") ZQ_CHAIN_STEP(OP, "24")
#else
#define ZQ_CHAIN_STEPS(OP)                                                                           \
    ZQ_CHAIN_STEP(OP, "0") ZQ_CHAIN_STEP(OP, "4") ZQ_CHAIN_STEP(OP, "8") ZQ_CHAIN_STEP(OP, "12") \
        ZQ_CHAIN_STEP(OP, "16") ZQ_CHAIN_STEP(OP, "20") ZQ_CHAIN_STEP(OP, "24") ZQ_CHAIN_STEP(OP, "28")
#endif
#define ZQ_CHAIN_EIGHT(OP)                                                 \
    __asm__("addb $0xff, %[c]\n\t" ZQ_CHAIN_STEPS(OP) "setc %[c]"       \
            : [c] "+q"(c), [t] "=&r"(t)                                    \
            : [a] "r"(a + i), [b] "r"(b + i), [r] "r"(r + i)               \
            : "cc", "memory")
        if constexpr (Borrow) ZQ_CHAIN_EIGHT("sbb");
        else ZQ_CHAIN_EIGHT("adc");
#undef ZQ_CHAIN_EIGHT
#undef ZQ_CHAIN_STEPS
#undef ZQ_CHAIN_STEP
    }
#endif
    for (; i < n; ++i) {
        if constexpr (Borrow) c = subtractBorrow(c, a[i], b[i], r + i);
        else c = addCarry(c, a[i], b[i], r + i);
    }
    return c;
}

inline unsigned char addWords(uint32_t* r, const uint32_t* a, const uint32_t* b, uint32_t n,
                              unsigned char carry) noexcept {
    return chainWords<false>(r, a, b, n, carry);
}

inline unsigned char subtractWords(uint32_t* r, const uint32_t* a, const uint32_t* b, uint32_t n,
                                   unsigned char borrow) noexcept {
    return chainWords<true>(r, a, b, n, borrow);
}

// rippleCarry adds `carry` into w[k], w[k + 1], … for as long as it carries
// and k < end, and returns what is left: `carry` itself when k ≥ end, else
// the carry out of word end − 1 (0 when the ripple stopped below it).
inline uint32_t rippleCarry(uint32_t* w, uint32_t k, uint32_t end, uint32_t carry) noexcept {
    for (; carry != 0 && k < end; ++k) {
        w[k] += carry;
        carry = w[k] < carry;
    }
    return carry;
}

}  // namespace zq
