// Digests: MD5 through the export zqCryptHashBuffer (hash object, output blob
// and all) against OpenSSL's MD5, and the SHA-0 engine against OpenSSL's
// SHA-1, the nearest peer (same structure, one more rotation per expanded
// word), at 64 B, 1 KiB, 16 KiB and 1 MiB; MD5 also at 256 B, 4 KiB, 64 KiB
// and 256 KiB, for the curve of throughput against size. Inputs are the same
// fixed pseudo-random bytes for both sides.
#define OPENSSL_SUPPRESS_DEPRECATED  // the low-level digest functions
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/md5.h>
#include <openssl/sha.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engines/sha0.h"
#include "zqcrypt.h"

namespace {

std::vector<uint8_t> input(size_t size) {
    std::vector<uint8_t> bytes(size);
    std::mt19937 random(20240501);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
    return bytes;
}

void md5Zq(benchmark::State& state, int64_t size) {
    const std::vector<uint8_t> bytes = input(static_cast<size_t>(size));
    CryptBlob in{0, 0, nullptr}, out{0, 0, nullptr};
    zqCryptBlobInit(&in, static_cast<uint32_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), in.data);
    for (auto _ : state) {
        if (zqCryptHashBuffer(&in, 0, &out) != 1) {
            state.SkipWithError("zqCryptHashBuffer failed");
            break;
        }
        benchmark::DoNotOptimize(out.data);
        benchmark::ClobberMemory();
    }
    zqCryptBlobClear(&in);
    zqCryptBlobClear(&out);
    state.SetBytesProcessed(state.iterations() * size);
}

// OpenSSL's digest through its low-level init/update/final functions, the
// fastest path it has for MD5 and SHA-1 (SHA1() goes through EVP and fetches
// the algorithm on every call).
template <typename Context, int (*init)(Context*), int (*update)(Context*, const void*, size_t),
          int (*final)(unsigned char*, Context*)>
void openSslDigest(benchmark::State& state, int64_t size) {
    const std::vector<uint8_t> bytes = input(static_cast<size_t>(size));
    unsigned char digest[EVP_MAX_MD_SIZE];
    for (auto _ : state) {
        Context context;
        init(&context);
        update(&context, bytes.data(), bytes.size());
        final(digest, &context);
        benchmark::DoNotOptimize(digest);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * size);
}

void sha0Zq(benchmark::State& state, int64_t size) {
    const std::vector<uint8_t> bytes = input(static_cast<size_t>(size));
    uint8_t digest[20];
    for (auto _ : state) {
        zq::Sha0Context context;
        zq::Sha0Context::begin(context);
        zq::Sha0Context::feed(context, bytes.data(), static_cast<uint32_t>(bytes.size()));
        zq::Sha0Context::finish(digest, context);
        benchmark::DoNotOptimize(digest);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * size);
}

const bool registered = [] {
    const std::pair<const char*, int64_t> sizes[] = {{"64B", 64},         {"256B", 256},       {"1KiB", 1024},
                                                     {"4KiB", 4096},      {"16KiB", 16384},    {"64KiB", 65536},
                                                     {"256KiB", 1 << 18}, {"1MiB", 1 << 20}};
    for (const auto& [label, size] : sizes) {
        const std::string md5 = std::string("md5/") + label + "/";
        const std::string sha0 = std::string("sha0/") + label + "/";
        benchmark::RegisterBenchmark((md5 + "zqcrypt").c_str(), md5Zq, size);
        benchmark::RegisterBenchmark((md5 + "openssl").c_str(), openSslDigest<MD5_CTX, MD5_Init, MD5_Update, MD5_Final>, size);
        // SHA-0 at every fourth power of two only.
        if (size != 64 && size != 1024 && size != 16384 && size != (1 << 20)) continue;
        benchmark::RegisterBenchmark((sha0 + "zqcrypt").c_str(), sha0Zq, size);
        benchmark::RegisterBenchmark((sha0 + "openssl").c_str(), openSslDigest<SHA_CTX, SHA1_Init, SHA1_Update, SHA1_Final>, size);
    }
    return true;
}();

}  // namespace
