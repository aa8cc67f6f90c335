// File: thread_end_posix.cpp
//
// Thread-end hooks (thread_end.h), through the C runtime's registration of
// thread-local destructors, which counts the destructors pending for each
// module and keeps a module with any pending mapped at dlclose.
#include <sys/syscall.h>
#include <unistd.h>

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
    bool ended;  // endThread has run
};

thread_local Hooks threadHooks;  // zero-filled, nothing to construct or destroy

void endThread(void* pointer) {
    auto& hooks = *static_cast<Hooks*>(pointer);
    hooks.ended = true;
    for (Hooks::Slot& slot : hooks.slots) {
        if (slot.hook != nullptr) slot.hook(slot.record);
        slot = {};
    }
}

}  // namespace

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
    if (!hooks.held) {
        if (__cxa_thread_atexit_impl(endThread, &hooks, &__dso_handle) != 0) return false;
        hooks.held = true;
    }
    *empty = {hook, record};
    return true;
}

}  // namespace zq
