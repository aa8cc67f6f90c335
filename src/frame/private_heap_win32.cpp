// File: private_heap_win32.cpp
//
// The private heap on Windows: one growable Win32 heap, created without
// HEAP_NO_SERIALIZE so that the system serialises it across threads.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "frame/private_heap.h"

namespace zq {
namespace {
HANDLE heap = nullptr;  // the library's only mutable global value
}

bool PrivateHeap::attach() noexcept {
    heap = HeapCreate(0, 0x10000, 0);
    return heap != nullptr;
}

void PrivateHeap::detach() noexcept {
    if (heap != nullptr) HeapDestroy(heap);
    heap = nullptr;
}

void* PrivateHeap::allocate(uint32_t n) noexcept {
    if (heap == nullptr) return nullptr;
    return HeapAlloc(heap, 0, n);
}

void PrivateHeap::release(void* block) noexcept {
    if (block != nullptr) HeapFree(heap, 0, block);
}

}  // namespace zq
