// File: private_heap_posix.cpp
//
// The portable private heap, and the load and unload hooks that make and
// destroy it. Its blocks come from a BlockStore (block_store.h): small ones
// from size classes and their free lists, large ones kept for reuse after
// release within a bound, so that the blocks each call takes cost a few
// instructions and repeated calls on large blocks reuse pages already mapped.
// An unload hands the whole store back, which releases every block still
// allocated, as destroying a Win32 heap does. One lock serialises the store,
// as the system serialises a heap created without HEAP_NO_SERIALIZE: a
// spinning lock, since it is held for a few dozen instructions, that sleeps
// when it has to wait longer. In front of it each thread keeps a small cache
// of free blocks (see ThreadCache below), so that most requests take no lock
// at all.
//
// The heap also carries the test instruments of heap_probe.h: a live-block
// count, a request count, allocation failure on demand and a release
// observer. They are plain fields under the same lock, and a request fails
// only while a test has armed the failure.
#include <pthread.h>
#include <sched.h>
#include <stdlib.h>
#include <time.h>

#include <atomic>

#include "frame/block_store.h"
#include "frame/call_gate.h"
#include "frame/heap_probe.h"
#include "frame/private_heap.h"
#include "frame/record_pool.h"
#include "frame/thread_end.h"
#include "frame/thread_list.h"

namespace zq {
namespace {

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

// HeapLock is a test-and-set lock: one atomic exchange to take it when it is
// free, which is nearly always, and a plain store to let it go (acquire and
// release: what the holder wrote is seen by the next one on a weakly ordered
// processor too). A waiter spins on plain reads, with the processor's spin
// hint (pause, yield); if the holder lost its processor, it gives up its own
// for a few turns, and then sleeps, for 50 µs at first and up to 800 µs.
// Yielding alone would not do: under real-time scheduling a waiter of higher
// priority that yields gets its processor straight back, and a holder of
// lower priority on the same processor would never run to let the lock go;
// a sleeping waiter lets it run. A lock that wakes its sleepers (a futex)
// needs an atomic exchange to let go, to see whether anyone sleeps: that
// made a 64-byte digest 4 % slower, for a wait that only a holder without a
// processor makes long.
class HeapLock {
public:
    void lock() noexcept {
        while (held_.exchange(true, std::memory_order_acquire)) {
            // The turns count how long the lock has stayed held: a holder
            // that lets it go and takes it again is running, and is not
            // waited for by sleeping.
            for (uint32_t turns = 0; held_.load(std::memory_order_relaxed);) wait(++turns);
        }
    }
    void unlock() noexcept { held_.store(false, std::memory_order_release); }

private:
    [[gnu::noinline, gnu::cold]] static void wait(uint32_t turn) noexcept {
        if (turn < 64) {
#if defined(__i386__) || defined(__x86_64__)
            __builtin_ia32_pause();
#elif defined(__aarch64__)
            __asm__ __volatile__("yield");
#endif
        } else if (turn < 80) {
            sched_yield();
        } else {
            const uint32_t doublings = turn - 80 < 4 ? turn - 80 : 4;
            const timespec pause = {0, 50'000L << doublings};
            nanosleep(&pause, nullptr);
        }
    }

    std::atomic<bool> held_{false};
};

HeapLock heapLock;

// Locked holds the heap's lock for its lifetime.
struct Locked {
    Locked() noexcept { heapLock.lock(); }
    ~Locked() { heapLock.unlock(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

BlockStore store;       // guarded by heapLock
bool attached = false;  // guarded by heapLock
Probe probe;            // guarded by heapLock

// Each thread keeps a few free small blocks of its own (BlockStore::Cache),
// so that the blocks a call takes and gives back seldom take the lock: the
// lock's cache line, passed from processor to processor at every request,
// is what kept threads from running calls side by side. A thread's cache
// belongs to the store of one epoch: releasing the whole store (unload, or
// a test's detach) starts a new epoch, and a cache of an older one is
// dropped unread, its blocks gone with the store. The main thread's cache
// is a static one, the other threads' come from a pool in the library's
// memory (record_pool.h); a thread that ends gives its blocks back and its
// cache to the pool (a hook of thread_end.h). The live-block and request
// counts of the test instruments are kept per thread as well, and summed
// when read. While a
// test instrument is armed every request takes the lock, so that each one
// is counted, can fail and is seen.
struct ThreadCache {
    BlockStore::Cache blocks;
    uint32_t epoch = 0;  // the store's epoch of `blocks`; 0 while not listed
    std::atomic<int32_t> live{0};
    std::atomic<uint32_t> requests{0};
    bool listed = false;             // the rest is guarded by heapLock
    ThreadCache* previous = nullptr;  // the list, or the pool
    ThreadCache* next = nullptr;
};

thread_local ThreadCache* threadCache = nullptr;  // the thread's own, once it has one
ThreadCache mainCache;                           // the main thread's
RecordPool<ThreadCache> pool;                    // guarded by heapLock
ThreadList<ThreadCache> caches;                  // guarded by heapLock
std::atomic<uint32_t> storeEpoch{1};
std::atomic<bool> instrumented{false};

// bump adds `by` to a counter that only its own thread writes.
template <typename Counter>
void bump(std::atomic<Counter>& counter, Counter by) noexcept {
    counter.store(counter.load(std::memory_order_relaxed) + by, std::memory_order_relaxed);
}

// retire is the hook of a thread's end, run on that thread: its cache's
// blocks go back to the store, its counts to the probe, and the cache out of
// the list into the pool.
void retire(void* pointer) noexcept {
    auto* cache = static_cast<ThreadCache*>(pointer);
    threadCache = nullptr;
    Locked locked;
    if (cache->listed) {
        if (cache->epoch == storeEpoch.load(std::memory_order_relaxed)) store.giveAll(cache->blocks);
        probe.live += static_cast<uint32_t>(cache->live.exchange(0, std::memory_order_relaxed));
        probe.requests += cache->requests.exchange(0, std::memory_order_relaxed);
        caches.unlink(cache);
        cache->listed = false;
    }
    pool.keep(cache);
}

// ownCache gives the calling thread a cache of its own, listed: the main
// thread the static one, another one of the pool, with the hook of its end.
// Null for a thread whose end has begun, or when none can be had: the
// thread then works without a cache. Outside the lock: making a cache
// allocates, and setting the hook may take the loader's lock, which an
// unload holds while it takes the heap's.
ThreadCache* ownCache() noexcept {
    ThreadCache* cache = &mainCache;
    switch (threadKind()) {
    case ThreadKind::main:
        break;
    case ThreadKind::ending:
        return nullptr;
    case ThreadKind::other: {
        heapLock.lock();
        cache = pool.take();
        heapLock.unlock();
        if (cache == nullptr) cache = RecordPool<ThreadCache>::make();
        if (cache == nullptr) return nullptr;
        if (!atThreadEnd(retire, cache)) {
            Locked locked;
            pool.keep(cache);
            return nullptr;
        }
        break;
    }
    }
    Locked locked;
    if (!cache->listed) {
        cache->listed = true;
        caches.link(cache);
    }
    threadCache = cache;
    return cache;
}

// adopt readies the calling thread's cache, under the lock: emptied when
// its epoch is over. False when the thread has none listed.
bool adopt(ThreadCache* cache) noexcept {
    if (cache == nullptr || !cache->listed) return false;
    const uint32_t epoch = storeEpoch.load(std::memory_order_relaxed);
    if (cache->epoch != epoch) {
        cache->blocks = BlockStore::Cache{};
        cache->epoch = epoch;
    }
    return true;
}

// usable: the calling thread's cache serves requests without the lock.
bool usable(const ThreadCache& cache) noexcept {
    return cache.epoch == storeEpoch.load(std::memory_order_relaxed) &&
           !instrumented.load(std::memory_order_relaxed);
}

// updateInstrumented says whether a test instrument is armed; under the lock.
void updateInstrumented() noexcept {
    instrumented.store(probe.armed || probe.observer != nullptr, std::memory_order_relaxed);
}

[[gnu::noinline]] void* allocateLocked(uint32_t n, ThreadCache* cache) noexcept {
    if (cache == nullptr) cache = ownCache();
    Locked locked;
    const bool own = adopt(cache);
    // No heap outside load and unload: nothing may be handed out.
    if (probe.refuses() || !attached) return nullptr;
    void* block = store.take(n);
    if (block != nullptr) {
        if (own) bump(cache->live, 1);
        else ++probe.live;
    }
    return block;
}

[[gnu::noinline]] void releaseLocked(void* block, ThreadCache* cache) noexcept {
    if (cache == nullptr) cache = ownCache();
    heapLock.lock();
    if (probe.observer != nullptr) {
        // The observer sees the block, outside the lock, before it can be
        // handed out again.
        const heap_probe::ReleaseObserver observer = probe.observer;
        heapLock.unlock();
        observer(block, BlockStore::sizeOf(block));
        heapLock.lock();
    }
    if (adopt(cache)) bump(cache->live, -1);
    else --probe.live;
    store.give(block);
    heapLock.unlock();
}

}  // namespace

bool PrivateHeap::attach() noexcept {
    Locked locked;
    attached = true;
    return true;
}

void PrivateHeap::detach() noexcept {
    Locked locked;
    store.releaseAll();
    storeEpoch.fetch_add(1, std::memory_order_relaxed);
    probe.live = 0;
    caches.forEach([](ThreadCache& cache) { cache.live.store(0); });
    attached = false;
}

void* PrivateHeap::allocate(uint32_t n) noexcept {
    ThreadCache* cache = threadCache;
    if (cache != nullptr && usable(*cache)) {
        if (void* block = BlockStore::takeCached(cache->blocks, n)) {
            bump(cache->live, 1);
            bump(cache->requests, 1u);
            return block;
        }
    }
    return allocateLocked(n, cache);
}

void PrivateHeap::release(void* block) noexcept {
    if (block == nullptr) return;
    ThreadCache* cache = threadCache;
    if (cache != nullptr && usable(*cache) && BlockStore::cache(cache->blocks, block)) {
        bump(cache->live, -1);
        return;
    }
    releaseLocked(block, cache);
}

// Load and unload. The loader runs these when the library, or a program
// linked with it, is loaded and unloaded, as it calls DllMain at process
// attach and detach on Windows. Priority 101, the first open to programs,
// orders them only within the module that holds them: linked into a program,
// the heap is in place before the program's other constructors and stays
// until after its other destructors.
//
// The same destructor runs at an unload and at process exit, where other
// threads may still be inside a call: the heap is released only when the
// call gates (call_gate.h) show that no call is inside, and otherwise left
// to the system, which takes it back with the process.
//
// fork copies the heap as it stands, lock included; a thread that held the
// lock does not exist in the child, so the lock is taken across fork and
// let go on both sides, and the child can always use the heap.
//
// The caches of the threads that did not fork are not in the child: its
// list keeps the forking thread's own, and their blocks stay unused there.
__attribute__((constructor(101))) static void processAttach() {
    if (!PrivateHeap::attach()) abort();
    startThreadEnds();
    CallGate::start();
    const auto inChild = [] {
        ThreadCache* own = threadCache;
        const bool listed = own != nullptr && own->listed;
        caches.forEach([](ThreadCache& cache) { cache.listed = false; });
        caches.keepOnly(listed ? own : nullptr);
        if (listed) own->listed = true;
        // The forking thread is the child's main thread: the static cache,
        // unless it is its own, was the parent's main thread's.
        if (own != &mainCache) {
            mainCache.blocks = BlockStore::Cache{};
            mainCache.live.store(0, std::memory_order_relaxed);
            mainCache.requests.store(0, std::memory_order_relaxed);
        }
        heapLock.unlock();
    };
    pthread_atfork([] { heapLock.lock(); }, [] { heapLock.unlock(); }, inChild);
}

__attribute__((destructor(101))) static void processDetach() {
    if (!CallGate::closeAll()) return;
    PrivateHeap::detach();
    CallGate::stop();
    stopThreadEnds();
    // The pool's caches belong to no thread: at an unload no thread but the
    // main one has a cache (the loader puts an unload off while another
    // lives).
    Locked locked;
    pool.freeAll();
}

namespace heap_probe {

uint32_t liveBlocks() noexcept {
    Locked locked;
    uint32_t live = probe.live;
    caches.forEach([&live](const ThreadCache& cache) {
        live += static_cast<uint32_t>(cache.live.load(std::memory_order_relaxed));
    });
    return live;
}

uint32_t allocationCount() noexcept {
    Locked locked;
    uint32_t requests = probe.requests;
    caches.forEach([&requests](const ThreadCache& cache) {
        requests += cache.requests.load(std::memory_order_relaxed);
    });
    return requests;
}

void setAllocationCount(uint32_t count) noexcept {
    Locked locked;
    probe.requests = count;
    caches.forEach([](ThreadCache& cache) { cache.requests.store(0); });
}

void failAllocations(uint32_t after, bool sticky) noexcept {
    Locked locked;
    probe.failed = 0;
    probe.sticky = sticky;
    probe.failingIn = after;
    probe.armed = true;
    updateInstrumented();
}

void stopFailing() noexcept {
    Locked locked;
    probe.armed = false;
    updateInstrumented();
}

uint32_t failedAllocations() noexcept {
    Locked locked;
    return probe.failed;
}

void setReleaseObserver(ReleaseObserver observer) noexcept {
    Locked locked;
    probe.observer = observer;
    updateInstrumented();
}

}  // namespace heap_probe
}  // namespace zq
