// zqCryptUUEncode: the exact block for every length up to 200 bytes and
// around the line boundaries, the shapes the layout promises, and the
// refusals that leave the text blob as it was.
#include "exports/base64_cases.h"
#include "exports/export_test.h"

namespace {

using Base64Encode = ExportTest;

Bytes textOf(const std::string& characters, size_t zeros) {
    Bytes bytes(characters.begin(), characters.end());
    bytes.resize(bytes.size() + zeros, 0);
    return bytes;
}

TEST_F(Base64Encode, EveryVectorGivesItsExactBlock) {
    const auto& vectors = base64Vectors();
    ASSERT_GE(vectors.size(), 201u);
    for (size_t n = 0; n <= 200; ++n) ASSERT_EQ(vectors[n].input.size(), n) << "every length from 0 to 200";
    Blob text(Bytes(33, 0xEE));  // old bytes, to be released
    for (const Base64Vector& vector : vectors) {
        Blob input(vector.input);
        text.tag = 0xDEADBEEF;
        ASSERT_EQ(api().uuEncode(&input, 0, &text), 1u) << vector.input.size();
        EXPECT_EQ(text.size, vector.block.size()) << vector.input.size();
        EXPECT_EQ(text.tag, 0u);
        ASSERT_EQ(text.bytes(), vector.block) << vector.input.size() << " bytes";
        EXPECT_EQ(input.bytes(), vector.input) << "the input changed";
    }
}

TEST_F(Base64Encode, ShortInputsGiveOneGroupAndFourZeroBytes) {
    // base64.b64encode(b"a"), (b"ab"), (b"abc")
    const std::pair<std::string, std::string> cases[] = {{"a", "YQ=="}, {"ab", "YWI="}, {"abc", "YWJj"}};
    for (const auto& [plain, characters] : cases) {
        Blob input(plain);
        Blob text;
        ASSERT_EQ(api().uuEncode(&input, 0, &text), 1u);
        EXPECT_EQ(text.size, 8u);
        EXPECT_EQ(text.bytes(), textOf(characters, 4)) << plain;
    }
}

TEST_F(Base64Encode, EmptyInputGivesFourZeroBytes) {
    CryptBlob withoutData{0, 5, nullptr};
    Blob zeroLength;
    api().blobCopy(&zeroLength, &withoutData);  // a zero-length block, not null
    ASSERT_NE(zeroLength.data, nullptr);
    for (CryptBlob* input : {&withoutData, static_cast<CryptBlob*>(&zeroLength)}) {
        Blob text(Bytes{1, 2, 3});
        text.tag = 9;
        ASSERT_EQ(api().uuEncode(input, 0, &text), 1u);
        EXPECT_EQ(text.size, 4u);
        EXPECT_EQ(text.tag, 0u);
        EXPECT_EQ(text.bytes(), (Bytes{0, 0, 0, 0}));
    }
}

TEST_F(Base64Encode, LinesEndInCrLfAndTheTailFollowsTheLineCount) {
    // For each length: block size, and where CR LF stand in it. Lengths 45 to
    // 49 and 93 to 97 straddle the ends of the first and second line.
    struct Shape {
        size_t n, size, zeros;
        std::vector<size_t> crlf;
    };
    const Shape shapes[] = {
        {45, 64, 4, {}},          {46, 72, 6, {64}},        {47, 72, 6, {64}},
        {48, 72, 6, {64}},        {49, 76, 6, {64}},        {93, 132, 6, {64}},
        {94, 136, 4, {64, 130}}, {95, 136, 4, {64, 130}}, {96, 136, 4, {64, 130}},
        {97, 140, 4, {64, 130}},
    };
    for (const Shape& shape : shapes) {
        Blob input(Bytes(shape.n, 0x5C));
        Blob text;
        ASSERT_EQ(api().uuEncode(&input, 0, &text), 1u);
        ASSERT_EQ(text.size, shape.size) << shape.n;
        // What each byte must be: c a character, r and n the line end, 0 the tail.
        std::string expected(shape.size, 'c');
        for (size_t at : shape.crlf) expected.replace(at, 2, "rn");
        expected.replace(shape.size - shape.zeros, shape.zeros, shape.zeros, '0');
        std::string found;
        for (uint8_t b : text.bytes()) {
            const bool character = isalnum(b) || b == '+' || b == '/' || b == '=';
            found += b == '\r' ? 'r' : b == '\n' ? 'n' : b == 0 ? '0' : character ? 'c' : '?';
        }
        EXPECT_EQ(found, expected) << shape.n << " bytes";
    }
}

TEST_F(Base64Encode, TheReservedArgumentIsNotRead) {
    Blob input(std::string("zqcrypt"));
    Blob first, second;
    ASSERT_EQ(api().uuEncode(&input, 0, &first), 1u);
    ASSERT_EQ(api().uuEncode(&input, 0xFFFFFFFFu, &second), 1u);
    EXPECT_EQ(first.bytes(), second.bytes());
}

TEST_F(Base64Encode, InputAndTextMayBeTheSameRecord) {
    Blob blob(std::string("abc"));
    ASSERT_EQ(api().uuEncode(&blob, 0, &blob), 1u);
    EXPECT_EQ(blob.bytes(), textOf("YWJj", 4));
}

TEST_F(Base64Encode, LastErrorIsLeftAlone) {
    Blob input(std::string("abc"));
    Blob text;
    api().setLastError(0x1234);
    ASSERT_EQ(api().uuEncode(&input, 0, &text), 1u);
    EXPECT_EQ(api().getLastError(), 0x1234u);
    api().setLastError(0);
}

TEST_F(Base64Encode, InputClaimingBytesWithoutDataIsRefused) {
    CryptBlob input{3, 0, nullptr};
    Blob text(Bytes{7, 7});
    text.tag = 3;
    const BlobSnapshot before(text);
    EXPECT_EQ(api().uuEncode(&input, 0, &text), 0u);
    before.expectUnchanged(text);
}

TEST_F(Base64Encode, ExhaustedHeapLeavesTheTextAsItWas) {
    Blob input(Bytes(100, 0x42));
    Blob text(Bytes{4, 5, 6});
    text.tag = 77;
    if (!expectRefusedOnExhaustedHeap(text, [&] { return api().uuEncode(&input, 0, &text); })) {
        GTEST_SKIP() << "the heap cannot be made to fail here";
    }
    EXPECT_EQ(text.size, 144u);  // 34 groups, 2 complete lines: 136 + 4 + 4
}

}  // namespace
