// The codec against OpenSSL: the encoder's block is OpenSSL's line-broken
// text with CR LF and the zero tail, and on well-formed text the decoder
// yields what OpenSSL's decoders yield. Random cases print their seed.
#include <openssl/evp.h>

#include <memory>

#include "codec/base64_test_support.h"

namespace {

using namespace zq::testing;
using zq::Base64Path;

using EncodeContext = std::unique_ptr<EVP_ENCODE_CTX, decltype(&EVP_ENCODE_CTX_free)>;

// OpenSSL's line-broken text: 64 characters and "\n" per line, the last
// line, complete or not, ended by "\n" too.
std::string opensslEncodeLines(const Bytes& input) {
    EncodeContext context(EVP_ENCODE_CTX_new(), EVP_ENCODE_CTX_free);
    EVP_EncodeInit(context.get());
    std::string text(2 * input.size() + 80, '\0');
    int length = 0, last = 0;
    // Fed in pieces so that no single update passes OpenSSL's int limits.
    for (size_t at = 0; at < input.size();) {
        const int piece = static_cast<int>(std::min<size_t>(input.size() - at, 1u << 20));
        int written = 0;
        EXPECT_EQ(EVP_EncodeUpdate(context.get(), reinterpret_cast<unsigned char*>(&text[length]), &written,
                                   input.data() + at, piece), 1);
        length += written;
        at += static_cast<size_t>(piece);
    }
    EVP_EncodeFinal(context.get(), reinterpret_cast<unsigned char*>(&text[length]), &last);
    text.resize(static_cast<size_t>(length + last));
    return text;
}

// opensslDecodeLines: what EVP_DecodeUpdate and EVP_DecodeFinal make of
// `text`, which must be well-formed to them.
Bytes opensslDecodeLines(const Bytes& text) {
    EncodeContext context(EVP_ENCODE_CTX_new(), EVP_ENCODE_CTX_free);
    EVP_DecodeInit(context.get());
    Bytes bytes(text.size() + 80);
    int length = 0, last = 0;
    EXPECT_GE(EVP_DecodeUpdate(context.get(), bytes.data(), &length, text.data(), static_cast<int>(text.size())), 0);
    EXPECT_EQ(EVP_DecodeFinal(context.get(), bytes.data() + length, &last), 1);
    bytes.resize(static_cast<size_t>(length + last));
    return bytes;
}

// The block the encoder must write, made from OpenSSL's text: CR LF for each
// line break, none behind a last line shorter than 64, then 4 zero bytes
// (6 when the number of complete lines is odd).
Bytes expectedBlock(const Bytes& input) {
    const std::string lines = opensslEncodeLines(input);
    Bytes block;
    size_t completeLines = 0, lineLength = 0;
    for (char c : lines) {
        if (c != '\n') {
            block.push_back(static_cast<uint8_t>(c));
            ++lineLength;
        } else if (lineLength == 64) {
            block.push_back('\r');
            block.push_back('\n');
            ++completeLines;
            lineLength = 0;
        }
    }
    block.resize(block.size() + (completeLines % 2 == 0 ? 4 : 6), 0);
    return block;
}

TEST(Base64OpenSsl, EncoderWritesOpenSslsLinesWithCrLfAndTheZeroTail) {
    const uint32_t seed = 17;
    std::mt19937 rng(seed);
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 1000; ++n) lengths.push_back(n);
    for (int i = 0; i < 10; ++i) lengths.push_back(rng() % (3u << 20));
    for (size_t n : lengths) {
        const Bytes input = randomBytes(rng, n);
        const Bytes expected = expectedBlock(input);
        for (Base64Path path : allPaths()) ASSERT_EQ(encodeBlock(input, path), expected) << pathName(path) << " seed " << seed << " n=" << n;
    }
}

TEST(Base64OpenSsl, DecoderReadsOpenSslsTextAndOpenSslReadsOurs) {
    const uint32_t seed = 23;
    std::mt19937 rng(seed);
    for (int i = 0; i < 200; ++i) {
        const Bytes input = randomBytes(rng, i < 100 ? rng() % 300 : rng() % 200000);
        const Bytes theirs = asBytes(opensslEncodeLines(input));
        const Bytes ours = encodeBlock(input, Base64Path::scalar);
        for (Base64Path path : allPaths()) ASSERT_EQ(decodeText(theirs, path), input) << pathName(path) << " seed " << seed;
        // OpenSSL stops at the first zero byte as an invalid character, so it
        // gets the text without the tail.
        Bytes text(ours.begin(), std::find(ours.begin(), ours.end(), uint8_t{0}));
        ASSERT_EQ(opensslDecodeLines(text), input) << "seed " << seed;
    }
}

TEST(Base64OpenSsl, DecodersAgreeOnRandomWellFormedText) {
    // Digits in whole groups, with or without "=" padding at the end, and
    // any mix of CR, LF, space and TAB between groups: text that need not
    // come from any encoder (the bits below the padding need not be 0).
    const char blanks[] = {'\r', '\n', ' ', '\t'};
    const uint32_t seed = 31;
    std::mt19937 rng(seed);
    for (int round = 0; round < 2000; ++round) {
        Bytes text, plain;
        const size_t groups = rng() % 100;
        for (size_t g = 0; g < groups; ++g) {
            uint8_t group[4];
            for (auto& c : group) c = static_cast<uint8_t>(zq::Base64Alphabet[rng() % 64]);
            if (g + 1 == groups) {
                const uint32_t pad = rng() % 3;
                if (pad >= 1) group[3] = '=';
                if (pad == 2) group[2] = '=';
            }
            text.insert(text.end(), group, group + 4);
            plain.insert(plain.end(), group, group + 4);
            for (uint32_t b = rng() % 4 == 0 ? rng() % 4 : 0; b != 0; --b) text.push_back(static_cast<uint8_t>(blanks[rng() % 4]));
        }
        const Bytes expected = opensslDecodeLines(text);
        // The block decoder agrees, once its bytes for the padding are gone.
        Bytes block(3 * plain.size() / 4 + 1);
        const int length = EVP_DecodeBlock(block.data(), plain.data(), static_cast<int>(plain.size()));
        ASSERT_GE(length, 0);
        block.resize(static_cast<size_t>(length) - static_cast<size_t>(std::count(plain.begin(), plain.end(), '=')));
        ASSERT_EQ(block, expected) << "seed " << seed << " round " << round;

        for (Base64Path path : allPaths()) {
            ASSERT_EQ(decodeText(text, path), expected) << pathName(path) << " seed " << seed << " round " << round;
        }
    }
}

}  // namespace
