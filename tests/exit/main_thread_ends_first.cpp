// A host whose main thread calls the library and ends through pthread_exit
// while the process goes on: a thread that joins it (which frees the main
// thread's storage) starts threads that call, then unloads the library. The
// main thread's records must have left the library's lists as it ended
// (the sanitizer builds see a use of its freed storage otherwise).
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "zqcrypt.h"

namespace {

void* library = nullptr;
pthread_t mainThread;

void calls() {
    auto blobInit = reinterpret_cast<uintptr_t (*)(CryptBlob*, uint32_t)>(dlsym(library, "zqCryptBlobInit"));
    auto blobClear = reinterpret_cast<uint32_t (*)(CryptBlob*)>(dlsym(library, "zqCryptBlobClear"));
    for (uint32_t size = 16; size <= 256; size += 16) {
        CryptBlob blob = {};
        blobInit(&blob, size);
        blobClear(&blob);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || (library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL)) == nullptr) {
        std::fprintf(stderr, "usage: main_thread_ends_first LIBRARY (%s)\n", argc == 2 ? dlerror() : "");
        return 2;
    }
    calls();
    mainThread = pthread_self();
    std::thread([] {
        pthread_join(mainThread, nullptr);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) threads.emplace_back(calls);
        for (auto& thread : threads) thread.join();
        _exit(dlclose(library) == 0 ? 0 : 1);
    }).detach();
    pthread_exit(nullptr);
}
