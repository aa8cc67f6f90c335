// File: thread_end.h
//
// Hooks that run when a thread ends, for the records a thread keeps of its
// own in lists of the library (its call mark, its heap cache: thread_list.h).
//
// A hook is code of the library, and a host may unload the library while
// threads that called it are ending: the hook must not run in a library that
// is gone. So a thread's hooks are registered the way C++ thread-local
// destructors are, and the C library keeps a module mapped while any such
// destructor of it is pending: a dlclose while threads that called the
// library are alive leaves it loaded, and it goes at a later dlclose that
// unloads something, once those threads have ended. (A thread-specific
// key's destructor alone has no such guard: deleting the key does not wait
// for a destructor already under way.)
//
// Two cases take a thread-specific key besides:
// - The process's main thread is not held that way: its hook would keep the
//   library loaded for good, where a host that loads, uses and unloads the
//   library on its main thread expects its memory back at the unload. Its
//   hooks run from the key, which only pthread_exit of the main thread
//   calls.
// - A thread whose first call comes after its thread-local destructors have
//   run (from a key destructor of the host's) registers one that never runs,
//   and which so keeps the library loaded for good; the key, set then, runs
//   its hooks in the next round of key destructors.
//
// Registering the first hook of a thread takes the loader's lock for a
// moment, as a C++ thread-local object's constructor does: a library
// constructor or destructor must not wait for another thread's first call.
#pragma once

namespace zq {

// startThreadEnds and stopThreadEnds make and delete the key, at load and
// at unload.
void startThreadEnds() noexcept;
void stopThreadEnds() noexcept;

// atThreadEnd arranges for hook(record) to run when the calling thread
// ends, and says whether the thread's record may be listed: true when the
// hook is set (a hook set before is kept, and not set twice). False when the
// thread's hooks have run already or no hook can be set: the caller then
// lists no record of this thread.
bool atThreadEnd(void (*hook)(void*), void* record) noexcept;

}  // namespace zq
