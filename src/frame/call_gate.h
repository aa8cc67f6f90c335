// File: call_gate.h
//
// The span of an exported call, seen from unload. Every export holds a
// CallGate for the length of its call; the heap asks the gates, before it
// releases every block at unload, whether any call is still inside, and
// releases nothing if one is.
//
// Outside Windows this is what keeps process exit safe. A library's
// destructors run both when it is unloaded and when the process exits, and at
// exit other threads may still be inside a call, using blocks of the heap.
// The two cannot be told apart reliably from inside a destructor (whether a
// handler of exit has run depends on the order in which the program's
// libraries were set up), but whether a call is running can be known exactly:
// each thread marks its own entry and exit, and unload closes the gates and
// then looks at every mark. A call that finds the gates closed touches no
// block and fails; a call still inside keeps the heap, and the gates open
// again. On Windows the loader ends every other thread before it tells a DLL
// that the process detaches, so the gate is empty there.
#pragma once

#include <stdint.h>

namespace zq {

#if defined(_WIN32)

class CallGate {
public:
    bool open() const noexcept { return true; }
};

#else

class CallGate {
public:
    // Marks the calling thread as inside a call, unless unload has closed
    // the gates; open() then says false and the call must not touch the heap.
    CallGate() noexcept;
    ~CallGate();
    CallGate(const CallGate&) = delete;
    CallGate& operator=(const CallGate&) = delete;

    bool open() const noexcept { return mark_ != nullptr; }

    // CallGate::start readies the gates at load, and their fork hooks.
    static void start() noexcept;

    // CallGate::closeAll closes the gates and says true when no call is
    // inside; they then stay closed. When a call is inside, they open again
    // and the answer is false.
    static bool closeAll() noexcept;

    // CallGate::stop undoes start at unload (after closeAll said true).
    static void stop() noexcept;

    struct Mark;

private:
    Mark* mark_;
};

#endif

}  // namespace zq
