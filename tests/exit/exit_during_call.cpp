// A host whose main function returns while another thread is inside
// zqCryptVerifySignature, as POSIX allows. Process exit must not take the
// heap blocks of that call away from under it: the program must end with
// status 0, with no fault and no report from a sanitizer.
//
// The library's code is linked in, so that a destructor of this file can run
// after the heap's own exit hook (both have priority 101, and this file comes
// first in the link, so its destructor runs later) and find the call's
// blocks still there, while the worker goes on using them.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include "frame/heap_probe.h"
#include "zqcrypt.h"

namespace {

std::atomic<bool> inside{false};

void fill(CryptBlob& blob, const std::vector<uint8_t>& bytes) {
    blob = CryptBlob{0, 0, nullptr};
    if (zqCryptBlobInit(&blob, static_cast<uint32_t>(bytes.size())) == 0) return;
    for (size_t i = 0; i < bytes.size(); ++i) blob.data[i] = bytes[i];
}

// checkForever checks a 16384-bit signature under a 16384-bit odd modulus
// with exponent 2^32 - 1, the longest check the library makes, until the
// process ends.
void checkForever() {
    const uint32_t bits = 16384;
    std::vector<uint8_t> key = {0x06, 0x02, 0x00, 0x00, 0x00, 0xA4, 0x00, 0x00, 'R', 'S', 'A', '1'};
    for (uint32_t word : {bits, 0xFFFFFFFFu}) {
        for (int i = 0; i < 4; ++i) key.push_back(static_cast<uint8_t>(word >> (8 * i)));
    }
    std::vector<uint8_t> signature(bits / 8);
    uint32_t state = 1;
    for (size_t i = 0; i < bits / 8; ++i) {
        state = state * 1664525u + 1013904223u;
        key.push_back(static_cast<uint8_t>(state >> 24) | (i == 0 ? 1 : 0));
        signature[i] = static_cast<uint8_t>(state >> 16);
    }
    signature.back() = 0;
    CryptBlob s, k, d;
    fill(s, signature);
    fill(k, key);
    fill(d, std::vector<uint8_t>(16, 0xA5));
    for (;;) {
        uint32_t matches = 0;
        inside.store(true);
        zqCryptVerifySignature(&s, &k, &d, 0, &matches);
    }
}

}  // namespace

__attribute__((destructor(101))) void afterTheHeapsExitHook() {
    const uint32_t live = zq::heap_probe::liveBlocks();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (live == 0) {
        std::fprintf(stderr, "process exit released the blocks of a call in progress\n");
        _exit(1);
    }
}

int main() {
    std::thread(checkForever).detach();
    while (!inside.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return 0;
}
