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
// when it has to wait longer.
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
// free, which is nearly always, and a plain store to let it go. A waiter
// spins on plain reads; if the holder lost its processor, it gives up its own
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
        for (uint32_t turns = 0; held_.exchange(true, std::memory_order_acquire);) {
            while (held_.load(std::memory_order_relaxed)) wait(++turns);
        }
    }
    void unlock() noexcept { held_.store(false, std::memory_order_release); }

private:
    [[gnu::noinline, gnu::cold]] static void wait(uint32_t turn) noexcept {
        if (turn < 64) {
#if defined(__i386__) || defined(__x86_64__)
            __builtin_ia32_pause();
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

}  // namespace

bool PrivateHeap::attach() noexcept {
    Locked locked;
    attached = true;
    return true;
}

void PrivateHeap::detach() noexcept {
    Locked locked;
    store.releaseAll();
    probe.live = 0;
    attached = false;
}

void* PrivateHeap::allocate(uint32_t n) noexcept {
    Locked locked;
    // No heap outside load and unload: nothing may be handed out.
    if (probe.refuses() || !attached) return nullptr;
    void* block = store.take(n);
    if (block != nullptr) ++probe.live;
    return block;
}

void PrivateHeap::release(void* block) noexcept {
    if (block == nullptr) return;
    heapLock.lock();
    if (probe.observer != nullptr) {
        // The observer sees the block, outside the lock, before it can be
        // handed out again.
        const heap_probe::ReleaseObserver observer = probe.observer;
        heapLock.unlock();
        observer(block, BlockStore::sizeOf(block));
        heapLock.lock();
    }
    store.give(block);
    --probe.live;
    heapLock.unlock();
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
__attribute__((constructor(101))) static void processAttach() {
    if (!PrivateHeap::attach()) abort();
    CallGate::start();
    pthread_atfork([] { heapLock.lock(); }, [] { heapLock.unlock(); }, [] { heapLock.unlock(); });
}

__attribute__((destructor(101))) static void processDetach() {
    if (!CallGate::closeAll()) return;
    PrivateHeap::detach();
    CallGate::stop();
}

namespace heap_probe {

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
