// Signature verification: zqCryptVerifySignature against OpenSSL's RSA
// PKCS #1 v1.5 verification over MD5 (EVP_PKEY_verify), with keys of 1024,
// 2048, 3072, 4096, 8192 and 16384 bits, each with exponent 65537 and with
// exponent 3, so that the rows show how the cost of a check grows with the
// key (tools/cost_curve.py fits it). Each iteration is one whole
// verification, key import included; both sides check the same signature
// under the same key.
//
// Every row first checks that the signature verifies; a row whose check
// fails reports an error instead of a time, and the program then exits with
// status 1.
#include <benchmark/benchmark.h>

#include <string>

#include "signed_digest.h"

namespace {

using bench::blobOf;
using bench::signedDigest;
using bench::SignedDigest;

constexpr unsigned kSizes[] = {1024, 2048, 3072, 4096, 8192, 16384};
constexpr unsigned kExponents[] = {65537, 3};

void zqcryptVerify(benchmark::State& state, unsigned bits, unsigned exponent) {
    const SignedDigest& input = signedDigest(bits, exponent);
    if (!input.ready()) {
        state.SkipWithError("OpenSSL could not make the key or the signature");
        return;
    }
    CryptBlob signature = blobOf(input.signatureLe), key = blobOf(input.keyBlob),
              digest = blobOf(input.digest);
    uint32_t matches = 0;
    const auto check = [&] {
        return zqCryptVerifySignature(&signature, &key, &digest, 0, &matches) == 1 && matches == 1;
    };
    if (!check()) {
        state.SkipWithError("the signature does not verify");
    } else {
        for (auto _ : state) {
            if (!check()) {
                state.SkipWithError("the signature does not verify");
                break;
            }
        }
        state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    }
    for (CryptBlob* blob : {&signature, &key, &digest}) zqCryptBlobClear(blob);
}

void opensslVerify(benchmark::State& state, unsigned bits, unsigned exponent) {
    const SignedDigest& input = signedDigest(bits, exponent);
    if (!input.ready()) {
        state.SkipWithError("OpenSSL could not make the key or the signature");
        return;
    }
    const auto check = [&] {
        EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(input.key, nullptr);
        EVP_PKEY_verify_init(context);
        EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING);
        EVP_PKEY_CTX_set_signature_md(context, EVP_md5());
        const int ok = EVP_PKEY_verify(context, input.signature.data(), input.signature.size(),
                                       input.digest.data(), input.digest.size());
        EVP_PKEY_CTX_free(context);
        return ok == 1;
    };
    if (!check()) {
        state.SkipWithError("the signature does not verify");
        return;
    }
    for (auto _ : state) {
        if (!check()) {
            state.SkipWithError("the signature does not verify");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void registerAll() {
    for (unsigned exponent : kExponents) {
        for (unsigned bits : kSizes) {
            const std::string prefix = "rsa-verify-e" + std::to_string(exponent) + "/" + std::to_string(bits);
            benchmark::RegisterBenchmark((prefix + "/zqcrypt").c_str(), zqcryptVerify, bits, exponent)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark((prefix + "/openssl").c_str(), opensslVerify, bits, exponent)
                ->Unit(benchmark::kMicrosecond);
        }
    }
}

const bool registered = (registerAll(), true);

}  // namespace
