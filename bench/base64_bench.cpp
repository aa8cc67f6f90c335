// Base64 at 1 KiB, 16 KiB and 1 MiB of raw bytes, both directions, counted
// per raw byte; the plain block and forced-path cases also at 64 B (the cost
// of a call) and at 4 and 8 MiB (large blocks), and the exports' cases at the
// powers of four between 64 B and 1 MiB too (the curve against size). The library runs through its
// exports (blob allocation included, on the path the processor allows) and,
// as separate cases, with the scalar, SSSE3, AVX2 or AVX-512 path forced
// into a ready buffer. The peer is OpenSSL:
// EVP_EncodeBlock / EVP_DecodeBlock (no line breaks, its fastest form) for
// "b64encode" and "b64decode" and the forced-path cases, and its
// line-breaking EVP_EncodeUpdate / EVP_DecodeUpdate for the "-lines" cases.
// Each side decodes text in its own layout: the library its CR LF lines,
// OpenSSL's block decoder one unbroken line, its update decoder LF lines.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

#include "codec/base64_codec.h"
#include "zqcrypt.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes input(int64_t size) {
    Bytes bytes(static_cast<size_t>(size));
    std::mt19937 random(20240611);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
    return bytes;
}

// blobOf: a library blob holding `bytes`.
CryptBlob blobOf(const Bytes& bytes) {
    CryptBlob blob{0, 0, nullptr};
    zqCryptBlobInit(&blob, static_cast<uint32_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), blob.data);
    return blob;
}

// The library's text for `bytes`, its zero tail included.
Bytes zqText(const Bytes& bytes) {
    CryptBlob in = blobOf(bytes), text{0, 0, nullptr};
    zqCryptUUEncode(&in, 0, &text);
    Bytes result(text.data, text.data + text.size);
    zqCryptBlobClear(&in);
    zqCryptBlobClear(&text);
    return result;
}

Bytes opensslBlockText(const Bytes& bytes) {
    Bytes text(4 * ((bytes.size() + 2) / 3) + 1);
    text.resize(static_cast<size_t>(EVP_EncodeBlock(text.data(), bytes.data(), static_cast<int>(bytes.size()))));
    return text;
}

// finish: per raw byte, and a failure where a side did not give the bytes back.
void finish(benchmark::State& state, int64_t size, bool correct) {
    if (!correct) state.SkipWithError("wrong result");
    state.SetBytesProcessed(state.iterations() * size);
}

// ---- Encoding --------------------------------------------------------------

void encodeExport(benchmark::State& state, int64_t size, zq::Base64Path) {
    CryptBlob in = blobOf(input(size)), text{0, 0, nullptr};
    for (auto _ : state) {
        zqCryptUUEncode(&in, 0, &text);
        benchmark::DoNotOptimize(text.data);
        benchmark::ClobberMemory();
    }
    finish(state, size, Bytes(text.data, text.data + text.size) == zqText(input(size)));
    zqCryptBlobClear(&in);
    zqCryptBlobClear(&text);
}

void encodeForced(benchmark::State& state, int64_t size, zq::Base64Path path) {
    if (!zq::base64PathAvailable(path)) return state.SkipWithError("path not available");
    const Bytes bytes = input(size);
    zq::Base64TextLayout layout{};
    zq::Base64TextLayout::of(static_cast<uint32_t>(size), layout);
    Bytes text(layout.blockSize);
    for (auto _ : state) {
        zq::base64EncodeText(bytes.data(), static_cast<uint32_t>(size), layout, text.data(), path);
        benchmark::DoNotOptimize(text.data());
        benchmark::ClobberMemory();
    }
    finish(state, size, text == zqText(bytes));
}

void encodeOpenSslBlock(benchmark::State& state, int64_t size, zq::Base64Path) {
    const Bytes bytes = input(size);
    Bytes text(4 * ((bytes.size() + 2) / 3) + 1);
    for (auto _ : state) {
        EVP_EncodeBlock(text.data(), bytes.data(), static_cast<int>(size));
        benchmark::DoNotOptimize(text.data());
        benchmark::ClobberMemory();
    }
    finish(state, size, true);
}

void encodeOpenSslLines(benchmark::State& state, int64_t size, zq::Base64Path) {
    const Bytes bytes = input(size);
    Bytes text(2 * bytes.size() + 80);
    EVP_ENCODE_CTX* context = EVP_ENCODE_CTX_new();
    for (auto _ : state) {
        int length = 0, last = 0;
        EVP_EncodeInit(context);
        EVP_EncodeUpdate(context, text.data(), &length, bytes.data(), static_cast<int>(size));
        EVP_EncodeFinal(context, text.data() + length, &last);
        benchmark::DoNotOptimize(text.data());
        benchmark::ClobberMemory();
    }
    EVP_ENCODE_CTX_free(context);
    finish(state, size, true);
}

// ---- Decoding --------------------------------------------------------------

void decodeExport(benchmark::State& state, int64_t size, zq::Base64Path) {
    const Bytes bytes = input(size);
    CryptBlob text = blobOf(zqText(bytes)), out{0, 0, nullptr};
    for (auto _ : state) {
        zqCryptUUDecode(&text, 0, &out);
        benchmark::DoNotOptimize(out.data);
        benchmark::ClobberMemory();
    }
    finish(state, size, Bytes(out.data, out.data + out.size) == bytes);
    zqCryptBlobClear(&text);
    zqCryptBlobClear(&out);
}

void decodeForced(benchmark::State& state, int64_t size, zq::Base64Path path) {
    if (!zq::base64PathAvailable(path)) return state.SkipWithError("path not available");
    const Bytes bytes = input(size);
    const Bytes text = zqText(bytes);
    Bytes out(zq::base64DecodedCapacity(static_cast<uint32_t>(text.size())));
    uint32_t count = 0;
    for (auto _ : state) {
        count = zq::base64DecodeText(text.data(), static_cast<uint32_t>(text.size()), out.data(), path);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    finish(state, size, Bytes(out.begin(), out.begin() + count) == bytes);
}

void decodeOpenSslBlock(benchmark::State& state, int64_t size, zq::Base64Path) {
    const Bytes bytes = input(size);
    const Bytes text = opensslBlockText(bytes);
    Bytes out(text.size());
    for (auto _ : state) {
        EVP_DecodeBlock(out.data(), text.data(), static_cast<int>(text.size()));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    finish(state, size, std::equal(bytes.begin(), bytes.end(), out.begin()));
}

void decodeOpenSslLines(benchmark::State& state, int64_t size, zq::Base64Path) {
    const Bytes bytes = input(size);
    Bytes text(2 * bytes.size() + 80);
    EVP_ENCODE_CTX* context = EVP_ENCODE_CTX_new();
    int length = 0, last = 0;
    EVP_EncodeInit(context);
    EVP_EncodeUpdate(context, text.data(), &length, bytes.data(), static_cast<int>(size));
    EVP_EncodeFinal(context, text.data() + length, &last);
    text.resize(static_cast<size_t>(length + last));

    Bytes out(text.size());
    for (auto _ : state) {
        EVP_DecodeInit(context);
        EVP_DecodeUpdate(context, out.data(), &length, text.data(), static_cast<int>(text.size()));
        EVP_DecodeFinal(context, out.data() + length, &last);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    EVP_ENCODE_CTX_free(context);
    finish(state, size, std::equal(bytes.begin(), bytes.end(), out.begin()));
}

// Every case, as "<case>/<size>/<side>" with the function that runs it and
// the path it forces (where it forces one).
using Run = void (*)(benchmark::State&, int64_t, zq::Base64Path);
struct Case {
    const char* kind;
    const char* side;
    Run run;
    zq::Base64Path path;
};

constexpr zq::Base64Path Any = zq::Base64Path::automatic;
constexpr Case Cases[] = {
    {"b64encode", "zqcrypt", encodeExport, Any},
    {"b64encode", "openssl", encodeOpenSslBlock, Any},
    {"b64encode-lines", "zqcrypt", encodeExport, Any},
    {"b64encode-lines", "openssl", encodeOpenSslLines, Any},
    {"b64encode-scalar", "zqcrypt", encodeForced, zq::Base64Path::scalar},
    {"b64encode-scalar", "openssl", encodeOpenSslBlock, Any},
    {"b64encode-ssse3", "zqcrypt", encodeForced, zq::Base64Path::ssse3},
    {"b64encode-ssse3", "openssl", encodeOpenSslBlock, Any},
    {"b64encode-avx2", "zqcrypt", encodeForced, zq::Base64Path::avx2},
    {"b64encode-avx2", "openssl", encodeOpenSslBlock, Any},
    {"b64encode-avx512", "zqcrypt", encodeForced, zq::Base64Path::avx512},
    {"b64encode-avx512", "openssl", encodeOpenSslBlock, Any},
    {"b64decode", "zqcrypt", decodeExport, Any},
    {"b64decode", "openssl", decodeOpenSslBlock, Any},
    {"b64decode-lines", "zqcrypt", decodeExport, Any},
    {"b64decode-lines", "openssl", decodeOpenSslLines, Any},
    {"b64decode-scalar", "zqcrypt", decodeForced, zq::Base64Path::scalar},
    {"b64decode-scalar", "openssl", decodeOpenSslBlock, Any},
    {"b64decode-ssse3", "zqcrypt", decodeForced, zq::Base64Path::ssse3},
    {"b64decode-ssse3", "openssl", decodeOpenSslBlock, Any},
    {"b64decode-avx2", "zqcrypt", decodeForced, zq::Base64Path::avx2},
    {"b64decode-avx2", "openssl", decodeOpenSslBlock, Any},
    {"b64decode-avx512", "zqcrypt", decodeForced, zq::Base64Path::avx512},
    {"b64decode-avx512", "openssl", decodeOpenSslBlock, Any},
};

const bool registered = [] {
    constexpr int64_t MiB = int64_t{1} << 20;
    for (const int64_t size : {int64_t{64}, int64_t{256}, int64_t{1024}, int64_t{4096}, int64_t{16384},
                               int64_t{65536}, MiB / 4, MiB, 4 * MiB, 8 * MiB}) {
        // Every form at the middle sizes; the block and forced-path cases
        // alone for the cost of a small call and for blocks above the C
        // library's threshold for mapping large blocks; the exports' cases
        // alone in between.
        const bool between = size == 256 || size == 4096 || size == 65536 || size == MiB / 4;
        const bool allForms = size >= 1024 && size <= MiB && !between;
        for (const Case& c : Cases) {
            const std::string kind(c.kind);
            if (between && kind != "b64encode" && kind != "b64decode") continue;
            if (!allForms && kind.find("-lines") != std::string::npos) continue;
            // The name is built by appending: GCC 12 warns wrongly about
            // `const char* + std::string`.
            std::string name(c.kind);
            name += '/';
            name += std::to_string(size);
            name += '/';
            name += c.side;
            benchmark::RegisterBenchmark(name.c_str(), c.run, size, c.path);
        }
    }
    return true;
}();

}  // namespace
