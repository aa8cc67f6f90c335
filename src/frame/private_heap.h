// File: private_heap.h
//
// The library's one heap. Every byte that the library hands out in a blob, and
// every object it builds for itself, comes from here. On Windows it is a
// growable Win32 heap created at process attach and destroyed at detach, which
// releases every block still allocated. Elsewhere it is a small heap of the
// library's own with the same contract: it exists from load to unload, unload
// releases every live block, and allocation and release are serialised across
// threads.
#pragma once

#include <stdint.h>

namespace zq {

struct PrivateHeap {
    // PrivateHeap::allocate returns a block of `n` bytes with undefined contents,
    // or null when the heap cannot supply it. For `n` = 0 the block is a valid,
    // non-null zero-length block.
    static void* allocate(uint32_t n) noexcept;

    // PrivateHeap::release returns a block to the heap; null is ignored.
    static void release(void* block) noexcept;

    // PrivateHeap::attach creates the heap (load time). Returns false when it
    // cannot be created; the library then refuses to load.
    static bool attach() noexcept;

    // PrivateHeap::detach destroys the heap and every block still in it.
    static void detach() noexcept;
};

}  // namespace zq
