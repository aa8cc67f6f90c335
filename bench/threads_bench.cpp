// Threads: 1 and 2 threads (and as many as the machine has processors, where
// that is more) each calling on blobs of their own, the library beside
// OpenSSL in the same threads: MD5 of 64 B (MD5), Base64 of 4 KiB both ways
// (EVP_EncodeBlock, EVP_DecodeBlock) and a 2048-bit check (EVP_PKEY_verify).
// Rows are named CASE-xN for N threads. Times are wall-clock, and each row's
// items_per_second counts the calls of all its threads together: its rate at
// N threads over its rate at 1 is its scaling.
#define OPENSSL_SUPPRESS_DEPRECATED  // MD5()
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/md5.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "signed_digest.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes input(size_t size) {
    Bytes bytes(size);
    std::mt19937 random(20261207);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
    return bytes;
}

// calls ends a run: calls counted, or the run failed where a call did.
void calls(benchmark::State& state, bool correct) {
    if (!correct) state.SkipWithError("a call failed");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

// exportRow: calls of `call`, an export from an input record of `size`
// bytes to an output record (the MD5 digest, the Base64 text).
template <uint32_t(ZQ_CALL* call)(const CryptBlob*, uint32_t, CryptBlob*) ZQ_NOEXCEPT, size_t size>
void exportRow(benchmark::State& state) {
    CryptBlob in = bench::blobOf(input(size)), out{0, 0, nullptr};
    bool correct = true;
    for (auto _ : state) correct &= call(&in, 0, &out) == 1;
    zqCryptBlobClear(&in);
    zqCryptBlobClear(&out);
    calls(state, correct);
}

void md5OpenSsl(benchmark::State& state) {
    const Bytes bytes = input(64);
    unsigned char digest[16];
    for (auto _ : state) {
        MD5(bytes.data(), bytes.size(), digest);
        benchmark::DoNotOptimize(digest);
    }
    calls(state, true);
}

void encodeOpenSsl(benchmark::State& state) {
    const Bytes bytes = input(4096);
    Bytes text(4 * 4096 / 3 + 4);
    for (auto _ : state) {
        EVP_EncodeBlock(text.data(), bytes.data(), static_cast<int>(bytes.size()));
        benchmark::DoNotOptimize(text.data());
    }
    calls(state, true);
}

void decodeZq(benchmark::State& state) {
    CryptBlob in = bench::blobOf(input(4096)), text{0, 0, nullptr}, out{0, 0, nullptr};
    bool correct = zqCryptUUEncode(&in, 0, &text) == 1;
    for (auto _ : state) correct &= zqCryptUUDecode(&text, 0, &out) == 1 && out.size == 4096;
    for (CryptBlob* blob : {&in, &text, &out}) zqCryptBlobClear(blob);
    calls(state, correct);
}

void decodeOpenSsl(benchmark::State& state) {
    const Bytes bytes = input(4096);
    Bytes text(4 * 4096 / 3 + 4), out(4096 + 3);
    const int length = EVP_EncodeBlock(text.data(), bytes.data(), static_cast<int>(bytes.size()));
    bool correct = true;
    for (auto _ : state) correct &= EVP_DecodeBlock(out.data(), text.data(), length) >= 4096;
    calls(state, correct);
}

// key2048 is had once, by the first thread that asks, before its timing
// starts (a run's threads start their timing together).
const bench::SignedDigest& key2048() {
    static const bench::SignedDigest& signedDigest = bench::signedDigest(2048, 65537);
    return signedDigest;
}

void verifyZq(benchmark::State& state) {
    const bench::SignedDigest& input = key2048();
    if (!input.ready()) return state.SkipWithError("OpenSSL could not make the key or the signature");
    CryptBlob signature = bench::blobOf(input.signatureLe), key = bench::blobOf(input.keyBlob),
              digest = bench::blobOf(input.digest);
    bool correct = true;
    for (auto _ : state) {
        uint32_t matches = 0;
        correct &= zqCryptVerifySignature(&signature, &key, &digest, 0, &matches) == 1 && matches == 1;
    }
    for (CryptBlob* blob : {&signature, &key, &digest}) zqCryptBlobClear(blob);
    calls(state, correct);
}

void verifyOpenSsl(benchmark::State& state) {
    const bench::SignedDigest& input = key2048();
    if (!input.ready()) return state.SkipWithError("OpenSSL could not make the key or the signature");
    bool correct = true;
    for (auto _ : state) {
        EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(input.key, nullptr);
        EVP_PKEY_verify_init(context);
        EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING);
        EVP_PKEY_CTX_set_signature_md(context, EVP_md5());
        correct &= EVP_PKEY_verify(context, input.signature.data(), input.signature.size(), input.digest.data(),
                                   input.digest.size()) == 1;
        EVP_PKEY_CTX_free(context);
    }
    calls(state, correct);
}

const bool registered = [] {
    struct Case {
        const char* name;
        void (*zq)(benchmark::State&);
        void (*peer)(benchmark::State&);
    };
    const Case cases[] = {{"md5-64B", exportRow<zqCryptHashBuffer, 64>, md5OpenSsl},
                          {"b64encode-4KiB", exportRow<zqCryptUUEncode, 4096>, encodeOpenSsl},
                          {"b64decode-4KiB", decodeZq, decodeOpenSsl},
                          {"verify-2048", verifyZq, verifyOpenSsl}};
    std::vector<int> counts = {1, 2};
    const int processors = static_cast<int>(std::thread::hardware_concurrency());
    if (processors > 2) counts.push_back(processors);
    for (const Case& c : cases) {
        for (int threads : counts) {
            const std::string name = std::string("threads/") + c.name + "-x" + std::to_string(threads);
            benchmark::RegisterBenchmark((name + "/zqcrypt").c_str(), c.zq)->Threads(threads)->UseRealTime();
            benchmark::RegisterBenchmark((name + "/openssl").c_str(), c.peer)->Threads(threads)->UseRealTime();
        }
    }
    return true;
}();

}  // namespace
