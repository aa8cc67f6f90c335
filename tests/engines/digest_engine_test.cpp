// What the MD5 and SHA-0 engines share, tested once for both: the known
// answers, independence from how the input is split or aligned, the packed
// pending block, the bit counters (with the carry at 2^29 bytes), and what
// begin, finish, the digest so far, a zero-length feed and transformBlock
// leave in the context.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include "engines/digest_engine.h"
#include "engines/digest_vectors.h"

namespace {

template <typename Engine>
class DigestEngine : public ::testing::Test {};

using Engines = ::testing::Types<Md5Engine, Sha0Engine>;
class EngineNames {
public:
    template <typename Engine>
    static std::string GetName(int) {
        return std::is_same_v<Engine, Md5Engine> ? "Md5" : "Sha0";
    }
};
TYPED_TEST_SUITE(DigestEngine, Engines, EngineNames);

template <typename Context>
bool sameContext(const Context& a, const Context& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A context whose every byte is `garbage` before begin, so that a field begin
// forgot or a stale block word read before it is written shows.
template <typename Engine>
typename Engine::Context begunOver(uint8_t garbage) {
    typename Engine::Context context;
    std::memset(&context, garbage, sizeof context);
    Engine::Context::begin(context);
    return context;
}

TYPED_TEST(DigestEngine, KnownAnswersInOneFeedAndByteByByte) {
    for (const char* file : TypeParam::vectorFiles) {
        for (const DigestVector& vector : readDigestVectors(file)) {
            SCOPED_TRACE(vector.name);
            EXPECT_EQ(digestOf<TypeParam>(vector.message), vector.digest);
            if (vector.message.size() <= 70000) {
                EXPECT_EQ(digestInPieces<TypeParam>(vector.message, std::vector<size_t>(vector.message.size(), 1)),
                          vector.digest);
            }
        }
    }
}

TYPED_TEST(DigestEngine, BeginOverwritesEverythingThatIsRead) {
    // A context full of 0xFF and one full of 0x00 before begin give the same
    // digests, finished or so far, at every padding position, also when the
    // block words that the padding sets outright (p a multiple of 4) held set
    // bits.
    for (size_t length = 0; length <= 130; ++length) {
        SCOPED_TRACE(length);
        const Bytes message = xorshiftBytes(static_cast<uint32_t>(length + 1), length);
        Bytes digests[2];
        for (int round = 0; round < 2; ++round) {
            auto context = begunOver<TypeParam>(round == 0 ? 0xFF : 0x00);
            TypeParam::Context::feed(context, message.data(), static_cast<uint32_t>(length));
            // The digest so far leaves every byte of the context as it was,
            // stale block words included, and agrees with finish.
            const auto before = context;
            Bytes soFar(TypeParam::digestSize);
            TypeParam::Context::digestSoFar(soFar.data(), context);
            EXPECT_TRUE(sameContext(before, context));
            digests[round].resize(TypeParam::digestSize);
            TypeParam::Context::finish(digests[round].data(), context);
            EXPECT_EQ(soFar, digests[round]);
        }
        EXPECT_EQ(digests[0], digests[1]);
        EXPECT_EQ(digests[0], digestOf<TypeParam>(message));
    }
}

TYPED_TEST(DigestEngine, DigestDoesNotDependOnHowTheInputIsSplitOrAligned) {
    const uint32_t seed = 0x5eed0001;
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 random(seed);

    // Every split point of a 200-byte message, with an empty feed at it.
    const Bytes message = xorshiftBytes(7, 200);
    const Bytes whole = digestOf<TypeParam>(message);
    for (size_t k = 0; k <= message.size(); ++k) {
        EXPECT_EQ(digestInPieces<TypeParam>(message, {k, 0}), whole) << "split at " << k;
    }

    for (int round = 0; round < 150; ++round) {
        const size_t length = round < 140 ? random() % 400 : 1000 + random() % 5000;
        Bytes input(length);
        for (auto& byte : input) byte = static_cast<uint8_t>(random());
        const Bytes expected = digestOf<TypeParam>(input);
        SCOPED_TRACE(testing::Message() << "round " << round << ", " << length << " bytes");

        // Runs of 1, 2 and 3 bytes, ending inside words and at block edges.
        for (size_t run = 1; run <= 3; ++run) {
            EXPECT_EQ(digestInPieces<TypeParam>(input, std::vector<size_t>(length / run + 1, run)), expected);
        }
        // Random pieces, with empty feeds between some of them.
        std::vector<size_t> pieces;
        for (size_t fed = 0; fed < length;) {
            const size_t piece = random() % 4 == 0 ? 0 : random() % 140;
            pieces.push_back(piece);
            fed += piece;
        }
        EXPECT_EQ(digestInPieces<TypeParam>(input, pieces), expected);
        // The same bytes at every alignment.
        for (size_t offset = 1; offset < 8; ++offset) {
            Bytes shifted(offset + length);
            std::copy(input.begin(), input.end(), shifted.begin() + offset);
            EXPECT_EQ(digestOf<TypeParam>(shifted.data() + offset, length), expected) << "offset " << offset;
        }
    }
}

TYPED_TEST(DigestEngine, PendingBytesArePackedIntoWordsAsTheyArrive) {
    // After k bytes (fed as k/3 bytes and then the rest), pending byte i is at
    // its lane of word i / 4, and the word holding the last byte has nothing
    // beyond it, whatever the block held before.
    const Bytes message = xorshiftBytes(99, 63);
    for (uint32_t k = 1; k < 64; ++k) {
        SCOPED_TRACE(k);
        auto context = begunOver<TypeParam>(0xFF);
        TypeParam::Context::feed(context, message.data(), k / 3);
        TypeParam::Context::feed(context, message.data() + k / 3, k - k / 3);
        EXPECT_EQ(context.pendingBytes, k);
        uint32_t expected[16] = {};
        for (uint32_t i = 0; i < k; ++i) {
            const uint32_t lane = TypeParam::order == zq::ByteOrder::little ? i % 4 : 3 - i % 4;
            expected[i / 4] |= uint32_t{message[i]} << (8 * lane);
        }
        for (uint32_t w = 0; w <= (k - 1) / 4; ++w) EXPECT_EQ(context.block[w], expected[w]) << "word " << w;
    }
}

TYPED_TEST(DigestEngine, ZeroLengthFeedChangesNothingAndReadsNothing) {
    const Bytes message = xorshiftBytes(3, 200);
    for (uint32_t fed : {0u, 1u, 5u, 63u, 64u, 70u, 200u}) {
        auto context = begunOver<TypeParam>(0x3C);
        TypeParam::Context::feed(context, message.data(), fed);
        const auto before = context;
        TypeParam::Context::feed(context, nullptr, 0);
        EXPECT_TRUE(sameContext(context, before)) << "after " << fed << " bytes";
    }
}

TYPED_TEST(DigestEngine, FinishLeavesTheCountersAndTheDigestWordsInTheChain) {
    for (uint32_t length : {0u, 3u, 55u, 56u, 64u, 1000u}) {
        SCOPED_TRACE(length);
        const Bytes message = xorshiftBytes(length + 11, length);
        auto context = begunOver<TypeParam>(0);
        TypeParam::Context::feed(context, message.data(), length);
        Bytes digest(TypeParam::digestSize);
        TypeParam::Context::finish(digest.data(), context);
        EXPECT_EQ(context.pendingBytes, 0u);
        EXPECT_EQ(context.bitCountLow, 8 * length);
        EXPECT_EQ(context.bitCountHigh, 0u);
        for (uint32_t i = 0; i < TypeParam::chainWords; ++i) {
            EXPECT_EQ(context.chain[i], zq::load32<TypeParam::order>(digest.data() + 4 * i)) << "word " << i;
        }
    }
}

TYPED_TEST(DigestEngine, BitCounterCarriesOutOfTheLowWord) {
    const uint8_t bytes[3] = {1, 2, 3};
    auto context = begunOver<TypeParam>(0);
    context.bitCountLow = 0xFFFFFFF8u;  // one byte short of a carry
    context.bitCountHigh = 7;
    TypeParam::Context::feed(context, bytes, 1);
    EXPECT_EQ(context.bitCountLow, 0u);
    EXPECT_EQ(context.bitCountHigh, 8u);

    context.bitCountLow = 0xFFFFFFF0u;
    TypeParam::Context::feed(context, bytes, 3);
    EXPECT_EQ(context.bitCountLow, 8u);
    EXPECT_EQ(context.bitCountHigh, 9u);
}

TYPED_TEST(DigestEngine, BitCounterCarriesAt2To29BytesByOneFeedOrByTwo) {
    // 2^29 bytes are 2^32 bits: one feed carries through count >> 29, two
    // feeds of 2^28 bytes through the wrap of the low word. The buffer is
    // calloc'd zeros, which reading does not make resident.
    const uint32_t half = 1u << 28;
    auto* zeros = static_cast<uint8_t*>(std::calloc(2 * size_t{half}, 1));
    ASSERT_NE(zeros, nullptr);

    auto once = begunOver<TypeParam>(0);
    TypeParam::Context::feed(once, zeros, 2 * half);
    auto twice = begunOver<TypeParam>(0);
    TypeParam::Context::feed(twice, zeros, half);
    EXPECT_EQ(twice.bitCountLow, 0x80000000u);
    EXPECT_EQ(twice.bitCountHigh, 0u);
    TypeParam::Context::feed(twice, zeros + half, half);

    for (const auto* context : {&once, &twice}) {
        EXPECT_EQ(context->bitCountLow, 0u);
        EXPECT_EQ(context->bitCountHigh, 1u);
    }
    Bytes digests[2] = {Bytes(TypeParam::digestSize), Bytes(TypeParam::digestSize)};
    TypeParam::Context::finish(digests[0].data(), once);
    TypeParam::Context::finish(digests[1].data(), twice);
    EXPECT_EQ(digests[0], digests[1]);
    if constexpr (requires { TypeParam::reference(zeros, 0); }) {
        // The length block with a non-zero high word, against OpenSSL.
        EXPECT_EQ(digests[0], TypeParam::reference(zeros, 2 * size_t{half}));
    }
    std::free(zeros);
}

TYPED_TEST(DigestEngine, TransformBlockChangesOnlyTheChain) {
    const Bytes message = xorshiftBytes(21, 75);
    auto context = begunOver<TypeParam>(0x77);
    TypeParam::Context::feed(context, message.data(), 10);  // some pending bytes
    const auto before = context;

    // The block at an odd address, as the first block of a fresh message.
    TypeParam::Context::transformBlock(context, message.data() + 11);
    auto fed = begunOver<TypeParam>(0);
    TypeParam::Context::feed(fed, message.data() + 11, 64);

    auto expected = before;
    std::memcpy(expected.chain, fed.chain, sizeof expected.chain);
    EXPECT_TRUE(sameContext(context, expected));
    EXPECT_NE(std::memcmp(context.chain, before.chain, sizeof before.chain), 0);
}

}  // namespace
