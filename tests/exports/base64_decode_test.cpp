// zqCryptUUDecode: every known block back to its bytes, the decoding rules
// on odd text, texts that end without a zero byte or inside a group, and the
// refusals that leave the output blob as it was. Expected bytes of odd texts
// are Python's base64.b64decode of the text as the rules read it (shown).
#include <random>
#include <thread>

#include "exports/base64_cases.h"
#include "exports/export_test.h"

namespace {

using Base64Decode = ExportTest;

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// raw: all the characters of a literal, its zero bytes included.
template <size_t N>
std::string raw(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

// decode: the bytes of `text` (which may hold zero bytes), read from a blob
// of `size` bytes, or of all of them.
Bytes decode(const std::string& text, size_t size = std::string::npos) {
    Blob blob(text);
    blob.size = static_cast<uint32_t>(std::min(size, text.size()));
    Blob output(Bytes{0xEE, 0xEE});
    output.tag = 0xDEADBEEF;
    EXPECT_EQ(api().uuDecode(&blob, 0, &output), 1u) << text;
    EXPECT_EQ(output.tag, 0u);
    EXPECT_NE(output.data, nullptr);
    blob.size = static_cast<uint32_t>(text.size());
    return output.bytes();
}

TEST_F(Base64Decode, EveryVectorsBlockGivesBackItsInput) {
    Blob output(Bytes(50, 0xEE));  // old bytes, to be released
    for (const Base64Vector& vector : base64Vectors()) {
        Blob text(vector.block);
        output.tag = 12;
        ASSERT_EQ(api().uuDecode(&text, 0, &output), 1u);
        EXPECT_EQ(output.tag, 0u);
        ASSERT_EQ(output.bytes(), vector.input) << vector.input.size() << " bytes";
        EXPECT_EQ(text.bytes(), vector.block) << "the text changed";
    }
}

TEST_F(Base64Decode, TextWithoutItsZeroBytesEndsAtTheEndOfTheBlob) {
    for (const Base64Vector& vector : base64Vectors()) {
        const Bytes text = vector.text();
        EXPECT_EQ(decode(std::string(text.begin(), text.end())), vector.input) << vector.input.size() << " bytes";
    }
}

TEST_F(Base64Decode, WholeGroupsAndPadding) {
    EXPECT_EQ(decode(raw("YWI=\0\0\0\0")), bytesOf("ab"));
    EXPECT_EQ(decode(raw("YQ==\0\0\0\0")), bytesOf("a"));
    EXPECT_EQ(decode(raw("YWJj\0\0\0\0")), bytesOf("abc"));
    // Decoding ends after the first group that yields fewer than 3 bytes.
    EXPECT_EQ(decode(raw("YQ==YWJj\0\0\0\0")), bytesOf("a"));
    EXPECT_EQ(decode(raw("YWI=\r\nYWJj\0")), bytesOf("ab"));
}

TEST_F(Base64Decode, BlanksBetweenGroupsAreSkipped) {
    EXPECT_EQ(decode(raw("YWJj\r\nYWJj\0\0\0\0")), bytesOf("abcabc"));
    EXPECT_EQ(decode(raw("YWJj \t\r\n\t \n\0\0\0\0")), bytesOf("abc"));
    EXPECT_EQ(decode(raw("YWJj\t\t  YWJj\n\nYQ==\0")), bytesOf("abcabca"));
}

TEST_F(Base64Decode, BlanksAndPaddingWhereAGroupDoesNotEndAreZeroDigits) {
    // Before the first group: "\r\nYW" reads as "AAYW", then "Jj" is cut
    // short by the zero byte and reads as "Jj==".
    EXPECT_EQ(decode(raw("\r\nYWJj\0\0\0\0")), (Bytes{0x00, 0x06, 0x16, 0x26}));
    // Inside a group: "YW J" reads as "YWAJ"; "Y Q=" as "YAQ=".
    EXPECT_EQ(decode(raw("YW J\0\0\0\0")), (Bytes{0x61, 0x60, 0x09}));
    EXPECT_EQ(decode(raw("Y Q==\0\0\0")), (Bytes{0x60, 0x04}));
    // "=" first, second, or third before a digit: "AQJj", "YAJj", "YWAj".
    EXPECT_EQ(decode(raw("=QJj\0\0\0\0")), (Bytes{0x01, 0x02, 0x63}));
    EXPECT_EQ(decode(raw("Y=Jj\0\0\0\0")), (Bytes{0x60, 0x02, 0x63}));
    EXPECT_EQ(decode(raw("YW=j\0\0\0\0")), (Bytes{0x61, 0x60, 0x23}));
    // Bytes outside the alphabet are zero digits too: "YW\x80j" as "YWAj".
    EXPECT_EQ(decode(raw("YW\x80j\0\0\0\0")), (Bytes{0x61, 0x60, 0x23}));
}

TEST_F(Base64Decode, AZeroFirstByteGivesAnEmptyOutputWithABlock) {
    EXPECT_EQ(decode(raw("\0YWJj\0\0\0")), Bytes{});
    EXPECT_EQ(decode(raw("\0\0\0\0")), Bytes{});
}

TEST_F(Base64Decode, AFinalGroupCutShortYieldsTheBytesItsDigitsHold) {
    // Cut by the end of the blob or by a zero byte alike: one digit holds no
    // whole byte, two or three read as if "=" padded them.
    EXPECT_EQ(decode("Y"), Bytes{});
    EXPECT_EQ(decode("YQ"), bytesOf("a"));
    EXPECT_EQ(decode("YQ="), bytesOf("a"));
    EXPECT_EQ(decode("YWI"), bytesOf("ab"));
    EXPECT_EQ(decode("YWJjY"), bytesOf("abc"));
    EXPECT_EQ(decode("YWJj\r\nYWI"), bytesOf("abcab"));
    EXPECT_EQ(decode(raw("YQ\0\0")), bytesOf("a"));
    EXPECT_EQ(decode(raw("YWI\0YWJj")), bytesOf("ab"));
    EXPECT_EQ(decode(raw("YWJjY\0\0\0")), bytesOf("abc"));
}

TEST_F(Base64Decode, TextLongerThanItsSizeIsReadOnlyUpToTheSize) {
    // "YWJjYW" of "YWJjYWJj": "abc", then "YW" as "YW==".
    EXPECT_EQ(decode("YWJjYWJj", 6), bytesOf("abca"));
    EXPECT_EQ(decode("YWJjYWJj", 4), bytesOf("abc"));
    EXPECT_EQ(decode("YWJjYWJj", 0), Bytes{});
    // Every cut of a long text yields the bytes its digits cover.
    const Base64Vector& vector = base64Vectors()[200];
    const Bytes text = vector.text();
    size_t digits = 0;
    for (size_t size = 0; size <= text.size(); ++size) {
        const Bytes expected(vector.input.begin(), vector.input.begin() + static_cast<std::ptrdiff_t>(3 * digits / 4));
        ASSERT_EQ(decode(std::string(text.begin(), text.end()), size), expected) << size;
        if (size < text.size() && text[size] != '\r' && text[size] != '\n' && text[size] != '=') ++digits;
    }
}

TEST_F(Base64Decode, TextAndOutputMayBeTheSameRecord) {
    Blob blob(raw("YWJjZGVm\0\0\0\0"));
    ASSERT_EQ(api().uuDecode(&blob, 0, &blob), 1u);
    EXPECT_EQ(blob.bytes(), bytesOf("abcdef"));
}

TEST_F(Base64Decode, TheReservedArgumentIsNotReadAndLastErrorIsLeftAlone) {
    Blob text(std::string("enFjcnlwdA=="));
    Blob output;
    api().setLastError(0x4321);
    ASSERT_EQ(api().uuDecode(&text, 0xFFFFFFFFu, &output), 1u);
    EXPECT_EQ(output.bytes(), bytesOf("zqcrypt"));  // base64.b64encode(b"zqcrypt")
    EXPECT_EQ(api().getLastError(), 0x4321u);
    api().setLastError(0);
}

TEST_F(Base64Decode, EmptyTextWithoutDataGivesAnEmptyOutput) {
    CryptBlob text{0, 0, nullptr};
    Blob output(Bytes{1});
    ASSERT_EQ(api().uuDecode(&text, 0, &output), 1u);
    EXPECT_EQ(output.size, 0u);
    EXPECT_NE(output.data, nullptr);
}

TEST_F(Base64Decode, TextClaimingBytesWithoutDataIsRefused) {
    CryptBlob text{8, 0, nullptr};
    Blob output(Bytes{7, 7});
    output.tag = 3;
    const BlobSnapshot before(output);
    EXPECT_EQ(api().uuDecode(&text, 0, &output), 0u);
    before.expectUnchanged(output);
}

TEST_F(Base64Decode, ExhaustedHeapLeavesTheOutputAsItWas) {
    Blob text(raw("YWJjZGVm\0\0\0\0"));
    Blob output(Bytes{4, 5, 6});
    output.tag = 77;
    if (!expectRefusedOnExhaustedHeap(output, [&] { return api().uuDecode(&text, 0, &output); })) {
        GTEST_SKIP() << "the heap cannot be made to fail here";
    }
    EXPECT_EQ(output.bytes(), bytesOf("abcdef"));
}

// Several threads at once, on blobs of their own, from a process that has
// not yet asked the processor what it can do (ctest runs each case in a
// process of its own): the only state the codec shares is that answer.
using Base64Threads = ExportTest;

TEST_F(Base64Threads, ConcurrentRoundTripsOnSeparateBlobs) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            std::mt19937 rng(100 + t);
            for (int round = 0; round < 100; ++round) {
                Bytes input(rng() % 5000);
                for (auto& b : input) b = static_cast<uint8_t>(rng());
                Blob in(input), text, out;
                const bool ok = api().uuEncode(&in, 0, &text) == 1 && api().uuDecode(&text, 0, &out) == 1 &&
                                out.bytes() == input;
                if (!ok) ++failures[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
