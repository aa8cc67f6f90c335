// Round trips through every path, up to several MiB, and texts cut at every
// length: the decoder reads only the bytes a text blob's size grants (the
// buffers end at a guard page) and yields what those bytes cover.
#include "codec/base64_test_support.h"

namespace {

using namespace zq::testing;
using zq::Base64Path;

TEST(Base64RoundTrip, EveryPathGivesBackTheInputUpToSeveralMebibytes) {
    const uint32_t seed = 4242;
    std::mt19937 rng(seed);
    std::vector<size_t> lengths{0, 1, 2, 3, 47, 48, 49, (1u << 20) - 1, 1u << 20, (1u << 20) + 1};
    for (int i = 0; i < 6; ++i) lengths.push_back(rng() % (6u << 20));
    for (size_t n : lengths) {
        const Bytes input = randomBytes(rng, n);
        const Bytes scalarText = encodeBlock(input, Base64Path::scalar);
        for (Base64Path encoder : allPaths()) {
            const Bytes text = encoder == Base64Path::scalar ? scalarText : encodeBlock(input, encoder);
            ASSERT_EQ(text, scalarText) << pathName(encoder) << " seed " << seed << " n=" << n;
            for (Base64Path decoder : allPaths()) {
                ASSERT_EQ(decodeText(text, decoder), input)
                    << pathName(encoder) << " then " << pathName(decoder) << ", seed " << seed << " n=" << n;
            }
        }
    }
}

TEST(Base64RoundTrip, TextCutAtAnyLengthYieldsTheBytesItCovers) {
    // A clean text cut after d digits, whatever the cut splits, yields the
    // first floor(3d / 4) input bytes: whole groups give 3 bytes, a group cut
    // to 2 or 3 digits gives 1 or 2, a single digit none. The cut text has no
    // zero byte, and nothing past the cut may be read.
    std::mt19937 rng(11);
    for (size_t n = 0; n <= 150; ++n) {
        const Bytes input = randomBytes(rng, n);
        const Bytes block = encodeBlock(input, Base64Path::scalar);
        size_t digits = 0;
        for (size_t size = 0; size <= block.size(); ++size) {
            const size_t covered = std::min(n, 3 * digits / 4);
            const Bytes expected(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(covered));
            for (Base64Path path : allPaths()) {
                ASSERT_EQ(decodeText(block.data(), size, path), expected) << pathName(path) << " n=" << n << " size=" << size;
            }
            if (size < block.size() && block[size] != '\r' && block[size] != '\n' && block[size] != 0 &&
                block[size] != '=') {
                ++digits;
            }
        }
    }
}

TEST(Base64RoundTrip, TheDecodersBlockIsAlwaysLargeEnough) {
    // The worst case for the bound: groups of four digits with nothing
    // between them, filling the blob to its last byte, for every size.
    std::mt19937 rng(3);
    for (uint32_t size = 0; size < 300; ++size) {
        Bytes text(size);
        for (auto& c : text) c = static_cast<uint8_t>(zq::Base64Alphabet[rng() % 64]);
        for (Base64Path path : allPaths()) {
            const Bytes bytes = decodeText(text, path);
            ASSERT_EQ(bytes.size(), 3 * size / 4) << pathName(path) << " size=" << size;
        }
    }
}

}  // namespace
