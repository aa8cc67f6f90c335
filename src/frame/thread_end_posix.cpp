// File: thread_end_posix.cpp
//
// Thread-end hooks (thread_end.h) through the C runtime's registration of
// thread-local destructors, which counts the hooks pending for each module
// and keeps a module with any pending mapped at dlclose.
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
    bool registered;  // runHooks is registered with the C runtime
    bool ended;       // runHooks has run: the thread is ending
};

thread_local Hooks threadHooks;  // zero-filled, nothing to construct or destroy

void runHooks(void* pointer) {
    auto& hooks = *static_cast<Hooks*>(pointer);
    hooks.ended = true;
    for (Hooks::Slot& slot : hooks.slots) {
        if (slot.hook != nullptr) slot.hook(slot.record);
    }
}

bool isMainThread() noexcept { return syscall(SYS_gettid) == getpid(); }

}  // namespace

bool atThreadEnd(void (*hook)(void*), void* record) noexcept {
    Hooks& hooks = threadHooks;
    if (hooks.ended) return false;
    for (const Hooks::Slot& slot : hooks.slots) {
        if (slot.hook == hook && slot.record == record) return true;
    }
    if (isMainThread()) return true;
    if (!hooks.registered) {
        if (__cxa_thread_atexit_impl(runHooks, &hooks, &__dso_handle) != 0) return false;
        hooks.registered = true;
    }
    for (Hooks::Slot& slot : hooks.slots) {
        if (slot.hook == nullptr) {
            slot = {hook, record};
            return true;
        }
    }
    return false;
}

}  // namespace zq
