// Provider hash objects: creation for the two algorithms and refusal of
// others, size and value queries with right and wrong lengths, the stored
// value and what follows from it, and an exhausted heap. Every case ends with
// the heap holding as many blocks as it began with.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "frame/heap_probe.h"
#include "provider/hash_object.h"

namespace {

using namespace zq;
namespace probe = zq::heap_probe;
using Bytes = std::vector<uint8_t>;

Bytes md5Reference(const Bytes& message) {
    Bytes digest(16);
    EVP_Digest(message.data(), message.size(), digest.data(), nullptr, EVP_md5(), nullptr);
    return digest;
}

Bytes fromHex(const std::string& hex) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

class HashObjects : public ::testing::Test {
protected:
    void SetUp() override { liveAtStart_ = probe::liveBlocks(); }
    void TearDown() override {
        probe::stopFailing();
        EXPECT_EQ(probe::liveBlocks(), liveAtStart_) << "the case left heap blocks behind";
    }

    static HashObject* create(uint32_t algId) {
        HashObject* hash = nullptr;
        EXPECT_EQ(ProvCreateHash(0, algId, 0, 0, &hash), 1u);
        return hash;
    }

    static void feed(HashObject* hash, const Bytes& bytes) {
        EXPECT_EQ(ProvHashData(hash, bytes.data(), static_cast<uint32_t>(bytes.size()), 0), 1u);
    }

    // value is the object's hash value through a buffer of `length` bytes,
    // or nothing when the query fails.
    static Bytes value(const HashObject* hash, uint32_t length) {
        Bytes buffer(length);
        uint32_t inOut = length;
        if (ProvGetHashParam(hash, HP_HASHVAL, buffer.data(), &inOut, 0) == 0) return {};
        EXPECT_EQ(inOut, length);
        return buffer;
    }

private:
    uint32_t liveAtStart_ = 0;
};

TEST_F(HashObjects, ProviderHandleIsNull) {
    ProviderContext provider = 0x1234;
    EXPECT_EQ(ProvAcquireContext(&provider, nullptr, nullptr, PROV_RSA_FULL, 0), 1u);
    EXPECT_EQ(provider, 0u);
    EXPECT_EQ(ProvReleaseContext(provider, 0), 1u);
}

TEST_F(HashObjects, CreateRefusesUnknownAlgorithmsWithoutTouchingTheHandle) {
    for (uint32_t algId : {0u, 0x8001u, 0x8002u, 0x8005u, 0x800Cu, 0x3u, 0xFFFFFFFFu}) {
        auto* sentinel = reinterpret_cast<HashObject*>(uintptr_t{0x5A5A});
        HashObject* hash = sentinel;
        EXPECT_EQ(ProvCreateHash(0, algId, 0, 0, &hash), 0u) << std::hex << algId;
        EXPECT_EQ(hash, sentinel);
    }
}

TEST_F(HashObjects, CreateKeepsTheAlgorithmAndFlagsAndBeginsTheEngine) {
    HashObject* hash = nullptr;
    ASSERT_EQ(ProvCreateHash(0, CALG_SHA, 0, 0x77, &hash), 1u);
    EXPECT_EQ(hash->algId, CALG_SHA);
    EXPECT_EQ(hash->flags, 0x77u);
    EXPECT_EQ(hash->storedValue(), nullptr);
    EXPECT_EQ(value(hash, 20), fromHex("f96cea198ad1dd5617ac084a3d92c6107708c0ef"));  // SHA-0 of nothing
    ProvDestroyHash(hash);

    hash = create(CALG_MD5);
    EXPECT_EQ(hash->algId, CALG_MD5);
    EXPECT_EQ(value(hash, 16), md5Reference({}));
    ProvDestroyHash(hash);
}

TEST_F(HashObjects, SizeQueryWantsExactlyFourBytes) {
    for (uint32_t algId : {CALG_MD5, CALG_SHA}) {
        HashObject* hash = create(algId);
        uint32_t length = 99;
        EXPECT_EQ(ProvGetHashParam(hash, HP_HASHSIZE, nullptr, &length, 0), 1u);
        EXPECT_EQ(length, 4u);

        uint8_t buffer[8];
        for (uint32_t wrong : {0u, 3u, 5u, 8u}) {
            std::memset(buffer, 0xEE, sizeof buffer);
            length = wrong;
            EXPECT_EQ(ProvGetHashParam(hash, HP_HASHSIZE, buffer, &length, 0), 0u) << wrong;
            EXPECT_EQ(length, wrong);
            for (uint8_t byte : buffer) EXPECT_EQ(byte, 0xEE);
        }
        length = 4;
        EXPECT_EQ(ProvGetHashParam(hash, HP_HASHSIZE, buffer + 1, &length, 0), 1u);  // any alignment
        uint32_t size = 0;
        std::memcpy(&size, buffer + 1, 4);
        EXPECT_EQ(size, algId == CALG_SHA ? 20u : 16u);
        EXPECT_EQ(length, 4u);
        ProvDestroyHash(hash);
    }
}

TEST_F(HashObjects, ValueQueryWantsExactlyTheHashSize) {
    for (uint32_t algId : {CALG_MD5, CALG_SHA}) {
        const uint32_t size = algId == CALG_SHA ? 20 : 16;
        HashObject* hash = create(algId);
        uint32_t length = 0;
        EXPECT_EQ(ProvGetHashParam(hash, HP_HASHVAL, nullptr, &length, 0), 1u);
        EXPECT_EQ(length, size);

        uint8_t buffer[24];
        for (uint32_t wrong : {0u, size - 1, size + 1, 24u}) {
            std::memset(buffer, 0xEE, sizeof buffer);
            length = wrong;
            EXPECT_EQ(ProvGetHashParam(hash, HP_HASHVAL, buffer, &length, 0), 0u) << wrong;
            EXPECT_EQ(length, wrong);
            for (uint8_t byte : buffer) EXPECT_EQ(byte, 0xEE);
        }
        ProvDestroyHash(hash);
    }
}

TEST_F(HashObjects, OtherParametersAreRefused) {
    HashObject* hash = create(CALG_MD5);
    uint8_t buffer[16];
    for (uint32_t parameter : {0u, 1u, 3u, 5u, 0x8002u}) {
        uint32_t length = 16;
        EXPECT_EQ(ProvGetHashParam(hash, parameter, buffer, &length, 0), 0u) << parameter;
        EXPECT_EQ(ProvGetHashParam(hash, parameter, nullptr, &length, 0), 0u) << parameter;
        EXPECT_EQ(length, 16u);
    }
    ProvDestroyHash(hash);
}

TEST_F(HashObjects, ValueIsTheDigestOfEverythingFedSoFar) {
    const Bytes abc = {'a', 'b', 'c'};
    HashObject* sha = create(CALG_SHA);
    feed(sha, {'a'});
    feed(sha, {});
    feed(sha, {'b', 'c'});
    EXPECT_EQ(value(sha, 20), fromHex("0164b8a914cd2a5e74c4f7ff082c4d97f1edf880"));  // FIPS 180
    ProvDestroyHash(sha);

    // Asking twice gives the same value, and data fed after a query extends
    // the message.
    Bytes message(1000);
    for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i * 7);
    HashObject* md5 = create(CALG_MD5);
    feed(md5, Bytes(message.begin(), message.begin() + 300));
    EXPECT_EQ(value(md5, 16), md5Reference(Bytes(message.begin(), message.begin() + 300)));
    EXPECT_EQ(value(md5, 16), md5Reference(Bytes(message.begin(), message.begin() + 300)));
    feed(md5, Bytes(message.begin() + 300, message.end()));
    EXPECT_EQ(value(md5, 16), md5Reference(message));
    ProvDestroyHash(md5);
}

TEST_F(HashObjects, StoredValueReplacesTheEngine) {
    for (uint32_t algId : {CALG_MD5, CALG_SHA}) {
        HashObject* hash = create(algId);
        feed(hash, {1, 2, 3});
        Bytes given(20);
        for (size_t i = 0; i < given.size(); ++i) given[i] = static_cast<uint8_t>(0xA0 + i);
        EXPECT_EQ(ProvSetHashParam(hash, HP_HASHVAL, given.data(), 0), 1u);
        const Bytes first16(given.begin(), given.begin() + 16);
        given.assign(20, 0);  // the object holds a copy of its own

        EXPECT_EQ(hash->algId, 0u);
        ASSERT_NE(hash->storedValue(), nullptr);
        EXPECT_EQ(Bytes(hash->storedValue(), hash->storedValue() + 16), first16);
        EXPECT_EQ(hash->state.stored.size, 16u);

        uint32_t length = 0;
        EXPECT_EQ(ProvGetHashParam(hash, HP_HASHVAL, nullptr, &length, 0), 1u);
        EXPECT_EQ(length, 16u);  // also for a former SHA-0 object
        EXPECT_EQ(value(hash, 16), first16);
        EXPECT_EQ(ProvHashData(hash, given.data(), 4, 0), 0u);
        EXPECT_EQ(ProvHashData(hash, given.data(), 0, 0), 0u);

        // A second store replaces the first without leaving its block behind.
        const Bytes second(16, 0x42);
        EXPECT_EQ(ProvSetHashParam(hash, 0, second.data(), 0), 1u);
        EXPECT_EQ(value(hash, 16), second);
        EXPECT_EQ(ProvDestroyHash(hash), 1u);  // releases the stored copy too
    }
}

TEST_F(HashObjects, DestroyAcceptsNull) { EXPECT_EQ(ProvDestroyHash(nullptr), 1u); }

TEST_F(HashObjects, ExhaustedHeapFailsCreateAndStoreWithoutHarm) {
    auto* sentinel = reinterpret_cast<HashObject*>(uintptr_t{0x5A5A});
    HashObject* hash = sentinel;
    probe::failAllocations(0, false);
    EXPECT_EQ(ProvCreateHash(0, CALG_MD5, 0, 0, &hash), 0u);
    EXPECT_EQ(hash, sentinel);
    EXPECT_EQ(probe::failedAllocations(), 1u);

    hash = create(CALG_MD5);
    feed(hash, {'a', 'b'});
    const Bytes given(16, 0x11);
    probe::failAllocations(0, false);
    EXPECT_EQ(ProvSetHashParam(hash, HP_HASHVAL, given.data(), 0), 0u);
    EXPECT_EQ(probe::failedAllocations(), 1u);
    // Still the MD5 object it was.
    EXPECT_EQ(hash->algId, CALG_MD5);
    feed(hash, {'c'});
    EXPECT_EQ(value(hash, 16), md5Reference({'a', 'b', 'c'}));
    ProvDestroyHash(hash);
}

TEST(HashBufferThreads, ManyThreadsHashAtOnce) {
    // Each thread hashes its own inputs into its own output blob through the
    // export, with the heap shared by all of them.
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &mismatches] {
            for (int round = 0; round < 300; ++round) {
                CryptBlob scratch{0, 0, nullptr}, input{0, 0, nullptr}, output{0, 0, nullptr};
                const uint32_t size = static_cast<uint32_t>(round * 13 + t);
                zqCryptBlobInit(&scratch, size);
                for (uint32_t i = 0; i < size; ++i) scratch.data[i] = static_cast<uint8_t>(i ^ t);
                zqCryptBlobCopy(&input, &scratch);
                if (zqCryptHashBuffer(&input, 0, &output) != 1 ||
                    Bytes(output.data, output.data + output.size) !=
                        md5Reference(Bytes(input.data, input.data + input.size))) {
                    ++mismatches[t];
                }
                zqCryptBlobClear(&scratch);
                zqCryptBlobClear(&input);
                zqCryptBlobClear(&output);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
