// File: private_heap_posix.cpp
//
// The portable private heap, and the load and unload hooks that make and
// destroy it. Each block carries a small header that links it
// into the list of live blocks, so that detach can release everything still
// allocated, as destroying a Win32 heap does. One mutex serialises the list,
// as the system serialises a heap created without HEAP_NO_SERIALIZE.
//
// The heap also carries the test instruments of heap_probe.h: a live-block
// count, allocation failure on demand and a release observer.
#include <pthread.h>
#include <stdlib.h>

#include <atomic>

#include "frame/heap_probe.h"
#include "frame/private_heap.h"

namespace zq {
namespace {

// 32 bytes on every target, so that the bytes handed out keep malloc's
// 16-byte alignment.
struct alignas(16) BlockHeader {
    BlockHeader* previous;
    BlockHeader* next;
    size_t size;
};
static_assert(sizeof(BlockHeader) % 16 == 0);

pthread_mutex_t heapLock = PTHREAD_MUTEX_INITIALIZER;
BlockHeader* liveList = nullptr;  // guarded by heapLock
bool attached = false;            // guarded by heapLock

std::atomic<uint32_t> liveCount{0};
std::atomic<uint32_t> requestCount{0};
std::atomic<uint32_t> failFrom{UINT32_MAX};  // request number that fails first
std::atomic<bool> failSticky{false};
std::atomic<uint32_t> failedCount{0};
std::atomic<heap_probe::ReleaseObserver> releaseObserver{nullptr};

bool shouldFail() noexcept {
    const uint32_t request = requestCount.fetch_add(1, std::memory_order_relaxed);
    const uint32_t first = failFrom.load(std::memory_order_relaxed);
    if (request < first) return false;
    if (request != first && !failSticky.load(std::memory_order_relaxed)) return false;
    failedCount.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void unlink(BlockHeader* header) noexcept {
    if (header->previous != nullptr) header->previous->next = header->next;
    else liveList = header->next;
    if (header->next != nullptr) header->next->previous = header->previous;
}

}  // namespace

bool PrivateHeap::attach() noexcept {
    pthread_mutex_lock(&heapLock);
    attached = true;
    pthread_mutex_unlock(&heapLock);
    return true;
}

void PrivateHeap::detach() noexcept {
    pthread_mutex_lock(&heapLock);
    while (liveList != nullptr) {
        BlockHeader* header = liveList;
        liveList = header->next;
        free(header);
        liveCount.fetch_sub(1, std::memory_order_relaxed);
    }
    attached = false;
    pthread_mutex_unlock(&heapLock);
}

void* PrivateHeap::allocate(uint32_t n) noexcept {
    if (shouldFail()) return nullptr;
    // On a 32-bit target the header wraps the size of a block near 4 GiB.
    const size_t total = sizeof(BlockHeader) + n;
    if (total < n) return nullptr;
    auto* header = static_cast<BlockHeader*>(malloc(total));
    if (header == nullptr) return nullptr;
    header->size = n;
    header->previous = nullptr;

    pthread_mutex_lock(&heapLock);
    if (!attached) {
        // No heap outside load and unload: nothing may be handed out.
        pthread_mutex_unlock(&heapLock);
        free(header);
        return nullptr;
    }
    header->next = liveList;
    if (liveList != nullptr) liveList->previous = header;
    liveList = header;
    pthread_mutex_unlock(&heapLock);

    liveCount.fetch_add(1, std::memory_order_relaxed);
    return header + 1;
}

void PrivateHeap::release(void* block) noexcept {
    if (block == nullptr) return;
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    if (auto observer = releaseObserver.load(std::memory_order_acquire)) observer(block, header->size);

    pthread_mutex_lock(&heapLock);
    unlink(header);
    pthread_mutex_unlock(&heapLock);

    free(header);
    liveCount.fetch_sub(1, std::memory_order_relaxed);
}

// Load and unload. The loader runs these when the library, or a program
// linked with it, is loaded and unloaded, as it calls DllMain at process
// attach and detach on Windows. Priority 101, the first open to programs, puts
// the heap in place before any constructor of the host and keeps it until
// after every destructor of the host.
__attribute__((constructor(101))) static void processAttach() {
    if (!PrivateHeap::attach()) abort();
}

__attribute__((destructor(101))) static void processDetach() { PrivateHeap::detach(); }

namespace heap_probe {

uint32_t liveBlocks() noexcept { return liveCount.load(); }

uint32_t allocationCount() noexcept { return requestCount.load(); }

void failAllocations(uint32_t after, bool sticky) noexcept {
    failedCount.store(0);
    failSticky.store(sticky);
    failFrom.store(requestCount.load() + after);
}

void stopFailing() noexcept { failFrom.store(UINT32_MAX); }

uint32_t failedAllocations() noexcept { return failedCount.load(); }

void setReleaseObserver(ReleaseObserver observer) noexcept { releaseObserver.store(observer); }

}  // namespace heap_probe
}  // namespace zq
