// rotateLeft: the documented cases, and every count from -70 to 70 against a
// rotation made of single-bit steps.
#include <gtest/gtest.h>

#include <random>

#include "engines/rotate.h"

namespace {

using zq::rotateLeft;

uint32_t rotateBitByBit(uint32_t value, int32_t count) {
    for (int32_t i = 0; i < (count & 31); ++i) value = (value << 1) | (value >> 31);
    return value;
}

TEST(RotateLeft, DocumentedCases) {
    EXPECT_EQ(rotateLeft(0x80000001u, 1), 0x00000003u);
    EXPECT_EQ(rotateLeft(0x80000001u, 0), 0x80000001u);
    EXPECT_EQ(rotateLeft(0x12345678u, 32), 0x12345678u);
    EXPECT_EQ(rotateLeft(0x12345678u, 33), rotateLeft(0x12345678u, 1));
    EXPECT_EQ(rotateLeft(0x12345678u, -1), rotateLeft(0x12345678u, 31));
    EXPECT_EQ(rotateLeft(0x12345678u, -1), 0x091A2B3Cu);
    EXPECT_EQ(rotateLeft(0x12345678u, 8), 0x34567812u);
    static_assert(rotateLeft(0xF0000000u, 4) == 0x0000000Fu);
}

TEST(RotateLeft, EveryCountMatchesSingleBitSteps) {
    std::mt19937 random(0xC0FFEE);
    for (int round = 0; round < 50; ++round) {
        const uint32_t value = round == 0 ? 0xFFFFFFFFu : round == 1 ? 0u : static_cast<uint32_t>(random());
        for (int32_t count = -70; count <= 70; ++count) {
            EXPECT_EQ(rotateLeft(value, count), rotateBitByBit(value, count))
                << std::hex << value << " by " << std::dec << count;
        }
    }
}

}  // namespace
