// A key, a digest and its signature for the verification benchmarks: an RSA
// key of OpenSSL's, the MD5 digest of a short message, its PKCS #1 v1.5
// signature in both byte orders, and the key as a PUBLICKEYBLOB.
//
// The keys are OpenSSL's, made the first time a row needs them and kept for
// later runs as PEM files in the build folder (bench-keys/ beside bin/, or the
// folder named by ZQ_BENCH_KEYS): one file per size and exponent, at most 12
// files and about 60 KB in all; delete them to have new keys made. Keys of
// 8192 bits and more are made with five primes (OpenSSL's most for those
// sizes), which finds them in seconds where two primes take minutes; a
// verification uses only n and e, so the check costs the same either way.
// The signature is made afresh from the key on every run.
#pragma once

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "zqcrypt.h"

namespace bench {


// keyFolder is where generated keys are kept between runs: ZQ_BENCH_KEYS if
// set, otherwise bench-keys/ in the build folder (the parent of the
// program's bin/). Empty when neither can be found: keys are then made on
// every run.
inline std::filesystem::path keyFolder() {
    if (const char* folder = std::getenv("ZQ_BENCH_KEYS"); folder != nullptr && *folder != '\0') return folder;
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !program.has_parent_path()) return {};
    return program.parent_path().parent_path() / "bench-keys";
}

inline bool hasShape(EVP_PKEY* key, unsigned bits, unsigned exponent) {
    BIGNUM* e = nullptr;
    const bool shaped = EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA &&
                        EVP_PKEY_get_bits(key) == static_cast<int>(bits) &&
                        EVP_PKEY_get_bn_param(key, "e", &e) == 1 && BN_is_word(e, exponent);
    BN_free(e);
    return shaped;
}

inline EVP_PKEY* readKey(const std::filesystem::path& path, unsigned bits, unsigned exponent) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return nullptr;
    EVP_PKEY* key = PEM_read_PrivateKey(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    if (key != nullptr && !hasShape(key, bits, exponent)) {
        EVP_PKEY_free(key);
        key = nullptr;
    }
    return key;
}

// writeKey keeps `key` at `path`, through a temporary file renamed into
// place, so that a run that stops half-way leaves no partial key behind.
inline void writeKey(const std::filesystem::path& path, EVP_PKEY* key) {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    const std::filesystem::path temporary = path.string() + "." + std::to_string(getpid()) + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) return;
    const bool written = PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    if (std::fclose(file) == 0 && written) std::filesystem::rename(temporary, path, error);
    std::filesystem::remove(temporary, error);
}

inline EVP_PKEY* generateKey(unsigned bits, unsigned exponent) {
    const auto start = std::chrono::steady_clock::now();
    EVP_PKEY* key = nullptr;
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr);
    BIGNUM* e = BN_new();
    BN_set_word(e, exponent);
    const bool made = context != nullptr && EVP_PKEY_keygen_init(context) == 1 &&
                      EVP_PKEY_CTX_set_rsa_keygen_bits(context, static_cast<int>(bits)) == 1 &&
                      EVP_PKEY_CTX_set1_rsa_keygen_pubexp(context, e) == 1 &&
                      EVP_PKEY_CTX_set_rsa_keygen_primes(context, bits >= 8192 ? 5 : 2) == 1 &&
                      EVP_PKEY_keygen(context, &key) == 1;
    EVP_PKEY_CTX_free(context);
    BN_free(e);
    if (!made) {
        EVP_PKEY_free(key);
        return nullptr;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "made a %u-bit key with e = %u in %.1f s\n", bits, exponent, took.count());
    return key;
}

struct SignedDigest {
    EVP_PKEY* key = nullptr;
    std::vector<uint8_t> keyBlob;     // PUBLICKEYBLOB
    std::vector<uint8_t> digest;      // MD5 of the message
    std::vector<uint8_t> signature;   // big-endian, as OpenSSL makes it
    std::vector<uint8_t> signatureLe; // least significant byte first

    SignedDigest(unsigned bits, unsigned exponent) {
        const std::filesystem::path folder = keyFolder();
        const std::filesystem::path path =
            folder.empty() ? folder : folder / ("rsa-" + std::to_string(bits) + "-e" + std::to_string(exponent) + ".pem");
        if (!path.empty()) key = readKey(path, bits, exponent);
        if (key == nullptr) {
            key = generateKey(bits, exponent);
            if (key == nullptr) return;
            if (!path.empty()) writeKey(path, key);
        }

        const std::string message = "a message of " + std::to_string(bits) + " bits";
        digest.resize(16);
        unsigned length = 0;
        EVP_Digest(message.data(), message.size(), digest.data(), &length, EVP_md5(), nullptr);

        EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key, nullptr);
        EVP_PKEY_sign_init(context);
        EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING);
        EVP_PKEY_CTX_set_signature_md(context, EVP_md5());
        size_t size = 0;
        EVP_PKEY_sign(context, nullptr, &size, digest.data(), digest.size());
        signature.resize(size);
        if (EVP_PKEY_sign(context, signature.data(), &size, digest.data(), digest.size()) != 1) signature.clear();
        EVP_PKEY_CTX_free(context);
        signatureLe.assign(signature.rbegin(), signature.rend());

        BIGNUM* n = nullptr;
        EVP_PKEY_get_bn_param(key, "n", &n);
        keyBlob = {0x06, 0x02, 0x00, 0x00, 0x00, 0xA4, 0x00, 0x00, 'R', 'S', 'A', '1'};
        for (uint32_t word : {static_cast<uint32_t>(bits), static_cast<uint32_t>(exponent)}) {
            for (int i = 0; i < 4; ++i) keyBlob.push_back(static_cast<uint8_t>(word >> (8 * i)));
        }
        std::vector<uint8_t> modulus(bits / 8);
        BN_bn2lebinpad(n, modulus.data(), static_cast<int>(modulus.size()));
        keyBlob.insert(keyBlob.end(), modulus.begin(), modulus.end());
        BN_free(n);
    }
    ~SignedDigest() { EVP_PKEY_free(key); }
    SignedDigest(const SignedDigest&) = delete;
    SignedDigest& operator=(const SignedDigest&) = delete;

    bool ready() const { return key != nullptr && !signature.empty(); }
};

// signedDigest gives the key and signature of one size and exponent, made
// once per run and shared by the zqcrypt and OpenSSL rows (Google Benchmark
// calls a benchmark several times while it settles on an iteration count).
inline const SignedDigest& signedDigest(unsigned bits, unsigned exponent) {
    static std::map<std::pair<unsigned, unsigned>, std::unique_ptr<SignedDigest>> made;
    std::unique_ptr<SignedDigest>& entry = made[{bits, exponent}];
    if (!entry) entry = std::make_unique<SignedDigest>(bits, exponent);
    return *entry;
}

inline CryptBlob blobOf(const std::vector<uint8_t>& bytes) {
    CryptBlob blob{};
    zqCryptBlobInit(&blob, static_cast<uint32_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), blob.data);
    return blob;
}

}  // namespace bench
