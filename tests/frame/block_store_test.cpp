// The storage behind the portable heap: size classes and their free lists,
// the reuse of released large blocks within the bound, and releaseAll (which
// the asan preset's leak check holds to giving everything back).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "frame/block_store.h"

namespace {

using zq::BlockStore;

struct StoreTest : ::testing::Test {
    BlockStore store;
    ~StoreTest() override { store.releaseAll(); }
};

TEST_F(StoreTest, SmallBlocksAreDistinctAlignedAndWholeForEverySize) {
    std::vector<uint8_t*> blocks;
    for (uint32_t n = 0; n <= BlockStore::SmallLimit; n += n < 300 ? 1 : 97) {
        auto* block = static_cast<uint8_t*>(store.take(n));
        ASSERT_NE(block, nullptr) << n;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u) << n;
        EXPECT_EQ(BlockStore::sizeOf(block), n);
        std::memset(block, static_cast<int>(n & 0xFF), n);
        blocks.push_back(block);
    }
    // No block was overwritten by a later one.
    for (uint8_t* block : blocks) {
        const uint32_t n = BlockStore::sizeOf(block);
        for (uint32_t k = 0; k < n; ++k) ASSERT_EQ(block[k], n & 0xFF) << n;
    }
    EXPECT_EQ(std::set<uint8_t*>(blocks.begin(), blocks.end()).size(), blocks.size());
}

TEST_F(StoreTest, ReleasedSmallBlockServesTheNextRequestOfItsClass) {
    void* first = store.take(100);
    void* other = store.take(20);
    store.give(first);
    void* again = store.take(97);  // the same class as 100 (97 to 112 bytes)
    EXPECT_EQ(again, first);
    EXPECT_EQ(BlockStore::sizeOf(again), 97u);
    EXPECT_NE(store.take(100), first);
    store.give(other);
    EXPECT_NE(store.take(200), other);  // another class
}

TEST_F(StoreTest, ReleasedLargeBlockIsKeptAndReusedWithinTwiceItsSize) {
    const uint32_t n = 3 << 20;
    auto* block = static_cast<uint8_t*>(store.take(n));
    ASSERT_NE(block, nullptr);
    std::memset(block, 1, n);
    store.give(block);
    EXPECT_EQ(store.keptBytes(), size_t{n});
    void* half = store.take(n / 2 - 4096);  // under half its size: a block of its own
    EXPECT_NE(half, block);
    void* again = store.take(n - 100);
    EXPECT_EQ(again, block);
    EXPECT_EQ(BlockStore::sizeOf(again), n - 100);
    EXPECT_EQ(store.keptBytes(), 0u);
}

TEST_F(StoreTest, KeptBlocksStayWithinTheBound) {
    auto keepAll = [&](uint32_t count, uint32_t n) {
        std::vector<void*> blocks;
        for (uint32_t k = 0; k < count; ++k) blocks.push_back(store.take(n));
        for (void* block : blocks) {
            ASSERT_NE(block, nullptr);
            store.give(block);
        }
    };
    keepAll(12, 5 << 20);  // six of 5 MiB fit in 32 MiB
    EXPECT_EQ(store.keptBytes(), size_t{6} * (5 << 20));
    keepAll(10, 1 << 20);  // no more than eight blocks
    EXPECT_EQ(store.keptBytes(), size_t{BlockStore::KeptBlocks} << 20);
    keepAll(1, BlockStore::KeptLimit + 1);  // larger than the bound: not kept
    EXPECT_EQ(store.keptBytes(), size_t{BlockStore::KeptBlocks} << 20);
}

TEST_F(StoreTest, RefusesWhatAWordCannotAddress) {
    if (sizeof(void*) == 4) {
        EXPECT_EQ(store.take(UINT32_MAX), nullptr);
    }
    store.releaseAll();
    EXPECT_EQ(store.keptBytes(), 0u);
    EXPECT_NE(store.take(10), nullptr);  // usable again after releaseAll
}

}  // namespace
