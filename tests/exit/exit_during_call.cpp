// A host whose main function returns while another thread is inside
// zqCryptVerifySignature, as POSIX allows. Process exit must not take the
// heap blocks of that call away from under it: the program must end with
// status 0, with no fault and no report from a sanitizer.
//
// The library's code is linked in, so that a destructor of this file can run
// after the heap's own unload hook (both have priority 101, and this file comes
// first in the link, so its destructor runs later) and find the call's
// blocks still there, while the worker goes on using them.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "exit/long_check.h"
#include "frame/heap_probe.h"

__attribute__((destructor(101))) void afterTheHeapsExitHook() {
    const uint32_t live = zq::heap_probe::liveBlocks();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (live == 0) {
        std::fprintf(stderr, "process exit released the blocks of a call in progress\n");
        _exit(1);
    }
}

int main() {
    std::thread(exit_test::checkForever).detach();
    while (!exit_test::inside.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return 0;
}
