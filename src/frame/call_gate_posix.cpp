// File: call_gate_posix.cpp
//
// The gates of the exported calls (call_gate.h). Each thread that calls the
// library has a Mark of its own, found through a thread-local pointer: the
// main thread a static one, the others one of a pool in the library's memory
// (record_pool.h). It is put into the list of marks at the thread's first
// call and taken out, and kept for the next thread, when the thread ends (a
// hook of thread_end.h, which also keeps the library loaded until then). A
// mark lives as long as its thread, so a call that races with unload never
// writes to memory that unload has freed. A thread that cannot have a mark
// (its end has begun) counts its calls on a shared mark, listed while the
// gates run, with atomic additions.
//
// A call sets its thread's mark, then looks whether the gates are closed;
// unload closes them, then looks at every mark. That is the two-sided
// handshake of Dekker: each side stores, then loads what the other side
// stores, and a full barrier must stand between the two on both sides, or
// both could miss the other.
// The call's side is the fast one: where the kernel offers it, the barrier
// of the unloading side is a process-wide one (membarrier), which makes every
// running thread pass a full barrier, and the call needs only to keep the
// compiler from moving its load above its store. Without that, each call
// pays for a fence of its own.
#include <linux/membarrier.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "frame/call_gate.h"
#include "frame/record_pool.h"
#include "frame/thread_end.h"
#include "frame/thread_list.h"

namespace zq {

struct CallGate::Mark {
    std::atomic<uint32_t> depth{0};  // calls inside; written by its thread only, but for sharedMark
    std::atomic<bool> listed{false};  // written by its thread, and at unload and its end
    Mark* previous = nullptr;        // the list (or the pool), guarded by listLock
    Mark* next = nullptr;
};

namespace {

using Mark = CallGate::Mark;

pthread_mutex_t listLock = PTHREAD_MUTEX_INITIALIZER;
ThreadList<Mark> marks;  // guarded by listLock

thread_local Mark* threadMark = nullptr;  // the thread's own, once it has one
Mark mainMark;                            // the main thread's
RecordPool<Mark> pool;                    // guarded by listLock

// The gates run from load to unload. Before load no mark can be listed:
// calls then count on the shared mark, and unload, which has not seen them
// start, releases nothing.
enum class Gates { unmarked, running, stopped };
std::atomic<Gates> gates{Gates::unmarked};
Mark sharedMark;  // listed while the gates run

bool processBarrier = false;  // written at load only

std::atomic<bool> closed{false};

long membarrier(int command) noexcept { return syscall(SYS_membarrier, command, 0u); }

// Both take listLock.
void link(Mark* mark) noexcept {
    pthread_mutex_lock(&listLock);
    marks.link(mark);
    pthread_mutex_unlock(&listLock);
}

// unlink is the hook of a thread's end, run on that thread: its mark goes
// back to the pool. Unload may have taken it out of the list already.
void unlink(void* pointer) noexcept {
    auto* mark = static_cast<Mark*>(pointer);
    threadMark = nullptr;
    pthread_mutex_lock(&listLock);
    if (mark->listed.load(std::memory_order_relaxed)) marks.unlink(mark);
    mark->listed.store(false, std::memory_order_relaxed);
    pool.keep(mark);
    pthread_mutex_unlock(&listLock);
}

// ownMark gives the calling thread a mark of its own: the main thread the
// static one, another one of the pool, with the hook of its end; null for a
// thread whose end has begun, or when none can be had.
Mark* ownMark() noexcept {
    switch (threadKind()) {
    case ThreadKind::main:
        return &mainMark;
    case ThreadKind::ending:
        return nullptr;
    case ThreadKind::other:
        break;
    }
    pthread_mutex_lock(&listLock);
    Mark* mark = pool.take();
    pthread_mutex_unlock(&listLock);
    if (mark == nullptr) mark = RecordPool<Mark>::make();
    if (mark != nullptr && !atThreadEnd(unlink, mark)) {
        pthread_mutex_lock(&listLock);
        pool.keep(mark);
        pthread_mutex_unlock(&listLock);
        mark = nullptr;
    }
    return mark;
}

// markToUse is the mark for a call of a thread whose own mark is not listed
// yet: that mark once it is listed (made at the thread's first call), the
// shared one while the thread has none, or null once the gates are stopped.
[[gnu::noinline]] Mark* markToUse(Mark* own) noexcept {
    switch (gates.load(std::memory_order_relaxed)) {
    case Gates::stopped:
        return nullptr;
    case Gates::unmarked:
        return &sharedMark;
    case Gates::running:
        break;
    }
    if (own == nullptr) {
        own = ownMark();
        if (own == nullptr) return &sharedMark;
        threadMark = own;
    }
    own->listed.store(true, std::memory_order_relaxed);
    link(own);
    return own;
}

// enter and leave count a call on its mark: a plain store on the thread's
// own, an atomic addition on the shared one.
void enter(Mark& mark) noexcept {
    if (&mark == &sharedMark) mark.depth.fetch_add(1, std::memory_order_relaxed);
    else mark.depth.store(mark.depth.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

void leave(Mark& mark) noexcept {
    if (&mark == &sharedMark) mark.depth.fetch_sub(1, std::memory_order_release);
    else mark.depth.store(mark.depth.load(std::memory_order_relaxed) - 1, std::memory_order_release);
}

// After fork the child has one thread: the marks of the others are dropped,
// and the lock, held across the fork, is made anew.
void lockForFork() noexcept { pthread_mutex_lock(&listLock); }
void unlockAfterFork() noexcept { pthread_mutex_unlock(&listLock); }
void resetInChild() noexcept {
    Mark* own = threadMark;
    // The forking thread is the child's main thread: the static mark, unless
    // it is its own, was the parent's main thread's, maybe inside a call.
    if (own != &mainMark) mainMark.depth.store(0, std::memory_order_relaxed);
    Mark* kept = own != nullptr && own->listed.load(std::memory_order_relaxed) ? own : nullptr;
    marks.forEach([](Mark& mark) { mark.listed.store(false, std::memory_order_relaxed); });
    marks.keepOnly(kept);
    if (kept != nullptr) kept->listed.store(true, std::memory_order_relaxed);
    sharedMark.depth.store(0, std::memory_order_relaxed);
    if (gates.load(std::memory_order_relaxed) == Gates::running) marks.link(&sharedMark);
    pthread_mutex_init(&listLock, nullptr);
}

}  // namespace

CallGate::CallGate() noexcept : mark_(threadMark) {
    if (mark_ == nullptr || !mark_->listed.load(std::memory_order_relaxed)) [[unlikely]] {
        mark_ = markToUse(mark_);
        if (mark_ == nullptr) return;
    }
    enter(*mark_);
    if (processBarrier) std::atomic_signal_fence(std::memory_order_seq_cst);
    else std::atomic_thread_fence(std::memory_order_seq_cst);
    if (closed.load(std::memory_order_relaxed)) [[unlikely]] {
        leave(*mark_);
        mark_ = nullptr;
    }
}

CallGate::~CallGate() {
    if (mark_ != nullptr) leave(*mark_);
}

void CallGate::start() noexcept {
    closed.store(false, std::memory_order_relaxed);
    if (gates.load(std::memory_order_relaxed) == Gates::running) return;
    link(&sharedMark);
    const long commands = membarrier(MEMBARRIER_CMD_QUERY);
    processBarrier = commands > 0 && (commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0 &&
                     membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0;
    static bool forkHooked = false;  // once for each load of the library
    if (!forkHooked) forkHooked = pthread_atfork(lockForFork, unlockAfterFork, resetInChild) == 0;
    gates.store(Gates::running, std::memory_order_relaxed);
}

bool CallGate::closeAll() noexcept {
    // Without marks no call can be seen, so none may be assumed absent.
    if (gates.load(std::memory_order_relaxed) != Gates::running) return false;
    closed.store(true, std::memory_order_relaxed);
    bool barrier = true;
    if (processBarrier) barrier = membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0;
    else std::atomic_thread_fence(std::memory_order_seq_cst);
    bool inside = !barrier;
    pthread_mutex_lock(&listLock);
    marks.forEach([&inside](const Mark& mark) {
        inside = inside || mark.depth.load(std::memory_order_acquire) != 0;
    });
    pthread_mutex_unlock(&listLock);
    if (inside) closed.store(false, std::memory_order_relaxed);
    return !inside;
}

void CallGate::stop() noexcept {
    if (gates.load(std::memory_order_relaxed) != Gates::running) return;
    // The marks of threads still alive stay theirs, listed no more, so that
    // a start after this one (a test's) lists them anew; their threads' ends
    // find them so. At an unload no such thread is left but the main one,
    // whose mark is static: the loader puts an unload off while any other
    // thread with a mark lives. The pool's marks belong to no thread.
    gates.store(Gates::stopped, std::memory_order_relaxed);
    pthread_mutex_lock(&listLock);
    marks.forEach([](Mark& mark) { mark.listed.store(false, std::memory_order_relaxed); });
    marks.keepOnly(nullptr);
    pool.freeAll();
    pthread_mutex_unlock(&listLock);
}

}  // namespace zq
