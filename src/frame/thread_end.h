// File: thread_end.h
//
// Hooks that run when a thread ends, for the records a thread keeps of its
// own in lists of the library (its call mark, its heap cache: thread_list.h).
//
// They are registered the way C++ thread-local destructors are, and that is
// what makes them safe at unload: while a thread has such a hook pending, the
// loader keeps the module that registered it mapped. A host that unloads the
// library while threads that called it are alive, or are ending, has the
// unload put off until the last of them has ended; the hooks never run in a
// library that is gone. (A thread-specific key's destructor has no such
// guard: deleting the key does not wait for a destructor already called.)
//
// The process's main thread gets no hook. Its records last as long as the
// process, and a hook would keep the library loaded for good, where a host
// that loads, uses and unloads the library on its main thread expects its
// memory back at the unload.
#pragma once

namespace zq {

// atThreadEnd arranges for hook(record) to run when the calling thread ends,
// and says whether the thread's record may be listed: true when the hook is
// set (a hook set before is kept, and not set twice) or the thread is the
// main thread, which needs none. False when the thread is already ending
// (its hooks have run) or the hook cannot be set: the caller then lists no
// record of this thread.
bool atThreadEnd(void (*hook)(void*), void* record) noexcept;

}  // namespace zq
