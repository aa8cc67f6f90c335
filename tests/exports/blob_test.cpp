// The three blob exports: making, emptying and copying records.
#include "exports/export_test.h"

namespace {

using BlobExports = ExportTest;

TEST_F(BlobExports, InitWithSizeZeroMakesTheEmptyBlob) {
    CryptBlob blob{7, 0xDEADBEEF, nullptr};
    EXPECT_EQ(api().blobInit(&blob, 0), 0u);
    EXPECT_EQ(blob.size, 0u);
    EXPECT_EQ(blob.tag, 0u);
    EXPECT_EQ(blob.data, nullptr);
}

TEST_F(BlobExports, InitReturnsTheNewDataPointerAndZeroesTheTag) {
    Blob blob;
    blob.tag = 0x12345678;
    const uintptr_t result = api().blobInit(&blob, 5);
    EXPECT_NE(result, 0u);
    EXPECT_EQ(result, reinterpret_cast<uintptr_t>(blob.data));
    EXPECT_EQ(blob.size, 5u);
    EXPECT_EQ(blob.tag, 0u);
    for (int i = 0; i < 5; ++i) blob.data[i] = static_cast<uint8_t>(i);  // the block is writable
}

TEST_F(BlobExports, InitThatCannotAllocateKeepsTheSizeWithNullData) {
    if (!heapInstrumented()) GTEST_SKIP() << "the heap cannot be made to fail here";
    CryptBlob blob{0, 9, nullptr};
    api().failAllocations(0, false);
    EXPECT_EQ(api().blobInit(&blob, 100), 0u);
    EXPECT_EQ(blob.size, 100u);
    EXPECT_EQ(blob.tag, 0u);
    EXPECT_EQ(blob.data, nullptr);
}

TEST_F(BlobExports, InitNearFourGigabytesFailsOrGivesTheWholeBlock) {
    // Sizes where a block header added to the count wraps a 32-bit size: a
    // 32-bit process cannot hold such a block at all, so it must be refused;
    // a 64-bit one may have it, and then all of it.
    for (uint32_t size : {0xFFFFFFFFu, 0xFFFFFFF0u, 0xFFFFFFE1u}) {
        CryptBlob blob{0, 0, nullptr};
        const uintptr_t result = api().blobInit(&blob, size);
        EXPECT_EQ(blob.size, size);
        EXPECT_EQ(result, reinterpret_cast<uintptr_t>(blob.data));
        if (sizeof(void*) == 4) {
            EXPECT_EQ(result, 0u) << std::hex << size;
        }
        if (blob.data != nullptr) {
            blob.data[0] = 1;
            blob.data[size - 1] = 2;
        }
        api().blobClear(&blob);
    }
}

TEST_F(BlobExports, ClearEmptiesAndIsRepeatable) {
    Blob blob(Bytes{1, 2, 3});
    blob.tag = 44;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(api().blobClear(&blob), 1u);
        EXPECT_EQ(blob.size, 0u);
        EXPECT_EQ(blob.tag, 0u);
        EXPECT_EQ(blob.data, nullptr);
    }
    CryptBlob zeroFilled{0, 0, nullptr};
    EXPECT_EQ(api().blobClear(&zeroFilled), 1u);
    EXPECT_EQ(zeroFilled.data, nullptr);
}

TEST_F(BlobExports, CopyOfAnEmptyBlobHasAZeroLengthBlockAndTheTag) {
    CryptBlob source{0, 0xCAFEF00D, nullptr};
    Blob copy;
    EXPECT_EQ(api().blobCopy(&copy, &source), 1u);
    EXPECT_EQ(copy.size, 0u);
    EXPECT_EQ(copy.tag, 0xCAFEF00Du);
    EXPECT_NE(copy.data, nullptr);
}

TEST_F(BlobExports, CopyReplacesTheDestinationAndCarriesEveryTag) {
    Blob source(Bytes{9, 8, 7, 6, 5, 4, 3});
    Blob destination(Bytes(1000, 0xAB));
    for (uint32_t tag : {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        source.tag = tag;
        EXPECT_EQ(api().blobCopy(&destination, &source), 1u);
        EXPECT_EQ(destination.tag, tag);
        EXPECT_EQ(destination.bytes(), source.bytes());
        EXPECT_NE(destination.data, source.data);
    }
    EXPECT_EQ(source.bytes(), (Bytes{9, 8, 7, 6, 5, 4, 3}));
}

TEST_F(BlobExports, CopyOntoItselfLeavesTheRecordAsItWas) {
    Blob blob(Bytes{1, 2, 3, 4});
    blob.tag = 77;
    const CryptBlob before = blob;
    EXPECT_EQ(api().blobCopy(&blob, &blob), 1u);
    EXPECT_EQ(blob.size, before.size);
    EXPECT_EQ(blob.tag, before.tag);
    EXPECT_EQ(blob.data, before.data);
    EXPECT_EQ(blob.bytes(), (Bytes{1, 2, 3, 4}));
}

TEST_F(BlobExports, CopyFromASourceWithoutDataIsRefused) {
    CryptBlob source{16, 3, nullptr};
    Blob destination(Bytes{5, 5});
    EXPECT_EQ(api().blobCopy(&destination, &source), 0u);
    EXPECT_EQ(destination.bytes(), (Bytes{5, 5}));
}

TEST_F(BlobExports, CopyThatCannotAllocateLeavesTheDestinationUntouched) {
    Blob source(Bytes{1, 2, 3});
    Blob destination(Bytes{4, 5});
    destination.tag = 99;
    const int runs = forEachAllocationFailure(true, [&](uint32_t) {
        const uint32_t result = api().blobCopy(&destination, &source);
        if (api().failedAllocations() != 0) {
            EXPECT_EQ(result, 0u);
            EXPECT_EQ(destination.bytes(), (Bytes{4, 5}));
            EXPECT_EQ(destination.tag, 99u);
        } else {
            EXPECT_EQ(result, 1u);
        }
    });
    if (runs < 0) GTEST_SKIP() << "the heap cannot be made to fail here";
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(destination.bytes(), source.bytes());
}

TEST_F(BlobExports, ManyBlobsLiveAndDieIndependently) {
    std::vector<CryptBlob> blobs(200, CryptBlob{0, 0, nullptr});
    for (size_t i = 0; i < blobs.size(); ++i) {
        api().blobInit(&blobs[i], static_cast<uint32_t>(i * 37 + 1));
        for (uint32_t j = 0; j < blobs[i].size; ++j) blobs[i].data[j] = static_cast<uint8_t>(i);
    }
    for (size_t i = 0; i < blobs.size(); i += 2) api().blobClear(&blobs[i]);
    for (size_t i = 1; i < blobs.size(); i += 2) {
        for (uint32_t j = 0; j < blobs[i].size; ++j) ASSERT_EQ(blobs[i].data[j], static_cast<uint8_t>(i));
        api().blobClear(&blobs[i]);
    }
}

}  // namespace
