// A host linked with the shared library and with a host library that calls
// it before main (constructor_host_library.cpp). main returns while a worker
// is inside a signature check; the host library's late handler of exit fails
// the program if exit released the heap under that call.
#include <chrono>
#include <cstdio>
#include <thread>

#include "exit/long_check.h"

extern "C" int hostLibraryMadeItsBlob();

int main() {
    if (!hostLibraryMadeItsBlob()) {
        std::fprintf(stderr, "the host library made no blob at load\n");
        return 1;
    }
    std::thread(exit_test::checkForever).detach();
    while (!exit_test::inside.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return 0;
}
