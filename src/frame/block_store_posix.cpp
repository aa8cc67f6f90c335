// File: block_store_posix.cpp
//
// Size classes and free lists for small blocks, kept large blocks for the
// rest, all memory from malloc. See block_store.h.
#include <stdlib.h>

#include "frame/block_store.h"

namespace zq {

// Tail is the part of every header that lies just below the block: the size
// it was taken with, and its class (LargeKind for a large block).
namespace {

struct Tail {
    uint32_t size;
    uint32_t kind;
};

constexpr uint32_t LargeKind = 0xFFFF;
constexpr size_t SmallHeader = 16;
constexpr size_t LargeHeader = 32;
constexpr size_t ChunkHeader = 16;  // the link to the chunk before
constexpr size_t Page = 4096;

Tail* tailOf(const void* block) noexcept {
    return reinterpret_cast<Tail*>(const_cast<void*>(block)) - 1;
}

// classOf is the size class of a request of n ≤ SmallLimit bytes: (n − 1)
// div 16 up to 128 bytes; above, four classes per power of two, from the
// top three bits of n − 1. classBytes is the size of a class's blocks.
uint32_t classOf(uint32_t n) noexcept {
    if (n <= 128) return n == 0 ? 0 : (n - 1) >> 4;
    const uint32_t m = n - 1;
    const uint32_t bits = 32 - static_cast<uint32_t>(__builtin_clz(m));  // 8 to 12
    return 8 + (bits - 8) * 4 + ((m >> (bits - 3)) & 3);
}

struct ClassSizes {
    uint32_t bytes[BlockStore::ClassCount];
};

constexpr ClassSizes makeClassSizes() {
    ClassSizes sizes{};
    for (uint32_t c = 0; c < 8; ++c) sizes.bytes[c] = 16 * (c + 1);
    for (uint32_t c = 8; c < BlockStore::ClassCount; ++c) {
        const uint32_t bits = 8 + (c - 8) / 4;
        sizes.bytes[c] = (5 + (c - 8) % 4) << (bits - 3);
    }
    return sizes;
}

constexpr ClassSizes ClassBytes = makeClassSizes();
static_assert(ClassBytes.bytes[7] == 128 && ClassBytes.bytes[8] == 160 && ClassBytes.bytes[11] == 256 &&
              ClassBytes.bytes[12] == 320 && ClassBytes.bytes[BlockStore::ClassCount - 1] == BlockStore::SmallLimit);

}  // namespace

// A free small block holds the link to the next free block of its class.
struct BlockStore::Free {
    Free* next;
};

// The header of a large block, at the start of its LargeHeader bytes (the
// tail takes the last eight).
struct BlockStore::Large {
    Large* previous;
    Large* next;
    size_t capacity;  // bytes behind the header
};

void* BlockStore::take(uint32_t n) noexcept {
    if (n > SmallLimit) return takeLarge(n);
    const uint32_t sizeClass = classOf(n);
    Free* block = free_[sizeClass];
    if (block == nullptr) return takeSmall(n, sizeClass);
    free_[sizeClass] = block->next;
    tailOf(block)->size = n;
    return block;
}

void* BlockStore::takeSmall(uint32_t n, uint32_t sizeClass) noexcept {
    const size_t stride = SmallHeader + ClassBytes.bytes[sizeClass];
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

void BlockStore::give(void* block) noexcept {
    const uint32_t kind = tailOf(block)->kind;
    if (kind == LargeKind) {
        giveLarge(reinterpret_cast<Large*>(static_cast<uint8_t*>(block) - LargeHeader));
        return;
    }
    Free* freed = static_cast<Free*>(block);
    freed->next = free_[kind];
    free_[kind] = freed;
}

void BlockStore::giveLarge(Large* large) noexcept {
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

uint32_t BlockStore::sizeOf(const void* block) noexcept { return tailOf(block)->size; }

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
