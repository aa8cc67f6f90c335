// The longest check the library makes, run by a worker until the process
// ends, for hosts whose main function returns while the worker is inside it.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "zqcrypt.h"

namespace exit_test {

// inside is set before each call.
inline std::atomic<bool> inside{false};

inline void fill(CryptBlob& blob, const std::vector<uint8_t>& bytes) {
    blob = CryptBlob{0, 0, nullptr};
    if (zqCryptBlobInit(&blob, static_cast<uint32_t>(bytes.size())) == 0) return;
    for (size_t i = 0; i < bytes.size(); ++i) blob.data[i] = bytes[i];
}

// checkForever checks a 16384-bit signature under a 16384-bit odd modulus
// with exponent 2^32 - 1, the longest check the library makes, until the
// process ends.
inline void checkForever() {
    const uint32_t bits = 16384;
    std::vector<uint8_t> key = {0x06, 0x02, 0x00, 0x00, 0x00, 0xA4, 0x00, 0x00, 'R', 'S', 'A', '1'};
    for (uint32_t word : {bits, 0xFFFFFFFFu}) {
        for (int i = 0; i < 4; ++i) key.push_back(static_cast<uint8_t>(word >> (8 * i)));
    }
    std::vector<uint8_t> signature(bits / 8);
    uint32_t state = 1;
    for (size_t i = 0; i < bits / 8; ++i) {
        state = state * 1664525u + 1013904223u;
        key.push_back(static_cast<uint8_t>(state >> 24) | (i == 0 ? 1 : 0));
        signature[i] = static_cast<uint8_t>(state >> 16);
    }
    signature.back() = 0;
    CryptBlob s, k, d;
    fill(s, signature);
    fill(k, key);
    fill(d, std::vector<uint8_t>(16, 0xA5));
    for (;;) {
        uint32_t matches = 0;
        inside.store(true);
        zqCryptVerifySignature(&s, &k, &d, 0, &matches);
    }
}

}  // namespace exit_test
