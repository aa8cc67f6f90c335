// What only the SHA-0 engine has: a compression over several blocks at once,
// which its own feed never asks for (it passes one block at a time).
#include <gtest/gtest.h>

#include <cstring>

#include "engines/digest_engine.h"
#include "engines/digest_vectors.h"

namespace {

using zq::Sha0Context;

TEST(Sha0Engine, CompressOverSeveralBlocksEqualsOneBlockAtATime) {
    const Bytes message = xorshiftBytes(5, 4 * 64);
    uint32_t words[64];
    for (int i = 0; i < 64; ++i) words[i] = zq::loadBig32(message.data() + 4 * i);

    Sha0Context together, apart;
    Sha0Context::begin(together);
    Sha0Context::begin(apart);
    Sha0Context::compress(together, words, 4);
    for (int block = 0; block < 4; ++block) Sha0Context::compress(apart, words + 16 * block, 1);
    EXPECT_EQ(std::memcmp(together.chain, apart.chain, sizeof together.chain), 0);

    // And both are what feeding the bytes gives.
    Sha0Context fed;
    Sha0Context::begin(fed);
    Sha0Context::feed(fed, message.data(), static_cast<uint32_t>(message.size()));
    EXPECT_EQ(std::memcmp(together.chain, fed.chain, sizeof fed.chain), 0);
}

}  // namespace
