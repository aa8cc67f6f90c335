// The blocks behind the exports, seen as the heap releases them: the encoder's
// is exactly the text blob's size, the decoder's holds 3·(s + 1) / 4 bytes for
// a text blob of s bytes, whatever the output's size.
#include "codec/base64_test_support.h"
#include "frame/heap_probe.h"
#include "zqcrypt.h"

namespace {

using namespace zq::testing;

size_t releasedSize = 0;
void remember(const void*, size_t size) { releasedSize = size; }

// blockSizeOf: the size of the block `blob` holds, learnt by clearing it.
size_t blockSizeOf(CryptBlob& blob) {
    releasedSize = SIZE_MAX;
    zq::heap_probe::setReleaseObserver(remember);
    zqCryptBlobClear(&blob);
    zq::heap_probe::setReleaseObserver(nullptr);
    return releasedSize;
}

CryptBlob blobOf(const Bytes& bytes) {
    CryptBlob scratch{}, blob{};
    zqCryptBlobInit(&scratch, static_cast<uint32_t>(bytes.size()));
    if (!bytes.empty()) memcpy(scratch.data, bytes.data(), bytes.size());
    zqCryptBlobCopy(&blob, &scratch);
    zqCryptBlobClear(&scratch);
    return blob;
}

TEST(Base64Blocks, TheDecodersBlockIsSizedFromTheTextBlob) {
    const uint32_t live = zq::heap_probe::liveBlocks();
    std::mt19937 rng(8);
    for (uint32_t n = 0; n < 300; n += 1 + n / 20) {
        CryptBlob input = blobOf(randomBytes(rng, n));
        CryptBlob text{}, output{};
        ASSERT_EQ(zqCryptUUEncode(&input, 0, &text), 1u);
        const uint32_t a = text.size;
        ASSERT_EQ(zqCryptUUDecode(&text, 0, &output), 1u);
        EXPECT_EQ(output.size, n);
        EXPECT_EQ(blockSizeOf(output), 3 * (a + 1) / 4) << n;
        EXPECT_EQ(blockSizeOf(text), a) << n;
        zqCryptBlobClear(&input);
    }
    // A text of one zero byte still gets its block, of 1 byte.
    CryptBlob zero = blobOf(Bytes{0});
    CryptBlob output{};
    ASSERT_EQ(zqCryptUUDecode(&zero, 0, &output), 1u);
    EXPECT_EQ(output.size, 0u);
    EXPECT_EQ(blockSizeOf(output), 1u);
    zqCryptBlobClear(&zero);
    EXPECT_EQ(zq::heap_probe::liveBlocks(), live);
}

}  // namespace
