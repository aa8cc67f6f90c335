// File: private_heap_posix.cpp
//
// The portable private heap, and the load and unload hooks that make and
// destroy it. Each block carries a small header that links it into the list
// of live blocks, so that an unload can release everything still allocated,
// as destroying a Win32 heap does. One mutex serialises the list, as the
// system serialises a heap created without HEAP_NO_SERIALIZE.
//
// The heap also carries the test instruments of heap_probe.h: a live-block
// count, a request count, allocation failure on demand and a release
// observer. They are plain fields under the same mutex, and a request fails
// only while a test has armed the failure.
#include <pthread.h>
#include <semaphore.h>
#include <stdlib.h>

#include <atomic>

#include "frame/heap_probe.h"
#include "frame/private_heap.h"

// The C++ runtime's registration of a handler of exit; with a null module
// handle the handler runs at exit only, never at an unload.
extern "C" int __cxa_atexit(void (*handler)(void*), void* argument, void* module);

namespace zq {
namespace {

// The bytes handed out keep malloc's 16-byte alignment: the header is 32 bytes
// on 64-bit targets and 16 on 32-bit ones.
struct alignas(16) BlockHeader {
    BlockHeader* previous;
    BlockHeader* next;
    size_t size;
};
static_assert(sizeof(BlockHeader) % 16 == 0);

// The test instruments. Nothing sets `armed` but heap_probe::failAllocations.
struct Probe {
    uint32_t live = 0;
    uint32_t requests = 0;
    bool armed = false;
    bool sticky = false;
    uint32_t failingIn = 0;  // requests to go before the one that fails
    uint32_t failed = 0;
    heap_probe::ReleaseObserver observer = nullptr;

    // refuses counts one request and says whether it must fail.
    bool refuses() noexcept {
        ++requests;
        if (!armed) return false;
        if (failingIn != 0) {
            --failingIn;
            return false;
        }
        armed = sticky;
        ++failed;
        return true;
    }
};

pthread_mutex_t heapLock = PTHREAD_MUTEX_INITIALIZER;
BlockHeader* liveList = nullptr;  // guarded by heapLock
bool attached = false;            // guarded by heapLock
Probe probe;                      // guarded by heapLock

// Process exit. A destructor of the library runs both when it is unloaded and
// when the process exits; at exit, other threads may still be inside a call,
// using blocks of this heap, so exit must release nothing. The heap tells the
// two apart by a semaphore that a handler of exit posts: handlers of exit
// registered after the program started run before the destructors. The
// handler is sem_post itself and the semaphore lives on malloc's heap, so
// both outlast an unload. Registered with the first allocation (any earlier
// and a library loaded with the program would register before the loader's
// own handler, and run after the destructors).
// ThreadSanitizer's own exit handling hangs when a handler of exit is a C
// library function it intercepts, so its builds keep the release at exit.
#if defined(__SANITIZE_THREAD__)
constexpr bool kExitCanBeWatched = false;
#elif defined(__has_feature)
constexpr bool kExitCanBeWatched = !__has_feature(thread_sanitizer);
#else
constexpr bool kExitCanBeWatched = true;
#endif

bool exitWatched = false;                     // guarded by heapLock
std::atomic<sem_t*> exitSignal{nullptr};

void watchExit() noexcept {
    if (!kExitCanBeWatched) return;
    auto* signal = static_cast<sem_t*>(malloc(sizeof(sem_t)));
    if (signal == nullptr || sem_init(signal, 0, 0) != 0) {
        free(signal);
        return;
    }
    using Handler = void (*)(void*);
    const auto post = reinterpret_cast<Handler>(reinterpret_cast<void (*)()>(&sem_post));
    if (__cxa_atexit(post, signal, nullptr) != 0) {
        sem_destroy(signal);
        free(signal);
        return;
    }
    exitSignal.store(signal, std::memory_order_release);
}

bool processExiting() noexcept {
    sem_t* signal = exitSignal.load(std::memory_order_acquire);
    int value = 0;
    return signal != nullptr && sem_getvalue(signal, &value) == 0 && value > 0;
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
        --probe.live;
    }
    attached = false;
    pthread_mutex_unlock(&heapLock);
}

void* PrivateHeap::allocate(uint32_t n) noexcept {
    // On a 32-bit target the header wraps the size of a block near 4 GiB.
    const size_t total = sizeof(BlockHeader) + n;
    auto* header = total < n ? nullptr : static_cast<BlockHeader*>(malloc(total));

    pthread_mutex_lock(&heapLock);
    const bool refused = probe.refuses();
    // No heap outside load and unload: nothing may be handed out.
    if (refused || header == nullptr || !attached) {
        pthread_mutex_unlock(&heapLock);
        free(header);
        return nullptr;
    }
    if (!exitWatched) {
        exitWatched = true;
        watchExit();
    }
    header->size = n;
    header->previous = nullptr;
    header->next = liveList;
    if (liveList != nullptr) liveList->previous = header;
    liveList = header;
    ++probe.live;
    pthread_mutex_unlock(&heapLock);
    return header + 1;
}

void PrivateHeap::release(void* block) noexcept {
    if (block == nullptr) return;
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;

    pthread_mutex_lock(&heapLock);
    unlink(header);
    --probe.live;
    const heap_probe::ReleaseObserver observer = probe.observer;
    pthread_mutex_unlock(&heapLock);

    if (observer != nullptr) observer(block, header->size);
    free(header);
}

// Load and unload. The loader runs these when the library, or a program
// linked with it, is loaded and unloaded, as it calls DllMain at process
// attach and detach on Windows. Priority 101, the first open to programs,
// orders them only within the module that holds them: linked into a program,
// the heap is in place before the program's other constructors and stays
// until after its other destructors. At process exit the heap is left as it
// is (see processExiting); the system takes it back with the process.
__attribute__((constructor(101))) static void processAttach() {
    if (!PrivateHeap::attach()) abort();
}

__attribute__((destructor(101))) static void processDetach() {
    if (!processExiting()) PrivateHeap::detach();
}

namespace heap_probe {
namespace {

// Locked holds the heap's mutex for its lifetime.
struct Locked {
    Locked() noexcept { pthread_mutex_lock(&heapLock); }
    ~Locked() { pthread_mutex_unlock(&heapLock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

}  // namespace

uint32_t liveBlocks() noexcept {
    Locked locked;
    return probe.live;
}

uint32_t allocationCount() noexcept {
    Locked locked;
    return probe.requests;
}

void setAllocationCount(uint32_t count) noexcept {
    Locked locked;
    probe.requests = count;
}

void failAllocations(uint32_t after, bool sticky) noexcept {
    Locked locked;
    probe.failed = 0;
    probe.sticky = sticky;
    probe.failingIn = after;
    probe.armed = true;
}

void stopFailing() noexcept {
    Locked locked;
    probe.armed = false;
}

uint32_t failedAllocations() noexcept {
    Locked locked;
    return probe.failed;
}

void setReleaseObserver(ReleaseObserver observer) noexcept {
    Locked locked;
    probe.observer = observer;
}

}  // namespace heap_probe
}  // namespace zq
