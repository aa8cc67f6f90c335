// File: thread_end.h
//
// Hooks that run when a thread ends, for the records a thread keeps in lists
// of the library (its call mark, its heap cache: thread_list.h).
//
// A hook is code of the library, and a host may unload the library while
// threads that called it are ending: the hook must not run in a library that
// is gone. So a thread's hooks are registered the way C++ thread-local
// destructors are, and the C library keeps a module mapped while any such
// destructor of it is pending: a dlclose while threads that called the
// library are alive leaves it loaded, and it goes at a later dlclose that
// unloads something, once those threads have ended. (A thread-specific
// key's destructor has no such guard: deleting the key does not wait for a
// destructor already under way.)
//
// The process's main thread gets no hook, and its records are the library's
// own static ones: a hook would keep the library loaded for good, where a
// host that loads, uses and unloads the library on its main thread expects
// its memory back at the unload; and no code of the library runs at its end,
// which another thread's dlclose could race with.
//
// A thread whose first call comes after its thread-local destructors have
// run (from a key destructor of the host's) registers a hook that never
// runs, which keeps the library loaded for good. Its hooks run from a
// thread-specific key instead, in the next round of key destructors; should
// there be none (a first call in the last round), its records, held in the
// library's own memory (record_pool.h), stay listed and idle.
//
// Registering the first hook of a thread takes the loader's lock for a
// moment, as a C++ thread-local object's constructor does: a library
// constructor or destructor must not wait for another thread's first call.
#pragma once

namespace zq {

// ThreadKind says which records a thread's first call takes: the main
// thread the static ones, another thread records of the pools (with a
// hook), and a thread whose hooks have run none.
enum class ThreadKind { main, other, ending };
ThreadKind threadKind() noexcept;

// startThreadEnds and stopThreadEnds make and delete the key, at load and
// at unload.
void startThreadEnds() noexcept;
void stopThreadEnds() noexcept;

// atThreadEnd arranges for hook(record) to run when the calling thread, not
// the main one, ends. False when its hooks have run already or no hook can
// be set: the caller then keeps no record of this thread.
bool atThreadEnd(void (*hook)(void*), void* record) noexcept;

}  // namespace zq
