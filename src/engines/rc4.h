// File: rc4.h
//
// The RC4 stream cipher: a key schedule that fills a state from a key, and
// the output stage that combines bytes with the keystream by exclusive or,
// which encrypts and decrypts alike. Published keystreams for keys of 40 to
// 256 bits are in RFC 6229.
//
// The state keeps each permutation entry in a whole 32-bit word. Only the low
// 8 bits of an entry, and of the indices `i` and `j`, take part: every index
// sum is reduced modulo 256 and each keystream byte is the low byte of an
// entry. A state is a plain record owned by its user; the stage allocates
// nothing, checks nothing and wipes nothing.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace zq {

struct Rc4State {
    uint32_t i;          // the index i; its low 8 bits are the value
    uint32_t j;          // the index j; its low 8 bits are the value
    uint32_t sbox[256];  // the permutation S, one entry per word

    // Rc4State::setKey runs the standard RC4 key schedule over the `length`
    // bytes at `key`: S starts as the identity, then for k = 0 to 255,
    // j <- (j + S[k] + key[k mod length]) mod 256 and S[k], S[j] are swapped.
    // Afterwards `i` and `j` are 0. Bytes of a key longer than 256 bytes
    // beyond the 256th take no part, as in every RC4. A `length` of 0 leaves
    // the identity permutation (there is no key to mix in), with `i` = `j` = 0.
    void setKey(const uint8_t* key, uint32_t length) noexcept;

    // Rc4State::crypt writes to `output` the `count` bytes at `input`, each
    // exclusive-ored with the next keystream byte, and advances the state by
    // `count` bytes, so that consecutive calls continue one keystream.
    // `input` and `output` may be the same buffer (each byte is read before
    // its output byte is written); partly overlapping buffers are not
    // allowed. A `count` of 0 changes nothing, not even high bits of `i` and
    // `j`. Bytes go eight at a time, then the remaining count mod 8 one by one.
    void crypt(uint32_t count, const uint8_t* input, uint8_t* output) noexcept;
};

}  // namespace zq
