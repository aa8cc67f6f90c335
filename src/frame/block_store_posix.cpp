// File: block_store_posix.cpp
//
// Size classes and free lists for small blocks, kept large blocks for the
// rest, all memory from malloc. See block_store.h.
#include <stdlib.h>

#include "frame/block_store.h"

namespace zq {
namespace {

constexpr size_t SmallHeader = 16;
constexpr size_t LargeHeader = 32;
constexpr size_t ChunkHeader = 16;  // the link to the chunk before
constexpr size_t Page = 4096;

static_assert(BlockStore::classBytes(7) == 128 && BlockStore::classBytes(8) == 160 &&
              BlockStore::classBytes(11) == 256 && BlockStore::classBytes(12) == 320 &&
              BlockStore::classBytes(BlockStore::ClassCount - 1) == BlockStore::SmallLimit);
static_assert(BlockStore::cacheDepth(0) == 16 && BlockStore::cacheDepth(BlockStore::ClassCount - 1) == 2);

}  // namespace

// The header of a large block, at the start of its LargeHeader bytes (the
// tail takes the last eight).
struct BlockStore::Large {
    Large* previous;
    Large* next;
    size_t capacity;  // bytes behind the header
};

void* BlockStore::takeSmall(uint32_t n, uint32_t sizeClass) noexcept {
    const size_t stride = SmallHeader + classBytes(sizeClass);
    if (cutBytes_ < stride) {
        // A new chunk; what is left of the last one (less than a block of
        // this class) stays unused.
        auto* chunk = static_cast<uint8_t*>(malloc(ChunkBytes));
        if (chunk == nullptr) return nullptr;
        *reinterpret_cast<uint8_t**>(chunk) = chunks_;
        chunks_ = chunk;
        cut_ = chunk + ChunkHeader;
        cutBytes_ = ChunkBytes - ChunkHeader;
    }
    uint8_t* block = cut_ + SmallHeader;
    cut_ += stride;
    cutBytes_ -= stride;
    *tailOf(block) = Tail{n, sizeClass};
    return block;
}

void* BlockStore::takeLarge(uint32_t n) noexcept {
    static_assert(sizeof(Large) + sizeof(Tail) <= LargeHeader);
    // Rounded up to whole pages; near 4 GiB on a 32-bit target the header
    // and the rounding would wrap the size.
    const uint64_t rounded = (static_cast<uint64_t>(n) + Page - 1) & ~static_cast<uint64_t>(Page - 1);
    if (rounded > SIZE_MAX - LargeHeader) return nullptr;

    // The smallest kept block that holds n bytes and is at most twice as large.
    Large** bestLink = nullptr;
    for (Large** link = &kept_; *link != nullptr; link = &(*link)->next) {
        const size_t capacity = (*link)->capacity;
        if (capacity < n || capacity / 2 > n) continue;
        if (bestLink == nullptr || capacity < (*bestLink)->capacity) bestLink = link;
    }
    Large* large;
    if (bestLink != nullptr) {
        large = *bestLink;
        *bestLink = large->next;
        keptBytes_ -= large->capacity;
        --keptCount_;
    } else {
        large = static_cast<Large*>(malloc(LargeHeader + static_cast<size_t>(rounded)));
        if (large == nullptr) return nullptr;
        large->capacity = static_cast<size_t>(rounded);
    }
    large->previous = nullptr;
    large->next = live_;
    if (live_ != nullptr) live_->previous = large;
    live_ = large;
    uint8_t* block = reinterpret_cast<uint8_t*>(large) + LargeHeader;
    *tailOf(block) = Tail{n, LargeKind};
    return block;
}

void BlockStore::giveLarge(void* block) noexcept {
    Large* large = reinterpret_cast<Large*>(static_cast<uint8_t*>(block) - LargeHeader);
    if (large->previous != nullptr) large->previous->next = large->next;
    else live_ = large->next;
    if (large->next != nullptr) large->next->previous = large->previous;

    if (large->capacity > KeptLimit) {
        free(large);
        return;
    }
    large->next = kept_;
    kept_ = large;
    keptBytes_ += large->capacity;
    ++keptCount_;
    // Over the bound, the oldest kept blocks (at the end of the list) go.
    while (keptBytes_ > KeptLimit || keptCount_ > KeptBlocks) {
        Large** link = &kept_;
        while ((*link)->next != nullptr) link = &(*link)->next;
        Large* oldest = *link;
        *link = nullptr;
        keptBytes_ -= oldest->capacity;
        --keptCount_;
        free(oldest);
    }
}

void* BlockStore::takeCachedLarge(Cache& cache, uint32_t n) noexcept {
    if (cache.large == nullptr) return nullptr;
    const size_t capacity = reinterpret_cast<Large*>(static_cast<uint8_t*>(cache.large) - LargeHeader)->capacity;
    // As from the kept blocks: one that holds n bytes and is at most twice
    // as large.
    if (capacity < n || capacity / 2 > n) return nullptr;
    void* block = cache.large;
    cache.large = nullptr;
    tailOf(block)->size = n;
    return block;
}

bool BlockStore::cacheLarge(Cache& cache, void* block) noexcept {
    const size_t capacity = reinterpret_cast<Large*>(static_cast<uint8_t*>(block) - LargeHeader)->capacity;
    if (cache.large != nullptr || capacity > CachedLargeLimit) return false;
    cache.large = block;
    return true;
}

void BlockStore::giveAll(Cache& cache) noexcept {
    for (uint32_t sizeClass = 0; sizeClass < ClassCount; ++sizeClass) {
        while (Free* block = cache.lists[sizeClass]) {
            cache.lists[sizeClass] = block->next;
            give(block);
        }
    }
    if (cache.large != nullptr) give(cache.large);
    cache = Cache{};
}

void BlockStore::releaseAll() noexcept {
    while (chunks_ != nullptr) {
        uint8_t* chunk = chunks_;
        chunks_ = *reinterpret_cast<uint8_t**>(chunk);
        free(chunk);
    }
    Large* lists[] = {live_, kept_};
    for (Large* list : lists) {
        while (list != nullptr) {
            Large* next = list->next;
            free(list);
            list = next;
        }
    }
    *this = BlockStore{};
}

}  // namespace zq
