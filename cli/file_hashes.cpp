// File: file_hashes.cpp
//
// MD5 and one other digest of a file in one pass. See file_hashes.h.
#include "file_hashes.h"

#include "engines/md5.h"
#include "failure.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <wincrypt.h>
#elif defined(ZQ_WITH_LIBCRYPTO)
#include <openssl/evp.h>
#endif

namespace zqcli {
namespace {

// PlatformHash: the platform's hash object for one function; `ready` is
// false when the build has none.
#ifdef _WIN32
class PlatformHash {
public:
    explicit PlatformHash(HashKind kind) {
        const ALG_ID ids[] = {CALG_MD5, CALG_SHA1, CALG_SHA_256, CALG_SHA_384, CALG_SHA_512};
        if (!CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) ||
            !CryptCreateHash(provider_, ids[static_cast<int>(kind)], 0, 0, &hash_)) {
            failed();
        }
    }
    ~PlatformHash() {
        if (hash_ != 0) CryptDestroyHash(hash_);
        if (provider_ != 0) CryptReleaseContext(provider_, 0);
    }
    PlatformHash(const PlatformHash&) = delete;
    PlatformHash& operator=(const PlatformHash&) = delete;
    static constexpr bool ready = true;
    void feed(const uint8_t* bytes, size_t count) {
        if (count != 0 && !CryptHashData(hash_, bytes, static_cast<DWORD>(count), 0)) failed();
    }
    std::vector<uint8_t> finish() {
        DWORD size = 64;
        std::vector<uint8_t> digest(size);
        if (!CryptGetHashParam(hash_, HP_HASHVAL, digest.data(), &size, 0)) failed();
        digest.resize(size);
        return digest;
    }

private:
    [[noreturn]] void failed() { fail("CryptoAPI", "hashing failed (error " + std::to_string(GetLastError()) + ")"); }
    HCRYPTPROV provider_ = 0;
    HCRYPTHASH hash_ = 0;
};
#elif defined(ZQ_WITH_LIBCRYPTO)
class PlatformHash {
public:
    explicit PlatformHash(HashKind kind) : context_(EVP_MD_CTX_new()) {
        const EVP_MD* functions[] = {EVP_md5(), EVP_sha1(), EVP_sha256(), EVP_sha384(), EVP_sha512()};
        if (context_ == nullptr || EVP_DigestInit_ex(context_, functions[static_cast<int>(kind)], nullptr) != 1) {
            failed();
        }
    }
    ~PlatformHash() { EVP_MD_CTX_free(context_); }
    PlatformHash(const PlatformHash&) = delete;
    PlatformHash& operator=(const PlatformHash&) = delete;
    static constexpr bool ready = true;
    void feed(const uint8_t* bytes, size_t count) {
        if (EVP_DigestUpdate(context_, bytes, count) != 1) failed();
    }
    std::vector<uint8_t> finish() {
        std::vector<uint8_t> digest(EVP_MAX_MD_SIZE);
        unsigned int size = 0;
        if (EVP_DigestFinal_ex(context_, digest.data(), &size) != 1) failed();
        digest.resize(size);
        return digest;
    }

private:
    [[noreturn]] static void failed() { fail("libcrypto", "hashing failed"); }
    EVP_MD_CTX* context_;
};
#else
class PlatformHash {
public:
    explicit PlatformHash(HashKind) {}
    static constexpr bool ready = false;
    void feed(const uint8_t*, size_t) {}
    std::vector<uint8_t> finish() { return {}; }
};
#endif

}  // namespace

FileDigests digestsOfFile(const std::string& name, std::optional<HashKind> other) {
    InputFile input(name);
    std::optional<PlatformHash> platform;
    if (other && PlatformHash::ready) platform.emplace(*other);
    // A multiple of the 64-byte block, as md5OfInput reads.
    std::vector<uint8_t> buffer(1 << 18);
    zq::Md5Context md5;
    zq::Md5Context::begin(md5);
    for (;;) {
        const size_t count = input.read(buffer.data(), buffer.size());
        zq::Md5Context::feed(md5, buffer.data(), static_cast<uint32_t>(count));
        if (platform) platform->feed(buffer.data(), count);
        if (count < buffer.size()) break;
    }
    FileDigests digests;
    zq::Md5Context::finish(digests.md5.data(), md5);
    if (platform) digests.other = platform->finish();
    return digests;
}

}  // namespace zqcli
