// File: thread_end_posix.cpp
//
// Thread-end hooks (thread_end.h), through the C runtime's registration of
// thread-local destructors, which counts the destructors pending for each
// module and keeps a module with any pending mapped at dlclose, and a
// thread-specific key for late first calls.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "frame/thread_end.h"

extern "C" {
int __cxa_thread_atexit_impl(void (*destructor)(void*), void* object, void* module);
extern void* __dso_handle;  // this module, as the C runtime knows it
}

namespace zq {
namespace {

// The hooks of one thread: the call gates' and the heap's.
struct Hooks {
    struct Slot {
        void (*hook)(void*);
        void* record;
    };
    Slot slots[2];
    bool held;   // endThread is registered with the C runtime
    bool keyed;  // the key's value is set
    bool ended;  // endThread has run
};

thread_local Hooks threadHooks;  // zero-filled, nothing to construct or destroy

pthread_key_t key;                 // written at load only
std::atomic<bool> keyMade{false};  // from load to unload

// endThread runs the thread's hooks once, from whichever of the
// thread-local destructor and the key comes first. The destructor clears
// the key, so that its destructor never runs once the destructor's end has
// let the library go. The key's comes first only when the thread's first
// call came after its thread-local destructors had run, and the library
// then stays loaded for good.
void endThread(void* pointer) {
    auto& hooks = *static_cast<Hooks*>(pointer);
    if (hooks.ended) return;
    hooks.ended = true;
    if (hooks.keyed && keyMade.load(std::memory_order_relaxed)) pthread_setspecific(key, nullptr);
    for (Hooks::Slot& slot : hooks.slots) {
        if (slot.hook != nullptr) slot.hook(slot.record);
        slot = {};
    }
}

}  // namespace

void startThreadEnds() noexcept {
    keyMade.store(pthread_key_create(&key, endThread) == 0, std::memory_order_relaxed);
}

void stopThreadEnds() noexcept {
    if (keyMade.exchange(false, std::memory_order_relaxed)) pthread_key_delete(key);
}

ThreadKind threadKind() noexcept {
    if (threadHooks.ended) return ThreadKind::ending;
    return syscall(SYS_gettid) == getpid() ? ThreadKind::main : ThreadKind::other;
}

bool atThreadEnd(void (*hook)(void*), void* record) noexcept {
    Hooks& hooks = threadHooks;
    if (hooks.ended) return false;
    Hooks::Slot* empty = nullptr;
    for (Hooks::Slot& slot : hooks.slots) {
        if (slot.hook == hook && slot.record == record) return true;
        if (slot.hook == nullptr && empty == nullptr) empty = &slot;
    }
    if (empty == nullptr) return false;
    // glibc ends the process when it has no memory to register with; the
    // check is for a C library that says so instead.
    if (!hooks.held) {
        if (__cxa_thread_atexit_impl(endThread, &hooks, &__dso_handle) != 0) return false;
        hooks.held = true;
    }
    if (!hooks.keyed && keyMade.load(std::memory_order_relaxed)) {
        hooks.keyed = pthread_setspecific(key, &hooks) == 0;
    }
    *empty = {hook, record};
    return true;
}

}  // namespace zq
