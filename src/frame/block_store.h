// File: block_store.h
//
// The storage behind the portable private heap: where its blocks come from,
// and where they go when released. Every call of the library takes a few
// small blocks (a hash object, an output blob, the words of its integers)
// and gives them back before long, and some calls take one large block per
// call. Asking the C library for each of them costs a good part of a small
// call, and above its threshold for mapping large blocks the C library maps
// fresh pages for each one and unmaps them when it is released, so that every
// call pays for its pages again.
//
// Small blocks (up to SmallLimit bytes) come in 28 size classes: multiples of
// 16 up to 128 bytes, then four steps per power of two up to 4 KiB. They are
// cut from chunks of ChunkBytes taken from the C library, and a released
// block goes onto a free list of its class, from which the next request of
// that class is served. Small blocks are never handed back one by one, and a
// free block serves its own class only: each class keeps as many blocks as
// were ever live in it at once, so the store holds the sum of every class's
// own peak (at most 64 KiB more than that, the rest of the newest chunk),
// which can exceed the most that was ever live at once when the peaks of
// different classes came at different times. A Win32 heap, too, keeps what
// it has freed below its large-block threshold for reuse.
//
// Large blocks are taken from the C library one each, their size rounded up
// to a multiple of 4 KiB, and linked into a list of live blocks. A released
// large block is kept for reuse, up to KeptLimit bytes in KeptBlocks blocks
// at most; the oldest kept ones go back to the C library when the limit
// would be passed. A request takes the smallest kept block that holds it and
// is at most twice its size. The bound of 32 MiB keeps the pages of the
// largest blocks that the library's own calls make in a loop (the text of an
// 8 MiB Base64 input, 11 MiB, beside the output of decoding it, 8 MiB), so
// that repeated calls on such blocks reuse pages already mapped, while a
// process holds no more than that beyond its live blocks.
//
// releaseAll gives every chunk and every large block back, live or kept: the
// store is then empty, as destroying a Win32 heap leaves it. The store is not
// serialised by itself; the heap holds its lock around every call.
//
// Each block starts 16 bytes after a header, so that blocks keep the C
// library's 16-byte alignment; the header holds the size asked for and the
// class (or the mark of a large block) just below the block.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace zq {

class BlockStore {
public:
    static constexpr uint32_t SmallLimit = 4096;
    static constexpr size_t ChunkBytes = 64 * 1024;
    static constexpr size_t KeptLimit = 32 * 1024 * 1024;
    static constexpr uint32_t KeptBlocks = 8;

    // BlockStore::take returns a block of `n` bytes (a non-null block for
    // `n` = 0), or null when the C library cannot supply the memory. A small
    // block from a free list is taken here, inline; the rest out of line.
    void* take(uint32_t n) noexcept {
        if (n <= SmallLimit) {
            const uint32_t sizeClass = classOf(n);
            Free* block = free_[sizeClass];
            if (block != nullptr) {
                free_[sizeClass] = block->next;
                tailOf(block)->size = n;
                return block;
            }
            return takeSmall(n, sizeClass);
        }
        return takeLarge(n);
    }

    // BlockStore::give takes back a block that `take` returned; a small one
    // goes onto its free list inline.
    void give(void* block) noexcept {
        const uint32_t kind = tailOf(block)->kind;
        if (kind == LargeKind) return giveLarge(block);
        Free* freed = static_cast<Free*>(block);
        freed->next = free_[kind];
        free_[kind] = freed;
    }

    // BlockStore::Cache is a thread's own small stock of free blocks, kept
    // outside the store: a thread takes from and gives to its cache without
    // the heap's lock. It holds up to 16 blocks of a class, fewer of the
    // larger classes (8 KiB of each class at most, and always 2), and one
    // large block of up to CachedLargeLimit bytes. A block in a cache is
    // free; whichever thread took it, the thread that gives it back caches
    // it. A cached large block stays among the store's live ones.
    static constexpr size_t CachedLargeLimit = 64 * 1024;
    struct Cache;

    // BlockStore::takeCached returns a block of `n` bytes from `cache`, or
    // null when it has none that fits.
    static void* takeCached(Cache& cache, uint32_t n) noexcept;

    // BlockStore::cache keeps `block` in `cache`; false when its class is
    // full there, or it is a large block that does not fit.
    static bool cache(Cache& cache, void* block) noexcept;

    // BlockStore::giveAll gives every block of `cache` back to the store.
    void giveAll(Cache& cache) noexcept;

    // BlockStore::sizeOf is the `n` that `block` was taken with.
    static uint32_t sizeOf(const void* block) noexcept { return tailOf(block)->size; }

    // BlockStore::releaseAll hands every chunk and every large block, live
    // or kept, back to the C library.
    void releaseAll() noexcept;

    // BlockStore::keptBytes is the size of the large blocks kept for reuse.
    size_t keptBytes() const noexcept { return keptBytes_; }

    static constexpr uint32_t ClassCount = 28;

private:
    struct Large;

    // A free small block holds the link to the next free block of its class.
    struct Free {
        Free* next;
    };

public:
    // classBytes is the size of the blocks of class c.
    static constexpr uint32_t classBytes(uint32_t c) {
        return c < 8 ? 16 * (c + 1) : (5 + (c - 8) % 4) << (8 + (c - 8) / 4 - 3);
    }
    static constexpr uint32_t cacheDepth(uint32_t c) {
        const uint32_t depth = 8192 / classBytes(c);
        return depth > 16 ? 16 : depth < 2 ? 2 : depth;
    }

    struct Cache {
        Free* lists[ClassCount] = {};
        uint8_t counts[ClassCount] = {};
        void* large = nullptr;
    };

private:
    static bool cacheLarge(Cache& cache, void* block) noexcept;
    static void* takeCachedLarge(Cache& cache, uint32_t n) noexcept;

    // Tail is the part of every header that lies just below the block: the
    // size it was taken with, and its class (LargeKind for a large block).
    struct Tail {
        uint32_t size;
        uint32_t kind;
    };
    static constexpr uint32_t LargeKind = 0xFFFF;

    static Tail* tailOf(const void* block) noexcept {
        return reinterpret_cast<Tail*>(const_cast<void*>(block)) - 1;
    }

    // classOf is the size class of a request of n ≤ SmallLimit bytes: (n − 1)
    // div 16 up to 128 bytes; above, four classes per power of two, from the
    // top three bits of n − 1.
    static uint32_t classOf(uint32_t n) noexcept {
        if (n <= 128) return n == 0 ? 0 : (n - 1) >> 4;
        const uint32_t m = n - 1;
        const uint32_t bits = 32 - static_cast<uint32_t>(__builtin_clz(m));  // 8 to 12
        return 8 + (bits - 8) * 4 + ((m >> (bits - 3)) & 3);
    }

    void* takeSmall(uint32_t n, uint32_t sizeClass) noexcept;
    void* takeLarge(uint32_t n) noexcept;
    void giveLarge(void* block) noexcept;

    Free* free_[ClassCount] = {};
    uint8_t* chunks_ = nullptr;   // every chunk, each linked to the one before
    uint8_t* cut_ = nullptr;      // the unused rest of the newest chunk
    size_t cutBytes_ = 0;
    Large* live_ = nullptr;       // large blocks in use, doubly linked
    Large* kept_ = nullptr;       // large blocks kept for reuse, newest first
    size_t keptBytes_ = 0;
    uint32_t keptCount_ = 0;
};

inline void* BlockStore::takeCached(Cache& cache, uint32_t n) noexcept {
    if (n > SmallLimit) return takeCachedLarge(cache, n);
    const uint32_t sizeClass = classOf(n);
    Free* block = cache.lists[sizeClass];
    if (block == nullptr) return nullptr;
    cache.lists[sizeClass] = block->next;
    --cache.counts[sizeClass];
    tailOf(block)->size = n;
    return block;
}

inline bool BlockStore::cache(Cache& cache, void* block) noexcept {
    const uint32_t kind = tailOf(block)->kind;
    if (kind == LargeKind) return cacheLarge(cache, block);
    if (cache.counts[kind] == cacheDepth(kind)) return false;
    Free* freed = static_cast<Free*>(block);
    freed->next = cache.lists[kind];
    cache.lists[kind] = freed;
    ++cache.counts[kind];
    return true;
}

}  // namespace zq
