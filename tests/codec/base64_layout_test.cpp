// Block sizes: the encoder's text layout and the decoder's block, with their
// 32-bit limits. Expected figures computed with Python from the layout's
// definition (G = ceil(n/3), M = 4G, L = M // 64, X = M + 2L, A = (X+7) & ~3).
#include "codec/base64_layout.h"

#include <gtest/gtest.h>

namespace {

struct LayoutCase {
    uint32_t n, groups, characters, lines, textLength, blockSize;
};

TEST(Base64Layout, SizesAroundEveryKindOfBoundary) {
    const LayoutCase cases[] = {
        {0, 0, 0, 0, 0, 4},        {1, 1, 4, 0, 4, 8},           {2, 1, 4, 0, 4, 8},
        {3, 1, 4, 0, 4, 8},        {45, 15, 60, 0, 60, 64},      {46, 16, 64, 1, 66, 72},
        {47, 16, 64, 1, 66, 72},   {48, 16, 64, 1, 66, 72},      {49, 17, 68, 1, 70, 76},
        {93, 31, 124, 1, 126, 132}, {94, 32, 128, 2, 132, 136},  {96, 32, 128, 2, 132, 136},
        {97, 33, 132, 2, 136, 140}, {1000000, 333334, 1333336, 20833, 1375002, 1375008},
    };
    for (const LayoutCase& c : cases) {
        zq::Base64TextLayout layout{};
        ASSERT_TRUE(zq::Base64TextLayout::of(c.n, layout)) << c.n;
        EXPECT_EQ(layout.groups, c.groups) << c.n;
        EXPECT_EQ(layout.characters, c.characters) << c.n;
        EXPECT_EQ(layout.lines, c.lines) << c.n;
        EXPECT_EQ(layout.textLength, c.textLength) << c.n;
        EXPECT_EQ(layout.blockSize, c.blockSize) << c.n;
    }
}

TEST(Base64Layout, TheZeroTailIsFourOrSixBytes) {
    for (uint32_t n = 0; n < 5000; ++n) {
        zq::Base64TextLayout layout{};
        ASSERT_TRUE(zq::Base64TextLayout::of(n, layout));
        const uint32_t tail = layout.blockSize - layout.textLength;
        ASSERT_EQ(tail, layout.lines % 2 == 0 ? 4u : 6u) << n;
        ASSERT_EQ(layout.blockSize % 4, 0u) << n;
    }
}

TEST(Base64Layout, InputsWhoseBlockWouldPassFourGibibytesAreRefused) {
    // 3,123,612,573 bytes give A = 4,294,967,292; one more gives 2^32.
    zq::Base64TextLayout layout{};
    ASSERT_TRUE(zq::Base64TextLayout::of(3123612573u, layout));
    EXPECT_EQ(layout.blockSize, 4294967292u);
    EXPECT_FALSE(zq::Base64TextLayout::of(3123612574u, layout));
    EXPECT_FALSE(zq::Base64TextLayout::of(UINT32_MAX, layout));
}

TEST(Base64Layout, DecodedCapacityIsThreeQuartersOfTheTextPlusOne) {
    const std::pair<uint32_t, uint32_t> cases[] = {
        {0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 3}, {5, 4}, {8, 6}, {64, 48}, {65, 49}, {72, 54},
        {UINT32_MAX, 3221225472u},  // no 32-bit wrap of 3·(s + 1)
    };
    for (const auto& [size, capacity] : cases) EXPECT_EQ(zq::base64DecodedCapacity(size), capacity) << size;
}

}  // namespace
