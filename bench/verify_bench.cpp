// Signature verification: zqCryptVerifySignature against OpenSSL's RSA
// PKCS #1 v1.5 verification over MD5 (EVP_PKEY_verify), with keys of 1024,
// 2048 and 4096 bits and exponent 65537, and 2048 bits with exponent 3. The
// keys and signatures are made by OpenSSL when the program starts; each
// iteration is one whole verification, key import included.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "signed_digest.h"

namespace {

using bench::blobOf;
using bench::SignedDigest;

void zqcryptVerify(benchmark::State& state, unsigned bits, unsigned exponent) {
    const SignedDigest input(bits, exponent);
    CryptBlob signature = blobOf(input.signatureLe), key = blobOf(input.keyBlob),
              digest = blobOf(input.digest);
    uint32_t matches = 0;
    for (auto _ : state) {
        zqCryptVerifySignature(&signature, &key, &digest, 0, &matches);
        if (matches != 1) state.SkipWithError("no match");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    for (CryptBlob* blob : {&signature, &key, &digest}) zqCryptBlobClear(blob);
}

void opensslVerify(benchmark::State& state, unsigned bits, unsigned exponent) {
    const SignedDigest input(bits, exponent);
    for (auto _ : state) {
        EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(input.key, nullptr);
        EVP_PKEY_verify_init(context);
        EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING);
        EVP_PKEY_CTX_set_signature_md(context, EVP_md5());
        const int ok = EVP_PKEY_verify(context, input.signature.data(), input.signature.size(),
                                       input.digest.data(), input.digest.size());
        EVP_PKEY_CTX_free(context);
        if (ok != 1) state.SkipWithError("no match");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void registerAll() {
    for (auto [bits, exponent] : {std::pair{1024u, 65537u}, {2048u, 65537u}, {4096u, 65537u}, {2048u, 3u}}) {
        const std::string prefix = "rsa-verify-e" + std::to_string(exponent) + "/" + std::to_string(bits);
        benchmark::RegisterBenchmark((prefix + "/zqcrypt").c_str(), zqcryptVerify, bits, exponent)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((prefix + "/openssl").c_str(), opensslVerify, bits, exponent)
            ->Unit(benchmark::kMicrosecond);
    }
}

const bool registered = (registerAll(), true);

}  // namespace
