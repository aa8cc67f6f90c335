// File: rc4.cpp
//
// RC4: the key-scheduling algorithm and the output stage (the "PRGA"), with
// the published keystreams of RFC 6229 as their reference. See rc4.h.
#include "engines/rc4.h"

#include <string.h>

namespace zq {
namespace {

// One step of the output stage: i <- i + 1, t <- S[i], j <- j + t, swap S[i]
// and S[j], and the keystream byte is the low byte of S[t + S[i]], every index
// taken modulo 256. Masking each sum to 8 bits is what lets entries and
// indices with high bits act through their low 8 bits only: a sum modulo 256
// depends on nothing else.
inline uint8_t nextKeyByte(uint32_t* sbox, uint32_t& i, uint32_t& j) noexcept {
    i = (i + 1) & 0xFF;
    const uint32_t t = sbox[i];
    j = (j + t) & 0xFF;
    const uint32_t u = sbox[j];
    sbox[i] = u;
    sbox[j] = t;
    return static_cast<uint8_t>(sbox[(t + u) & 0xFF]);
}

}  // namespace

void Rc4State::setKey(const uint8_t* key, uint32_t length) noexcept {
    for (uint32_t k = 0; k < 256; ++k) sbox[k] = k;
    i = 0;
    j = 0;
    if (length == 0) return;

    // The key index wraps by comparison, not by a remainder.
    uint32_t mixer = 0;
    uint32_t keyIndex = 0;
    for (uint32_t k = 0; k < 256; ++k) {
        const uint32_t t = sbox[k];
        mixer = (mixer + t + key[keyIndex]) & 0xFF;
        sbox[k] = sbox[mixer];
        sbox[mixer] = t;
        if (++keyIndex == length) keyIndex = 0;
    }
}

void Rc4State::crypt(uint32_t count, const uint8_t* input, uint8_t* output) noexcept {
    if (count == 0) return;
    uint32_t x = i;
    uint32_t y = j;

    // Groups of eight: eight keystream bytes, then one 8-byte exclusive or.
    // All eight input bytes are loaded before any output byte is stored, so
    // crypting a buffer in place is safe.
    for (uint32_t groups = count >> 3; groups != 0; --groups) {
        uint8_t stream[8];
        stream[0] = nextKeyByte(sbox, x, y);
        stream[1] = nextKeyByte(sbox, x, y);
        stream[2] = nextKeyByte(sbox, x, y);
        stream[3] = nextKeyByte(sbox, x, y);
        stream[4] = nextKeyByte(sbox, x, y);
        stream[5] = nextKeyByte(sbox, x, y);
        stream[6] = nextKeyByte(sbox, x, y);
        stream[7] = nextKeyByte(sbox, x, y);
        uint64_t data;
        uint64_t keyWord;
        memcpy(&data, input, 8);
        memcpy(&keyWord, stream, 8);
        data ^= keyWord;
        memcpy(output, &data, 8);
        input += 8;
        output += 8;
    }

    // The remaining count mod 8 bytes, one at a time.
    for (uint32_t rest = count & 7; rest != 0; --rest) {
        *output++ = static_cast<uint8_t>(*input++ ^ nextKeyByte(sbox, x, y));
    }

    i = x;
    j = y;
}

}  // namespace zq
