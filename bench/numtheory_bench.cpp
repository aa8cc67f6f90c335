// The number-theory toolkit and the RC4 stage beside their peers:
//  - rsa-private: the private operation from e, p and q (the inverses derived
//    on every call) against OpenSSL's RSA private operation without padding
//    and GMP's x^d mod n;
//  - rsa-crt: the CRT power from d, p and q against the same recombination
//    written with GMP, which also reduces d and inverts p on every call;
//  - next-prime: the search from random 512-bit starts against
//    mpz_nextprime;
//  - rc4: keystream throughput against OpenSSL's RC4 (legacy provider), or a
//    plain byte loop where OpenSSL offers no RC4.
#include <benchmark/benchmark.h>
#include <gmp.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bignum/bigint.h"
#include "engines/rc4.h"
#include "numtheory/prime_table.h"
#include "numtheory/private_key.h"

namespace {

using Bytes = std::vector<uint8_t>;

// ---- Conversions from big-endian bytes -------------------------------------

zq::BigInt bigFromBytes(const Bytes& bigEndian) {
    Bytes little(bigEndian.rbegin(), bigEndian.rend());
    little.resize((little.size() + 3) / 4 * 4, 0);
    zq::BigInt value(0);
    value.fromWords(little.data(), static_cast<uint32_t>(little.size() / 4));
    return value;
}

struct MpzValue {
    mpz_t v;
    MpzValue() { mpz_init(v); }
    explicit MpzValue(const Bytes& bigEndian) {
        mpz_init(v);
        mpz_import(v, bigEndian.size(), 1, 1, 1, 0, bigEndian.data());
    }
    ~MpzValue() { mpz_clear(v); }
    MpzValue(const MpzValue&) = delete;
    MpzValue& operator=(const MpzValue&) = delete;
};

Bytes bytesOf(const BIGNUM* bn, size_t size) {
    Bytes out(size);
    BN_bn2binpad(bn, out.data(), static_cast<int>(size));
    return out;
}

// ---- One RSA key, made by OpenSSL, in every library's form ------------------

struct BenchKey {
    EVP_PKEY* pkey = nullptr;
    size_t size = 0;     // modulus bytes
    Bytes n, e, d, p, q, x;  // big-endian; x is a random input below n

    explicit BenchKey(int bits) {
        pkey = EVP_RSA_gen(static_cast<unsigned>(bits));
        if (pkey == nullptr) std::abort();
        size = static_cast<size_t>(EVP_PKEY_get_size(pkey));
        const char* names[] = {OSSL_PKEY_PARAM_RSA_N, OSSL_PKEY_PARAM_RSA_E, OSSL_PKEY_PARAM_RSA_D,
                               OSSL_PKEY_PARAM_RSA_FACTOR1, OSSL_PKEY_PARAM_RSA_FACTOR2};
        Bytes* fields[] = {&n, &e, &d, &p, &q};
        for (int k = 0; k < 5; ++k) {
            BIGNUM* bn = nullptr;
            if (EVP_PKEY_get_bn_param(pkey, names[k], &bn) != 1) std::abort();
            *fields[k] = bytesOf(bn, static_cast<size_t>(BN_num_bytes(bn)));
            BN_free(bn);
        }
        // A random x below n: n's top byte is non-zero, so a first byte of 0
        // keeps x smaller.
        x.resize(size);
        srand(12345);
        for (uint8_t& b : x) b = static_cast<uint8_t>(rand());
        x[0] = 0;
    }
    ~BenchKey() { EVP_PKEY_free(pkey); }
    BenchKey(const BenchKey&) = delete;
    BenchKey& operator=(const BenchKey&) = delete;
};

const BenchKey& benchKey(int bits) {
    static BenchKey key1024(1024);
    static BenchKey key2048(2048);
    return bits == 1024 ? key1024 : key2048;
}

// ---- rsa-private -----------------------------------------------------------

void rsaPrivateZq(benchmark::State& state, int bits) {
    const BenchKey& key = benchKey(bits);
    const zq::PrivateKeyObject object{bigFromBytes(key.n), bigFromBytes(key.e), bigFromBytes(key.p), bigFromBytes(key.q)};
    const zq::BigInt x = bigFromBytes(key.x);
    for (auto _ : state) {
        zq::BigInt y = object.privateOperation(x);
        benchmark::DoNotOptimize(y.mag);
    }
}

void rsaPrivateOpenSsl(benchmark::State& state, int bits) {
    const BenchKey& key = benchKey(bits);
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key.pkey, nullptr);
    if (context == nullptr || EVP_PKEY_decrypt_init(context) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(context, RSA_NO_PADDING) != 1) {
        state.SkipWithError("OpenSSL would not set up a raw RSA private operation");
        EVP_PKEY_CTX_free(context);
        return;
    }
    Bytes out(key.size);
    for (auto _ : state) {
        size_t outSize = out.size();
        if (EVP_PKEY_decrypt(context, out.data(), &outSize, key.x.data(), key.x.size()) != 1) {
            state.SkipWithError("EVP_PKEY_decrypt failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    EVP_PKEY_CTX_free(context);
}

void rsaPrivateGmp(benchmark::State& state, int bits) {
    const BenchKey& key = benchKey(bits);
    MpzValue n(key.n), d(key.d), x(key.x), y;
    for (auto _ : state) {
        mpz_powm(y.v, x.v, d.v, n.v);
        benchmark::DoNotOptimize(y.v);
    }
}

// ---- rsa-crt ---------------------------------------------------------------

void rsaCrtZq(benchmark::State& state, int bits) {
    const BenchKey& key = benchKey(bits);
    const zq::BigInt d = bigFromBytes(key.d), p = bigFromBytes(key.p), q = bigFromBytes(key.q);
    const zq::BigInt x = bigFromBytes(key.x);
    for (auto _ : state) {
        zq::BigInt y = zq::crtPow(x, d, p, q);
        benchmark::DoNotOptimize(y.mag);
    }
}

void rsaCrtGmp(benchmark::State& state, int bits) {
    const BenchKey& key = benchKey(bits);
    MpzValue d(key.d), p(key.p), q(key.q), x(key.x);
    MpzValue pInv, p1, q1, dP, dQ, mP, mQ, h, y;
    for (auto _ : state) {
        mpz_invert(pInv.v, p.v, q.v);
        mpz_sub_ui(p1.v, p.v, 1);
        mpz_sub_ui(q1.v, q.v, 1);
        mpz_mod(dP.v, d.v, p1.v);
        mpz_mod(dQ.v, d.v, q1.v);
        mpz_powm(mP.v, x.v, dP.v, p.v);
        mpz_powm(mQ.v, x.v, dQ.v, q.v);
        mpz_sub(h.v, mQ.v, mP.v);
        mpz_mul(h.v, h.v, pInv.v);
        mpz_mod(h.v, h.v, q.v);
        mpz_mul(y.v, h.v, p.v);
        mpz_add(y.v, y.v, mP.v);
        benchmark::DoNotOptimize(y.v);
    }
}

// ---- next-prime ------------------------------------------------------------

// Random 512-bit starts, the same for both sides; each iteration takes the
// next one.
const std::vector<Bytes>& primeStarts() {
    static const std::vector<Bytes> starts = [] {
        std::vector<Bytes> list;
        srand(4242);
        for (int k = 0; k < 16; ++k) {
            Bytes start(64);
            for (uint8_t& b : start) b = static_cast<uint8_t>(rand());
            start[0] |= 0x80;
            list.push_back(start);
        }
        return list;
    }();
    return starts;
}

void nextPrimeZq(benchmark::State& state) {
    const zq::PrimeTable table(1000);  // built once, as a caller would
    const std::vector<Bytes>& starts = primeStarts();
    size_t k = 0;
    for (auto _ : state) {
        zq::BigInt n = bigFromBytes(starts[k++ % starts.size()]);
        zq::BigInt prime = table.nextPrime(n);
        benchmark::DoNotOptimize(prime.mag);
    }
}

void nextPrimeGmp(benchmark::State& state) {
    const std::vector<Bytes>& starts = primeStarts();
    size_t k = 0;
    MpzValue n;
    for (auto _ : state) {
        const Bytes& start = starts[k++ % starts.size()];
        mpz_import(n.v, start.size(), 1, 1, 1, 0, start.data());
        mpz_sub_ui(n.v, n.v, 1);
        mpz_nextprime(n.v, n.v);  // the first prime ≥ start
        benchmark::DoNotOptimize(n.v);
    }
}

// ---- rc4 -------------------------------------------------------------------

const Bytes rc4Key = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f, 0x10};

void rc4Zq(benchmark::State& state, size_t size) {
    zq::Rc4State rc4;
    rc4.setKey(rc4Key.data(), static_cast<uint32_t>(rc4Key.size()));
    Bytes buffer(size, 0x5a);
    for (auto _ : state) {
        rc4.crypt(static_cast<uint32_t>(size), buffer.data(), buffer.data());
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

// OpenSSL's RC4, when its legacy provider loads; null otherwise.
EVP_CIPHER* openSslRc4() {
    static EVP_CIPHER* cipher = [] {
        if (OSSL_PROVIDER_load(nullptr, "legacy") == nullptr) return static_cast<EVP_CIPHER*>(nullptr);
        OSSL_PROVIDER_load(nullptr, "default");
        return EVP_CIPHER_fetch(nullptr, "RC4", nullptr);
    }();
    return cipher;
}

void rc4OpenSsl(benchmark::State& state, size_t size) {
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    if (EVP_EncryptInit_ex(context, openSslRc4(), nullptr, rc4Key.data(), nullptr) != 1) {
        state.SkipWithError("OpenSSL RC4 would not start");
        EVP_CIPHER_CTX_free(context);
        return;
    }
    Bytes buffer(size, 0x5a);
    for (auto _ : state) {
        int written = 0;
        EVP_EncryptUpdate(context, buffer.data(), &written, buffer.data(), static_cast<int>(size));
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
    EVP_CIPHER_CTX_free(context);
}

// The textbook output stage on a byte table, for hosts without OpenSSL's RC4.
void rc4Reference(benchmark::State& state, size_t size) {
    uint8_t s[256];
    for (int k = 0; k < 256; ++k) s[k] = static_cast<uint8_t>(k);
    for (int k = 0, j = 0; k < 256; ++k) {
        j = (j + s[k] + rc4Key[k % rc4Key.size()]) & 0xFF;
        std::swap(s[k], s[j]);
    }
    uint8_t i = 0, j = 0;
    Bytes buffer(size, 0x5a);
    for (auto _ : state) {
        for (size_t k = 0; k < size; ++k) {
            i = static_cast<uint8_t>(i + 1);
            j = static_cast<uint8_t>(j + s[i]);
            std::swap(s[i], s[j]);
            buffer[k] ^= s[static_cast<uint8_t>(s[i] + s[j])];
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

// ---- Registration ----------------------------------------------------------

// Each pair is named <case>/<size>/<library>, the size not repeated as an
// argument, so that the ratio table can match the pairs.
template <typename Size>
void add(const std::string& name, void (*run)(benchmark::State&, Size), Size size, benchmark::TimeUnit unit) {
    benchmark::RegisterBenchmark(name.c_str(), [run, size](benchmark::State& state) { run(state, size); })->Unit(unit);
}

int registerAll() {
    for (int bits : {1024, 2048}) {
        const std::string size = std::to_string(bits);
        add("rsa-private/" + size + "/zqcrypt", rsaPrivateZq, bits, benchmark::kMicrosecond);
        add("rsa-private/" + size + "/openssl", rsaPrivateOpenSsl, bits, benchmark::kMicrosecond);
        add("rsa-private/" + size + "/gmp", rsaPrivateGmp, bits, benchmark::kMicrosecond);
        add("rsa-crt/" + size + "/zqcrypt", rsaCrtZq, bits, benchmark::kMicrosecond);
        add("rsa-crt/" + size + "/gmp", rsaCrtGmp, bits, benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("next-prime/512/zqcrypt", nextPrimeZq)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("next-prime/512/gmp", nextPrimeGmp)->Unit(benchmark::kMillisecond);
    for (size_t bytes : {64u, 256u, 1024u, 4096u, 16384u, 65536u, 262144u, 1048576u}) {
        const std::string size = std::to_string(bytes);
        add("rc4/" + size + "/zqcrypt", rc4Zq, bytes, benchmark::kNanosecond);
        if (openSslRc4() != nullptr) {
            add("rc4/" + size + "/openssl", rc4OpenSsl, bytes, benchmark::kNanosecond);
        } else {
            add("rc4/" + size + "/reference", rc4Reference, bytes, benchmark::kNanosecond);
        }
    }
    return 0;
}

[[maybe_unused]] const int registered = registerAll();

}  // namespace
