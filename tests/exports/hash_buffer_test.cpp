// zqCryptHashBuffer: the MD5 digests of the RFC 1321 suite, the padding
// boundaries and pseudo-random inputs; refusal of an input without data; the
// empty message; input and output as one record; an exhausted heap.
#include "engines/digest_vectors.h"
#include "exports/export_test.h"

namespace {

using HashBuffer = ExportTest;

const Bytes emptyDigest = {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04,
                           0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e};

TEST_F(HashBuffer, DigestsMatchTheKnownAnswers) {
    for (const char* file : {"md5.txt", "md5_random.txt"}) {
        for (const DigestVector& vector : readDigestVectors(file)) {
            SCOPED_TRACE(vector.name);
            Blob input(vector.message);
            Blob output(Bytes{9, 9, 9});  // old bytes, to be released
            output.tag = 0xABCD;
            ASSERT_EQ(api().hashBuffer(&input, 0, &output), 1u);
            EXPECT_EQ(output.size, 16u);
            EXPECT_EQ(output.tag, 0u);
            EXPECT_EQ(output.bytes(), vector.digest);
            EXPECT_EQ(input.bytes(), vector.message);  // the input is only read
        }
    }
}

TEST_F(HashBuffer, InputWithoutDataIsRefusedWithLastError13) {
    Blob output(Bytes{1, 2, 3, 4});
    output.tag = 77;
    const CryptBlob before = output;
    for (uint32_t size : {0u, 5u}) {
        const CryptBlob input{size, 0, nullptr};  // as zqCryptBlobInit leaves a record of size 0
        api().setLastError(0);
        EXPECT_EQ(api().hashBuffer(&input, 0, &output), 0u) << size;
        EXPECT_EQ(api().getLastError(), 13u) << size;
        EXPECT_EQ(output.size, before.size);
        EXPECT_EQ(output.tag, before.tag);
        EXPECT_EQ(output.data, before.data);
        EXPECT_EQ(output.bytes(), (Bytes{1, 2, 3, 4}));
    }
}

TEST_F(HashBuffer, ZeroLengthBlockGivesTheDigestOfTheEmptyMessage) {
    Blob input(Bytes{});  // a copy of an empty blob: size 0, a zero-length block
    ASSERT_NE(input.data, nullptr);
    Blob output;
    api().setLastError(0x1234);
    EXPECT_EQ(api().hashBuffer(&input, 0, &output), 1u);
    EXPECT_EQ(output.bytes(), emptyDigest);
    EXPECT_EQ(output.tag, 0u);
    EXPECT_EQ(api().getLastError(), 0x1234u);  // success leaves the last error alone
}

TEST_F(HashBuffer, InputAndOutputMayBeTheSameRecord) {
    Blob blob(std::string("message digest"));
    blob.tag = 5;
    EXPECT_EQ(api().hashBuffer(&blob, 0, &blob), 1u);
    EXPECT_EQ(blob.size, 16u);
    EXPECT_EQ(blob.tag, 0u);
    EXPECT_EQ(blob.bytes(), (Bytes{0xf9, 0x6b, 0x69, 0x7d, 0x7c, 0xb7, 0x93, 0x8d, 0x52, 0x5a, 0x2f,
                                   0x31, 0xaa, 0xf1, 0x61, 0xd0}));
}

TEST_F(HashBuffer, SecondArgumentIsNeverRead) {
    Blob input(std::string("abc"));
    Bytes first;
    for (uint32_t reserved : {0u, 1u, 0x8003u, 0xFFFFFFFFu}) {
        Blob output;
        EXPECT_EQ(api().hashBuffer(&input, reserved, &output), 1u);
        if (first.empty()) first = output.bytes();
        EXPECT_EQ(output.bytes(), first) << reserved;
    }
}

TEST_F(HashBuffer, ExhaustedHeapFailsWithTheOutputUntouched) {
    // Outputs that are empty, smaller than a digest and digest-sized: none of
    // them may end up reported as holding a digest that was never written.
    Blob input(std::string("abc"));
    for (const Bytes& held : {Bytes{}, Bytes{7, 7}, Bytes(16, 7)}) {
        for (bool sticky : {false, true}) {
            Blob output;
            if (!held.empty()) output.assign(held);
            output.tag = 3;
            const CryptBlob before = output;
            const int runs = forEachAllocationFailure(sticky, [&](uint32_t k) {
                const uint32_t result = api().hashBuffer(&input, 0, &output);
                if (api().failedAllocations() != 0) {
                    EXPECT_EQ(result, 0u) << "allocation " << k;
                    EXPECT_EQ(output.data, before.data);
                    EXPECT_EQ(output.size, before.size);
                    EXPECT_EQ(output.tag, before.tag);
                    EXPECT_EQ(output.bytes(), held);
                } else {
                    EXPECT_EQ(result, 1u);
                    EXPECT_EQ(output.size, 16u);
                }
            });
            if (runs < 0) GTEST_SKIP() << "the heap cannot be made to fail here";
            EXPECT_EQ(runs, 2) << "the hash object and the output block";
        }
    }
}

}  // namespace
