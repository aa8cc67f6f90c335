// The MD5 engine against OpenSSL: random inputs of 0 to 10 000 bytes and a
// few of several MiB, fed whole and in random pieces, and the single-block
// transform against OpenSSL's.
#define OPENSSL_SUPPRESS_DEPRECATED  // MD5_Transform: the one oracle for a bare compression
#include <gtest/gtest.h>
#include <openssl/md5.h>

#include <random>

#include "engines/digest_engine.h"

namespace {

using zq::Md5Context;

TEST(Md5Engine, MatchesOpenSslOnRandomInputs) {
    const uint32_t seed = 0x3d5a11;
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    for (int round = 0; round < 400; ++round) {
        Bytes input(random() % 10001);
        for (auto& byte : input) byte = static_cast<uint8_t>(random());
        SCOPED_TRACE(testing::Message() << "round " << round << ", " << input.size() << " bytes");
        const Bytes expected = Md5Engine::reference(input.data(), input.size());
        ASSERT_EQ(digestOf<Md5Engine>(input), expected);
        std::vector<size_t> pieces;
        for (size_t fed = 0; fed < input.size(); fed += pieces.back()) pieces.push_back(random() % 300);
        ASSERT_EQ(digestInPieces<Md5Engine>(input, pieces), expected);
    }
}

TEST(Md5Engine, MatchesOpenSslOnInputsOfSeveralMebibytes) {
    const uint32_t seed = 0x3d5a12;
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    for (size_t length : {(3u << 20) + 1, (4u << 20) + 63, (7u << 20) + 5}) {
        Bytes input(length);
        for (auto& byte : input) byte = static_cast<uint8_t>(random());
        const Bytes expected = Md5Engine::reference(input.data(), input.size());
        EXPECT_EQ(digestOf<Md5Engine>(input), expected) << length;
        // Pieces of up to 1 MiB, most of them not a whole number of blocks.
        std::vector<size_t> pieces;
        for (size_t fed = 0; fed < length; fed += pieces.back()) pieces.push_back(random() % (1u << 20));
        EXPECT_EQ(digestInPieces<Md5Engine>(input, pieces), expected) << length;
    }
}

TEST(Md5Engine, TransformBlockMatchesOpenSsl) {
    std::mt19937 random(0x3d5a13);
    Md5Context context;
    Md5Context::begin(context);
    MD5_CTX reference;
    MD5_Init(&reference);
    for (int round = 0; round < 20; ++round) {
        uint8_t block[65];
        for (auto& byte : block) byte = static_cast<uint8_t>(random());
        Md5Context::transformBlock(context, block + 1);
        MD5_Transform(&reference, block + 1);
        ASSERT_EQ(context.chain[0], reference.A) << round;
        ASSERT_EQ(context.chain[1], reference.B) << round;
        ASSERT_EQ(context.chain[2], reference.C) << round;
        ASSERT_EQ(context.chain[3], reference.D) << round;
    }
}

}  // namespace
