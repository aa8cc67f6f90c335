// export_timing: times the library's exports as a host program calls them,
// with nothing but the library and the C++ standard library, so that one
// source measures the Linux shared library and, built with mingw-w64 and run
// under Wine, zqcrypt.dll (resolved by name, as hosts load it: decorated in
// the 32-bit DLL, plain in the x86-64 one).
//
// Each case is repeated for about 20 ms per sample; the program prints one
// line per case: its name, the best time per call in nanoseconds over the
// samples, and the throughput in MiB/s at that time (0 for cases without a
// byte count). The clock is the wall clock, the one clock that reads the
// same way on Linux and under Wine; on a machine shared with other work the
// best sample is the one least disturbed.
//
// Usage: export_timing [rsa_md5_signatures.txt] [samples]
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "signature_case.h"
#include "zqcrypt.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

// The exports the cases call.
struct Exports {
    uintptr_t(ZQ_CALL* blobInit)(CryptBlob*, uint32_t);
    uint32_t(ZQ_CALL* blobClear)(CryptBlob*);
    uint32_t(ZQ_CALL* hashBuffer)(const CryptBlob*, uint32_t, CryptBlob*);
    uint32_t(ZQ_CALL* verifySignature)(const CryptBlob*, const CryptBlob*, const CryptBlob*, uint32_t, uint32_t*);
    uint32_t(ZQ_CALL* uuEncode)(const CryptBlob*, uint32_t, CryptBlob*);
    uint32_t(ZQ_CALL* uuDecode)(const CryptBlob*, uint32_t, CryptBlob*);
};

#if defined(_WIN32)
template <typename Function>
bool resolve(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

bool load(Exports& e) {
    const HMODULE module = LoadLibraryA("zqcrypt.dll");
    return module != nullptr && resolve(module, ZQ_PROC_NAME(zqCryptBlobInit, 8), e.blobInit) &&
           resolve(module, ZQ_PROC_NAME(zqCryptBlobClear, 4), e.blobClear) &&
           resolve(module, ZQ_PROC_NAME(zqCryptHashBuffer, 12), e.hashBuffer) &&
           resolve(module, ZQ_PROC_NAME(zqCryptVerifySignature, 20), e.verifySignature) &&
           resolve(module, ZQ_PROC_NAME(zqCryptUUEncode, 12), e.uuEncode) &&
           resolve(module, ZQ_PROC_NAME(zqCryptUUDecode, 12), e.uuDecode);
}
#else
bool load(Exports& e) {
    e = {zqCryptBlobInit, zqCryptBlobClear, zqCryptHashBuffer, zqCryptVerifySignature, zqCryptUUEncode,
         zqCryptUUDecode};
    return true;
}
#endif

Exports api;
int samples = 7;

Bytes input(size_t size) {
    Bytes bytes(size);
    uint32_t state = 20240501;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

CryptBlob blobOf(const Bytes& bytes) {
    CryptBlob blob{0, 0, nullptr};
    api.blobInit(&blob, static_cast<uint32_t>(bytes.size()));
    if (!bytes.empty()) memcpy(blob.data, bytes.data(), bytes.size());
    return blob;
}

// measure prints the best time per call of `call` (which returns false on
// a failed call) and the byte rate for `bytes` bytes a call.
template <typename Call>
void measure(const std::string& name, size_t bytes, Call call) {
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    // Calibration: calls until 20 ms have passed, at least one.
    uint64_t calls = 0;
    const Clock::time_point start = Clock::now();
    while (seconds(Clock::now() - start) < 0.02 || calls == 0) {
        if (!call()) {
            printf("%s\tfailed\n", name.c_str());
            return;
        }
        ++calls;
    }
    std::vector<double> perCall;
    for (int s = 0; s < samples; ++s) {
        const Clock::time_point begin = Clock::now();
        for (uint64_t k = 0; k < calls; ++k) call();
        perCall.push_back(seconds(Clock::now() - begin) / static_cast<double>(calls));
    }
    const double best = *std::min_element(perCall.begin(), perCall.end());
    printf("%s\t%.1f\t%.1f\n", name.c_str(), best * 1e9,
           bytes == 0 ? 0.0 : static_cast<double>(bytes) / best / (1024.0 * 1024.0));
    fflush(stdout);
}

// warmUp keeps the processor busy with calls for a quarter of a second, so
// that the first case does not pay for a clock that is still rising or for
// pages touched the first time.
void warmUp() {
    CryptBlob in = blobOf(input(1 << 16)), out{0, 0, nullptr};
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(250)) api.hashBuffer(&in, 0, &out);
    api.blobClear(&in);
    api.blobClear(&out);
}

void digestCases() {
    for (size_t size : {size_t{64}, size_t{1024}, size_t{16384}, size_t{1} << 20}) {
        CryptBlob in = blobOf(input(size)), out{0, 0, nullptr};
        measure("md5/" + std::to_string(size), size, [&] { return api.hashBuffer(&in, 0, &out) == 1; });
        api.blobClear(&in);
        api.blobClear(&out);
    }
}

void base64Cases() {
    constexpr size_t MiB = size_t{1} << 20;
    for (size_t size : {size_t{64}, size_t{1024}, size_t{16384}, MiB, 4 * MiB, 8 * MiB}) {
        CryptBlob in = blobOf(input(size)), text{0, 0, nullptr}, out{0, 0, nullptr};
        measure("b64encode/" + std::to_string(size), size, [&] { return api.uuEncode(&in, 0, &text) == 1; });
        measure("b64decode/" + std::to_string(size), size,
                [&] { return api.uuDecode(&text, 0, &out) == 1 && out.size == size; });
        for (CryptBlob* blob : {&in, &text, &out}) api.blobClear(blob);
    }
}

void signatureCase(const char* vectors) {
    SignatureCase c;
    if (!readSignatureCase(vectors, "[2048 bits, e = 65537", c)) {
        printf("rsa-verify-e65537/2048\tfailed\n");
        return;
    }
    CryptBlob s = blobOf(c.signature), k = blobOf(c.key), d = blobOf(c.digest);
    measure("rsa-verify-e65537/2048", 0, [&] {
        uint32_t matches = 0;
        return api.verifySignature(&s, &k, &d, 0, &matches) == 1 && matches == 1;
    });
    for (CryptBlob* blob : {&s, &k, &d}) api.blobClear(blob);
}

}  // namespace

int main(int argc, char** argv) {
    if (!load(api)) {
        fprintf(stderr, "cannot load the library's exports\n");
        return 2;
    }
    if (argc > 2) samples = std::max(1, atoi(argv[2]));
    warmUp();
    digestCases();
    base64Cases();
    if (argc > 1) signatureCase(argv[1]);
    return 0;
}
