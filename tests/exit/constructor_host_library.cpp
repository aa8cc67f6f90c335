// A host library that makes a blob as it is loaded with the program, before
// the program's main function runs, so that its first call into zqcrypt
// precedes the program's own start-up. From a handler of exit registered
// then, which runs after every library's destructor, it looks whether the
// heap is still there: a program that returns from main while a worker is
// inside a call must find it so.
#include <stdio.h>
#include <unistd.h>

#include "zqcrypt.h"

// The C++ runtime's registration of a handler of exit. atexit in a library
// ties the handler to that library, which runs it as the library unloads;
// with a null module the handler runs at exit only, in the order of
// registration.
extern "C" int __cxa_atexit(void (*handler)(void*), void* argument, void* module);

namespace {

CryptBlob madeAtLoad = {0, 0, nullptr};

void afterEveryDestructor(void*) {
    CryptBlob probe = {0, 0, nullptr};
    if (zqCryptBlobInit(&probe, 16) == 0) {
        fprintf(stderr, "process exit released the heap while a call was inside\n");
        _exit(1);
    }
}

__attribute__((constructor)) void makeABlobAtLoad() {
    zqCryptBlobInit(&madeAtLoad, 32);
    __cxa_atexit(afterEveryDestructor, nullptr, nullptr);
}

}  // namespace

extern "C" int hostLibraryMadeItsBlob() { return madeAtLoad.data != nullptr; }
