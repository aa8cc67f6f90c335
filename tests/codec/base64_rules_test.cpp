// The group rules: alphabet, character values, and the encoding and decoding
// of single groups, against OpenSSL's block functions over every group.
#include <openssl/evp.h>

#include "codec/base64.h"
#include "codec/base64_test_support.h"

namespace {

using zq::testing::Bytes;

// OpenSSL's text for `input`, without line breaks.
std::string opensslEncode(const Bytes& input) {
    std::string text(4 * ((input.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), input.data(),
                                       static_cast<int>(input.size()));
    text.resize(static_cast<size_t>(length));
    return text;
}

// OpenSSL's bytes for whole groups of text, with what "=" padding stands for
// still on the end (3 bytes per group).
Bytes opensslDecodeBlock(const std::string& text) {
    Bytes bytes(3 * (text.size() / 4));
    const int length = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                       static_cast<int>(text.size()));
    EXPECT_EQ(length, static_cast<int>(bytes.size())) << text.substr(0, 64);
    return bytes;
}

TEST(Base64Rules, AlphabetIsTheDigitsInValueOrderThenThePad) {
    // 48 bytes whose 6-bit fields count 0 to 63 encode to the alphabet.
    Bytes counting(48);
    for (uint32_t v = 0; v < 64; ++v) {
        for (uint32_t bit = 0; bit < 6; ++bit) {
            const uint32_t at = 6 * v + bit;
            if ((v >> (5 - bit)) & 1) counting[at / 8] |= static_cast<uint8_t>(0x80 >> (at % 8));
        }
    }
    EXPECT_EQ(std::string(zq::Base64Alphabet, 64), opensslEncode(counting));
    EXPECT_EQ(zq::Base64Alphabet[zq::Base64PadIndex], '=');
    EXPECT_EQ(zq::Base64Alphabet[65], '\0');
}

TEST(Base64Rules, CharValueIsTheIndexInTheAlphabetAndZeroElsewhere) {
    for (uint32_t c = 0; c < 256; ++c) {
        const char* found = c == 0 ? nullptr : static_cast<const char*>(memchr(zq::Base64Alphabet, static_cast<int>(c), 64));
        const uint32_t expected = found == nullptr ? 0 : static_cast<uint32_t>(found - zq::Base64Alphabet);
        EXPECT_EQ(zq::Base64CharValue(static_cast<uint8_t>(c)), expected) << "byte " << c;
    }
}

TEST(Base64Rules, EncodeGroupMatchesOpenSslForEveryGroup) {
    // All 2^24 whole groups in one run of OpenSSL, then group by group.
    Bytes all(3u << 24);
    for (uint32_t v = 0; v < (1u << 24); ++v) {
        all[3 * v] = static_cast<uint8_t>(v >> 16);
        all[3 * v + 1] = static_cast<uint8_t>(v >> 8);
        all[3 * v + 2] = static_cast<uint8_t>(v);
    }
    const std::string expected = opensslEncode(all);
    uint8_t characters[4];
    for (uint32_t v = 0; v < (1u << 24); ++v) {
        zq::Base64EncodeGroup(&all[3 * v], 3, characters);
        ASSERT_EQ(memcmp(characters, &expected[4 * v], 4), 0) << "group " << v;
    }

    // Groups of 1 and 2 bytes get their "=" padding.
    for (uint32_t v = 0; v < 65536; ++v) {
        const Bytes group{static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
        for (uint32_t count = 1; count <= 2; ++count) {
            if (count == 1 && (v & 0xFF) != 0) continue;
            uint8_t guard[5] = {0, 0, 0, 0, 0x5A};
            zq::Base64EncodeGroup(group.data(), count, guard);
            ASSERT_EQ(std::string(reinterpret_cast<char*>(guard), 4),
                      opensslEncode(Bytes(group.begin(), group.begin() + count)));
            ASSERT_EQ(guard[4], 0x5A);
        }
    }
}

TEST(Base64Rules, DecodeGroupMatchesOpenSslForEveryGroupOfDigits) {
    std::string all(4u << 24, '\0');
    for (uint32_t v = 0; v < (1u << 24); ++v) {
        for (uint32_t j = 0; j < 4; ++j) all[4 * v + j] = zq::Base64Alphabet[(v >> (18 - 6 * j)) & 63];
    }
    const Bytes expected = opensslDecodeBlock(all);
    uint8_t bytes[4];
    for (uint32_t v = 0; v < (1u << 24); ++v) {
        bytes[3] = 0x5A;
        ASSERT_EQ(zq::Base64DecodeGroup(reinterpret_cast<const uint8_t*>(&all[4 * v]), bytes), 3u);
        ASSERT_EQ(memcmp(bytes, &expected[3 * v], 3), 0) << all.substr(4 * v, 4);
        ASSERT_EQ(bytes[3], 0x5A);
    }
}

TEST(Base64Rules, DecodeGroupYieldsOneOrTwoBytesBeforePadding) {
    // "xy==" and "xyz=" for every x, y, z: OpenSSL gives the bytes followed by
    // zeros for the padding; the group yields only the bytes, and writes no
    // more than it yields.
    for (uint32_t v = 0; v < (1u << 18); ++v) {
        for (const bool three : {false, true}) {
            if (!three && (v & 63) != 0) continue;
            std::string group(4, '=');
            group[0] = zq::Base64Alphabet[v >> 12];
            group[1] = zq::Base64Alphabet[(v >> 6) & 63];
            if (three) group[2] = zq::Base64Alphabet[v & 63];
            const Bytes expected = opensslDecodeBlock(group);
            uint8_t bytes[3] = {0x5A, 0x5A, 0x5A};
            const uint32_t k = zq::Base64DecodeGroup(reinterpret_cast<const uint8_t*>(group.data()), bytes);
            ASSERT_EQ(k, three ? 2u : 1u) << group;
            ASSERT_EQ(memcmp(bytes, expected.data(), k), 0) << group;
            for (uint32_t i = k; i < 3; ++i) ASSERT_EQ(bytes[i], 0x5A) << group;
        }
    }
}

TEST(Base64Rules, NonDigitsCountAsZeroWhereverPaddingIsNotRead) {
    // Any byte that is not a digit reads as "A" (value 0), in the first and
    // second place always, in the third when the fourth is a digit, and in
    // the fourth when it is not "=".
    const std::string base = "YWJj";
    for (uint32_t c = 0; c < 256; ++c) {
        const auto ch = static_cast<char>(c);
        if (zq::Base64CharValue(static_cast<uint8_t>(c)) != 0 || ch == 'A') continue;
        for (uint32_t place = 0; place < 4; ++place) {
            if (place == 3 && ch == '=') continue;
            std::string odd = base, plain = base;
            odd[place] = ch;
            plain[place] = 'A';
            uint8_t fromOdd[3], fromPlain[3];
            ASSERT_EQ(zq::Base64DecodeGroup(reinterpret_cast<const uint8_t*>(odd.data()), fromOdd), 3u);
            zq::Base64DecodeGroup(reinterpret_cast<const uint8_t*>(plain.data()), fromPlain);
            ASSERT_EQ(memcmp(fromOdd, fromPlain, 3), 0) << "byte " << c << " in place " << place;
        }
    }
}

TEST(Base64Rules, PaddingIsReadFromTheFourthPlaceInward) {
    uint8_t bytes[3];
    auto decode = [&](const char* group) {
        return zq::Base64DecodeGroup(reinterpret_cast<const uint8_t*>(group), bytes);
    };
    // "=" third with a digit fourth is a value-0 digit: "YW=j" reads as "YWAj".
    EXPECT_EQ(decode("YW=j"), 3u);
    EXPECT_EQ(Bytes(bytes, bytes + 3), (Bytes{'a', 0x60, 0x23}));  // base64.b64decode("YWAj")
    // "==" at the start of a group still yields one byte, of value 0.
    EXPECT_EQ(decode("===="), 1u);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(decode("YQ=="), 1u);
    EXPECT_EQ(bytes[0], 'a');
}

}  // namespace
