// The RC4 stage: the published keystreams of RFC 6229, OpenSSL's RC4 on random
// keys and data, runs split into pieces and calls starting at every index, the
// state's low-8-bit rule, and calls that must change nothing.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engines/rc4.h"

namespace {

using Bytes = std::vector<uint8_t>;
using zq::Rc4State;

Bytes fromHex(const std::string& hex) {
    Bytes bytes;
    for (size_t k = 0; k + 1 < hex.size(); k += 2) bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(k, 2), nullptr, 16)));
    return bytes;
}

Rc4State keyed(const Bytes& key) {
    Rc4State state;
    state.setKey(key.data(), static_cast<uint32_t>(key.size()));
    return state;
}

Bytes crypt(Rc4State& state, const Bytes& input) {
    Bytes output(input.size());
    state.crypt(static_cast<uint32_t>(input.size()), input.data(), output.data());
    return output;
}

bool sameState(const Rc4State& a, const Rc4State& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// One RFC 6229 row: 16 keystream bytes at an offset, for a key.
struct KeystreamRow {
    Bytes key;
    uint32_t offset;
    Bytes stream;
};

std::vector<KeystreamRow> loadRfc6229() {
    std::ifstream file(std::string(ZQ_VECTORS_DIR) + "/rc4_rfc6229.txt");
    std::vector<KeystreamRow> rows;
    Bytes key;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, equals, value;
        fields >> name >> equals >> value;
        if (name == "Key") key = fromHex(value);
        else rows.push_back({key, static_cast<uint32_t>(std::stoul(name)), fromHex(value)});
    }
    return rows;
}

TEST(Rc4, Rfc6229KeystreamsForKeysOf40To256Bits) {
    const std::vector<KeystreamRow> rows = loadRfc6229();
    ASSERT_EQ(rows.size(), 2u * 7u * 18u) << "two key families, seven key sizes, eighteen offsets";
    const Bytes zeros(4112, 0);
    for (const KeystreamRow& row : rows) {
        Rc4State state = keyed(row.key);
        const Bytes stream = crypt(state, zeros);
        const Bytes at(stream.begin() + row.offset, stream.begin() + row.offset + 16);
        EXPECT_EQ(at, row.stream) << "key size " << row.key.size() << " offset " << row.offset;
    }
}

TEST(Rc4, KeyScheduleLeavesIndicesZeroAndAPermutation) {
    const Rc4State state = keyed(fromHex("0102030405"));
    EXPECT_EQ(state.i, 0u);
    EXPECT_EQ(state.j, 0u);
    std::vector<int> seen(256, 0);
    for (uint32_t entry : state.sbox) {
        ASSERT_LT(entry, 256u);
        ++seen[entry];
    }
    EXPECT_EQ(seen, std::vector<int>(256, 1));
}

TEST(Rc4, EmptyKeyLeavesTheIdentity) {
    Rc4State state = keyed(fromHex("0102030405"));
    state.i = 7;
    state.setKey(nullptr, 0);
    EXPECT_EQ(state.i, 0u);
    EXPECT_EQ(state.j, 0u);
    for (uint32_t k = 0; k < 256; ++k) ASSERT_EQ(state.sbox[k], k);
}

// OpenSSL's RC4 lives in its legacy provider; the case is skipped where that
// provider cannot be loaded (the RFC rows above still hold).
class OpenSslRc4 : public ::testing::Test {
protected:
    void SetUp() override {
        legacy_ = OSSL_PROVIDER_load(nullptr, "legacy");
        default_ = OSSL_PROVIDER_load(nullptr, "default");
        if (legacy_ != nullptr) cipher_ = EVP_CIPHER_fetch(nullptr, "RC4", nullptr);
        if (cipher_ == nullptr) GTEST_SKIP() << "OpenSSL offers no RC4 here (legacy provider missing)";
    }
    void TearDown() override {
        EVP_CIPHER_free(cipher_);
        if (default_ != nullptr) OSSL_PROVIDER_unload(default_);
        if (legacy_ != nullptr) OSSL_PROVIDER_unload(legacy_);
    }

    Bytes encrypt(const Bytes& key, const Bytes& input) {
        EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
        Bytes output(input.size());
        int written = 0;
        bool ok = EVP_EncryptInit_ex(context, cipher_, nullptr, nullptr, nullptr) == 1 &&
                  EVP_CIPHER_CTX_set_key_length(context, static_cast<int>(key.size())) == 1 &&
                  EVP_EncryptInit_ex(context, nullptr, nullptr, key.data(), nullptr) == 1 &&
                  EVP_EncryptUpdate(context, output.data(), &written, input.data(), static_cast<int>(input.size())) == 1;
        EVP_CIPHER_CTX_free(context);
        EXPECT_TRUE(ok);
        EXPECT_EQ(static_cast<size_t>(written), input.size());
        return output;
    }

    OSSL_PROVIDER* legacy_ = nullptr;
    OSSL_PROVIDER* default_ = nullptr;
    EVP_CIPHER* cipher_ = nullptr;
};

TEST_F(OpenSslRc4, AgreesOnRandomKeysAndData) {
    const uint32_t seed = 0x52433401;
    std::mt19937 random(seed);
    for (int round = 0; round < 200; ++round) {
        const size_t keySize = 1 + random() % 64;  // 8 to 512 bits
        Bytes key(keySize), data(random() % 5000);
        for (uint8_t& b : key) b = static_cast<uint8_t>(random());
        for (uint8_t& b : data) b = static_cast<uint8_t>(random());
        Rc4State state = keyed(key);
        ASSERT_EQ(crypt(state, data), encrypt(key, data)) << "seed " << seed << " round " << round;
    }
}

TEST_F(OpenSslRc4, AgreesOnTheRfc6229KeysThroughOffset4096) {
    const Bytes zeros(4112, 0);
    for (const KeystreamRow& row : loadRfc6229()) {
        if (row.offset != 0) continue;
        Rc4State state = keyed(row.key);
        ASSERT_EQ(crypt(state, zeros), encrypt(row.key, zeros)) << "key size " << row.key.size();
    }
}

TEST(Rc4, PiecesGiveTheSameBytesAndStateAsOneRun) {
    const Bytes key = fromHex("0102030405060708090a0b0c0d0e0f10");
    Bytes data(1000);
    for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<uint8_t>(k * 31 + 7);

    Rc4State whole = keyed(key);
    const Bytes expected = crypt(whole, data);

    for (uint32_t piece : {1u, 7u, 8u, 9u, 100u}) {
        Rc4State state = keyed(key);
        Bytes output(data.size());
        for (size_t at = 0; at < data.size(); at += piece) {
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(piece, data.size() - at));
            state.crypt(n, data.data() + at, output.data() + at);
        }
        EXPECT_EQ(output, expected) << "pieces of " << piece;
        EXPECT_TRUE(sameState(state, whole)) << "pieces of " << piece;
    }
}

// A call may start at any i, among them the last ones where the groups of
// eight in a row give way to the stepwise ones near the end of the table:
// a first call of 0 to 255 bytes, then one long enough to wrap around the
// table, must give the bytes and state of one run, and read nothing past
// the table.
TEST(Rc4, ASecondCallStartingAtEachIndexContinuesTheKeystream) {
    const Bytes key = fromHex("0102030405060708090a0b0c0d0e0f10");
    constexpr uint32_t kLength = 271;  // 33 groups and 7 steps
    // The state ends where a page that may not be read begins: a read past
    // the table's last entry faults.
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* mapping = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapping, MAP_FAILED);
    auto* pages = static_cast<uint8_t*>(mapping);
    ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);
    Rc4State& state = *new (pages + page - sizeof(Rc4State)) Rc4State;
    for (uint32_t start = 0; start < 256; ++start) {
        Bytes data(start + kLength);
        for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<uint8_t>(k * 13 + 5);
        Rc4State whole = keyed(key);
        const Bytes expected = crypt(whole, data);

        state = keyed(key);
        Bytes output(data.size());
        state.crypt(start, data.data(), output.data());
        ASSERT_EQ(state.i, start);
        state.crypt(kLength, data.data() + start, output.data() + start);
        ASSERT_EQ(output, expected) << "second call at i = " << start;
        ASSERT_TRUE(sameState(state, whole)) << "second call at i = " << start;
    }
    munmap(pages, 2 * page);
}

TEST(Rc4, CryptingTwiceGivesTheInputBackAlsoInPlace) {
    const Bytes key = fromHex("833222772a");
    for (size_t size : {0u, 1u, 7u, 8u, 9u, 63u, 64u, 65u, 1031u}) {
        Bytes data(size);
        for (size_t k = 0; k < size; ++k) data[k] = static_cast<uint8_t>(k ^ 0xA5);
        Rc4State first = keyed(key);
        const Bytes once = crypt(first, data);
        if (size >= 8) {
            EXPECT_NE(once, data);
        }

        Rc4State second = keyed(key);
        Bytes buffer = once;
        second.crypt(static_cast<uint32_t>(size), buffer.data(), buffer.data());
        EXPECT_EQ(buffer, data) << size << " bytes";
        EXPECT_TRUE(sameState(first, second));
    }
}

TEST(Rc4, HighBitsOfEntriesAndIndicesTakeNoPart) {
    Rc4State plain = keyed(fromHex("641910833222772a"));
    crypt(plain, Bytes(13));  // i and j away from 0
    Bytes data(517);
    for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<uint8_t>(k);

    Rc4State noisy = plain;
    std::mt19937 random(0x48494748);
    for (uint32_t& entry : noisy.sbox) entry |= random() & 0xFFFFFF00u;
    noisy.i |= 0x5A00;
    noisy.j |= 0xFFFFFF00u;

    EXPECT_EQ(crypt(noisy, data), crypt(plain, data));
    EXPECT_EQ(noisy.i, plain.i);
    EXPECT_EQ(noisy.j, plain.j);
    for (uint32_t k = 0; k < 256; ++k) ASSERT_EQ(noisy.sbox[k] & 0xFF, plain.sbox[k]) << "entry " << k;
}

TEST(Rc4, CountZeroChangesNothing) {
    Rc4State state = keyed(fromHex("0102030405"));
    state.i = 0x1FF;
    state.j = 0x300;
    const Rc4State before = state;
    uint8_t untouched = 0x77;
    state.crypt(0, nullptr, &untouched);
    EXPECT_TRUE(sameState(state, before));
    EXPECT_EQ(untouched, 0x77);
}

}  // namespace
