// The vectorised paths against the scalar one: the same block for every
// input, the same bytes for every text, clean or not. Random cases print
// their seed.
#include "codec/base64_test_support.h"

namespace {

using namespace zq::testing;
using zq::Base64Path;

class Base64Paths : public ::testing::Test {
protected:
    void SetUp() override {
        if (vectorPaths().empty()) GTEST_SKIP() << "no vector unit on this processor";
    }

    // expectSameDecoding: every path decodes `text` as the scalar path does.
    static void expectSameDecoding(const Bytes& text, const std::string& what) {
        const Bytes expected = decodeText(text, Base64Path::scalar);
        for (Base64Path path : vectorPaths()) {
            ASSERT_EQ(decodeText(text, path), expected) << pathName(path) << ": " << what;
        }
    }
};

TEST(Base64PathChoice, VectorPathsAreThoseTheProcessorHas) {
#if defined(__x86_64__) || defined(__i386__)
    // The codec's own probe against the compiler's (which also asks whether
    // the operating system saves the registers).
    EXPECT_EQ(zq::base64PathAvailable(Base64Path::ssse3), __builtin_cpu_supports("ssse3") != 0);
    EXPECT_EQ(zq::base64PathAvailable(Base64Path::avx2), __builtin_cpu_supports("avx2") != 0);
    const bool vbmi = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi");
    EXPECT_EQ(zq::base64PathAvailable(Base64Path::avx512), vbmi);
#else
    // The vectorised paths are x86 code: elsewhere none is offered.
    EXPECT_TRUE(vectorPaths().empty());
#endif
    EXPECT_TRUE(zq::base64PathAvailable(Base64Path::scalar));
}

TEST_F(Base64Paths, EncodersAgreeOnEveryLengthUpToEightLines) {
    std::mt19937 rng(1);
    for (size_t n = 0; n <= 8 * 48 + 3; ++n) {
        const Bytes input = randomBytes(rng, n);
        const Bytes expected = encodeBlock(input, Base64Path::scalar);
        for (Base64Path path : vectorPaths()) ASSERT_EQ(encodeBlock(input, path), expected) << pathName(path) << " n=" << n;
    }
}

TEST_F(Base64Paths, EncodersAgreeOnRandomAndExtremeInputs) {
    const uint32_t seed = 20240601;
    std::mt19937 rng(seed);
    std::vector<Bytes> inputs{Bytes(4800, 0x00), Bytes(4800, 0xFF), Bytes(4801, 0xAA)};
    for (int i = 0; i < 40; ++i) inputs.push_back(randomBytes(rng, rng() % 70000));
    for (const Bytes& input : inputs) {
        const Bytes expected = encodeBlock(input, Base64Path::scalar);
        for (Base64Path path : vectorPaths()) {
            ASSERT_EQ(encodeBlock(input, path), expected) << pathName(path) << " seed " << seed << " n=" << input.size();
        }
    }
}

TEST_F(Base64Paths, DecodersAgreeWithEveryByteValueInEveryPlaceOfFiveLines) {
    // Five lines of the encoder's text (more than the four a vector step may
    // take at once); each place in turn takes every byte value, which the
    // vector classifiers must sort as the scalar rules do.
    std::mt19937 rng(7);
    GuardedBuffer text(encodeBlock(randomBytes(rng, 5 * 48 + 10), Base64Path::scalar));
    GuardedBuffer out(zq::base64DecodedCapacity(static_cast<uint32_t>(text.size())));
    auto decode = [&](Base64Path path) {
        const uint32_t count = zq::base64DecodeText(text.data(), static_cast<uint32_t>(text.size()), out.data(), path);
        return Bytes(out.data(), out.data() + count);
    };
    for (size_t place = 0; place < text.size(); ++place) {
        const uint8_t original = text.data()[place];
        for (uint32_t value = 0; value < 256; ++value) {
            text.data()[place] = static_cast<uint8_t>(value);
            const Bytes expected = decode(Base64Path::scalar);
            for (Base64Path path : vectorPaths()) {
                ASSERT_EQ(decode(path), expected) << pathName(path) << ": byte " << value << " at " << place;
            }
        }
        text.data()[place] = original;
    }
}

TEST_F(Base64Paths, DecodersAgreeOnEveryPrefixOfFiveLines) {
    // Every end of the text, in a line, at its CR LF or in the zero tail:
    // the vector runs must stop where fewer than 64 bytes are left.
    std::mt19937 rng(11);
    const Bytes text = encodeBlock(randomBytes(rng, 5 * 48 + 7), Base64Path::scalar);
    for (size_t size = 0; size <= text.size(); ++size) {
        expectSameDecoding(Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size)),
                           "prefix " + std::to_string(size));
    }
}

TEST_F(Base64Paths, DecodersAgreeOnMutilatedText) {
    // The encoder's text with bytes replaced, inserted or removed, cut short
    // or left without its zero bytes.
    const uint8_t nasty[] = {'=', 0, '\r', '\n', ' ', '\t', '@', '[', '`', '{', '*', '-', '_', 0x7F, 0x80, 0xFF, '+', '/', 'A', 'z'};
    const uint32_t seed = 99;
    std::mt19937 rng(seed);
    for (int round = 0; round < 3000; ++round) {
        Bytes text = encodeBlock(randomBytes(rng, rng() % 800), Base64Path::scalar);
        const int edits = static_cast<int>(rng() % 4);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            const size_t at = rng() % text.size();
            const uint8_t byte = nasty[rng() % sizeof nasty];
            switch (rng() % 3) {
                case 0: text[at] = byte; break;
                case 1: text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), byte); break;
                default: text.erase(text.begin() + static_cast<std::ptrdiff_t>(at)); break;
            }
        }
        if (rng() % 3 == 0 && !text.empty()) text.resize(rng() % text.size());
        expectSameDecoding(text, "seed " + std::to_string(seed) + " round " + std::to_string(round));
    }
}

TEST_F(Base64Paths, DecodersAgreeOnOtherLineLayouts) {
    // No line breaks at all, 76-character lines, LF only, and blanks of every
    // kind between groups: the vector runs start wherever a group does.
    std::mt19937 rng(5);
    const Bytes input = randomBytes(rng, 5000);
    const Bytes lined = encodeBlock(input, Base64Path::scalar);
    Bytes plain;
    for (uint8_t c : lined) {
        if (c != '\r' && c != '\n' && c != 0) plain.push_back(c);
    }
    const char* separators[] = {"", "\n", "\r\n", " ", "\t \r\n", "\n\n\n"};
    for (size_t width : {4, 64, 76, 68, 128}) {
        for (const char* separator : separators) {
            Bytes text;
            for (size_t i = 0; i < plain.size(); i += width) {
                text.insert(text.end(), plain.begin() + static_cast<std::ptrdiff_t>(i),
                            plain.begin() + static_cast<std::ptrdiff_t>(std::min(plain.size(), i + width)));
                text.insert(text.end(), separator, separator + strlen(separator));
            }
            ASSERT_EQ(decodeText(text, Base64Path::scalar), input) << width;
            expectSameDecoding(text, "width " + std::to_string(width) + " separator \"" + separator + "\"");
        }
    }
}

}  // namespace
