// modpow_once: one modPow with exponent 65537 and an odd modulus of the given
// number of bits (2048 by default), for counting instructions with callgrind:
//   valgrind --tool=callgrind --toggle-collect='zq::modPow*' build/linux/bin/modpow_once 2048
// The operands come from a fixed xorshift sequence.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include "bignum/montgomery.h"

namespace {

uint32_t nextWord(uint64_t& state) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<uint32_t>(state >> 16);
}

}  // namespace

int main(int argc, char** argv) {
    const uint32_t bits = argc > 1 ? static_cast<uint32_t>(atoi(argv[1])) : 2048;
    if (bits < 2 || bits > 1u << 20) return 2;
    const uint32_t count = (bits + 31) / 32;
    uint64_t state = 0x9E3779B97F4A7C15ull;
    std::vector<uint32_t> modulusWords(count), baseWords(count);
    for (uint32_t i = 0; i < count; ++i) {
        modulusWords[i] = nextWord(state);
        baseWords[i] = nextWord(state);
    }
    // Exactly `bits` bits, odd; the base one word shorter, so below it.
    if (bits % 32 != 0) modulusWords[count - 1] &= (1u << (bits % 32)) - 1;
    modulusWords[count - 1] |= 1u << ((bits - 1) % 32);
    modulusWords[0] |= 1;
    baseWords[count - 1] = 0;

    zq::BigInt modulus(0u), base(0u);
    modulus.fromWords(modulusWords.data(), count);
    base.fromWords(baseWords.data(), count);
    const zq::BigInt result = zq::modPow(base, zq::BigInt(65537u), modulus);
    printf("%u-bit modulus: result of %u bits%s\n", bits, result.bitLength(), result.isValid() ? "" : " (invalid)");
    return result.isValid() ? 0 : 1;
}
