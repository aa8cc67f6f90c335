// Modular exponentiation: zq::modPow against GMP's mpz_powm and OpenSSL's
// BN_mod_exp on the same operands, for odd moduli of 1024, 2048 and 4096
// bits, with the public exponent 65537 (the signature check's case) and with
// a full-size exponent. Operands come from a fixed seed.
#include <benchmark/benchmark.h>
#include <gmp.h>
#include <openssl/bn.h>

#include <string>
#include <vector>

#include "bignum/montgomery.h"

namespace {

// Operands: a modulus with its top and bottom bits set, a base below it and an
// exponent, the same numbers for every implementation.
struct Operands {
    mpz_t modulus, base, exponent;

    Operands(unsigned bits, bool fullExponent) {
        gmp_randstate_t state;
        gmp_randinit_default(state);
        gmp_randseed_ui(state, 20240501 + bits);
        mpz_inits(modulus, base, exponent, nullptr);
        mpz_urandomb(modulus, state, bits);
        mpz_setbit(modulus, bits - 1);
        mpz_setbit(modulus, 0);
        mpz_urandomm(base, state, modulus);
        if (fullExponent) {
            mpz_urandomb(exponent, state, bits);
            mpz_setbit(exponent, bits - 1);
        } else {
            mpz_set_ui(exponent, 65537);
        }
        gmp_randclear(state);
    }
    ~Operands() { mpz_clears(modulus, base, exponent, nullptr); }

    static std::vector<uint32_t> words(const mpz_t x) {
        std::vector<uint32_t> out((mpz_sizeinbase(x, 2) + 31) / 32);
        size_t count = 0;
        mpz_export(out.data(), &count, -1, 4, 0, 0, x);
        out.resize(count);
        return out;
    }
    static zq::BigInt toBigInt(const mpz_t x) {
        const std::vector<uint32_t> w = words(x);
        zq::BigInt value(0u);
        value.fromWords(w.data(), static_cast<uint32_t>(w.size()));
        return value;
    }
    static BIGNUM* toBignum(const mpz_t x) {
        std::vector<unsigned char> bytes((mpz_sizeinbase(x, 2) + 7) / 8);
        size_t count = 0;
        mpz_export(bytes.data(), &count, 1, 1, 0, 0, x);
        return BN_bin2bn(bytes.data(), static_cast<int>(count), nullptr);
    }
};

void zqcryptModPow(benchmark::State& state, unsigned bits, bool fullExponent) {
    const Operands operands(bits, fullExponent);
    const zq::BigInt modulus = Operands::toBigInt(operands.modulus);
    const zq::BigInt base = Operands::toBigInt(operands.base);
    const zq::BigInt exponent = Operands::toBigInt(operands.exponent);
    for (auto _ : state) {
        const zq::BigInt result = zq::modPow(base, exponent, modulus);
        benchmark::DoNotOptimize(result.mag);
    }
}

void gmpModPow(benchmark::State& state, unsigned bits, bool fullExponent) {
    const Operands operands(bits, fullExponent);
    mpz_t result;
    mpz_init(result);
    for (auto _ : state) {
        mpz_powm(result, operands.base, operands.exponent, operands.modulus);
        benchmark::DoNotOptimize(result->_mp_d);
    }
    mpz_clear(result);
}

void opensslModPow(benchmark::State& state, unsigned bits, bool fullExponent) {
    const Operands operands(bits, fullExponent);
    BIGNUM* modulus = Operands::toBignum(operands.modulus);
    BIGNUM* base = Operands::toBignum(operands.base);
    BIGNUM* exponent = Operands::toBignum(operands.exponent);
    BIGNUM* result = BN_new();
    BN_CTX* context = BN_CTX_new();
    for (auto _ : state) {
        BN_mod_exp(result, base, exponent, modulus, context);
        benchmark::DoNotOptimize(result);
    }
    BN_CTX_free(context);
    BN_free(result);
    BN_free(exponent);
    BN_free(base);
    BN_free(modulus);
}

// Registration: modpow-e65537/<bits>/<implementation> and modpow-full/...
const bool registered = [] {
    for (const bool fullExponent : {false, true}) {
        for (const unsigned bits : {1024u, 2048u, 4096u}) {
            const std::string prefix =
                std::string(fullExponent ? "modpow-full/" : "modpow-e65537/") + std::to_string(bits) + "/";
            benchmark::RegisterBenchmark((prefix + "zqcrypt").c_str(), zqcryptModPow, bits, fullExponent)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark((prefix + "gmp").c_str(), gmpModPow, bits, fullExponent)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark((prefix + "openssl").c_str(), opensslModPow, bits, fullExponent)
                ->Unit(benchmark::kMicrosecond);
        }
    }
    return true;
}();

}  // namespace
