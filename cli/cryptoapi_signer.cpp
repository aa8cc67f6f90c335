// File: cryptoapi_signer.cpp
//
// Keys and signatures through CryptoAPI (advapi32) on Windows. See
// rsa_signer.h. Keys live only in memory: the provider is opened with
// CRYPT_VERIFYCONTEXT (no key container on disk), a new key is exported as
// a PRIVATEKEYBLOB, and a key to sign with is imported from one. An
// imported key takes the role its blob's algorithm names: CALG_RSA_SIGN
// makes it the signature key (AT_SIGNATURE). CryptSignHash writes the signature
// least significant byte first, the library's order.
#include <windows.h>
#include <wincrypt.h>

#include <stdio.h>

#include "failure.h"
#include "private_key_blob.h"
#include "rsa_signer.h"

namespace zqcli {
namespace {

[[noreturn]] void cryptoApiFailure(const std::string& name, const std::string& what) {
    char code[16];
    snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(GetLastError()));
    fail(name, what + " (CryptoAPI error " + code + ")");
}

// Provider: the enhanced RSA provider without a key container.
class Provider {
public:
    explicit Provider(const char* command) {
        if (!CryptAcquireContextW(&handle_, nullptr, MS_ENHANCED_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
            cryptoApiFailure(command, "CryptoAPI's RSA provider cannot be opened");
        }
    }
    ~Provider() { CryptReleaseContext(handle_, 0); }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;
    HCRYPTPROV get() const { return handle_; }

private:
    HCRYPTPROV handle_ = 0;
};

// Handle: a key or hash handle, destroyed with the scope.
template <typename Value, BOOL(WINAPI* destroy)(Value)>
class Handle {
public:
    Handle() = default;
    ~Handle() {
        if (handle_ != 0) destroy(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Value* out() { return &handle_; }
    Value get() const { return handle_; }

private:
    Value handle_ = 0;
};
using Key = Handle<HCRYPTKEY, CryptDestroyKey>;
using Hash = Handle<HCRYPTHASH, CryptDestroyHash>;

// The key bytes CryptoAPI held are cleared before they are freed.
void clear(std::vector<uint8_t>& bytes) { SecureZeroMemory(bytes.data(), bytes.size()); }

}  // namespace

const char* const signerName = "CryptoAPI";
const uint32_t signerFixedExponent = 65537;

RsaKey generateRsaKey(uint32_t bits, uint32_t exponent) {
    if (exponent != signerFixedExponent) fail("keygen", "CryptoAPI makes keys with the public exponent 65537 only");
    if (bits % 8 != 0) fail("keygen", "CryptoAPI makes keys of a whole number of bytes: give --bits a multiple of 8");
    const Provider provider("keygen");
    Key key;
    if (!CryptGenKey(provider.get(), AT_SIGNATURE, bits << 16 | CRYPT_EXPORTABLE, key.out())) {
        cryptoApiFailure("keygen", "CryptoAPI could not make a " + std::to_string(bits) + "-bit key");
    }
    DWORD length = 0;
    std::vector<uint8_t> blob;
    if (CryptExportKey(key.get(), 0, PRIVATEKEYBLOB, 0, nullptr, &length)) {
        blob.resize(length);
        if (!CryptExportKey(key.get(), 0, PRIVATEKEYBLOB, 0, blob.data(), &length)) blob.clear();
        blob.resize(length);
    }
    if (blob.empty()) cryptoApiFailure("keygen", "CryptoAPI could not export the key");
    RsaKey made = readPrivateKeyBlob(blob, "keygen");
    clear(blob);
    return made;
}

std::vector<uint8_t> signMd5(const RsaKey& key, const Md5Digest& digest, const std::string& name) {
    const uint32_t bits = modulusBits(key.publicKey);
    if (bits % 8 != 0) {
        fail(quoteName(name), "a modulus of " + std::to_string(bits) +
                                  " bits; CryptoAPI signs with keys of a whole number of bytes only");
    }
    const Provider provider("sign");
    std::vector<uint8_t> blob = makePrivateKeyBlob(key, CalgRsaSign, name);
    Key imported;
    const BOOL importedOk =
        CryptImportKey(provider.get(), blob.data(), static_cast<DWORD>(blob.size()), 0, 0, imported.out());
    clear(blob);
    if (!importedOk) cryptoApiFailure(quoteName(name), "CryptoAPI does not take this key");
    Hash hash;
    DWORD length = 0;
    if (!CryptCreateHash(provider.get(), CALG_MD5, 0, 0, hash.out()) ||
        !CryptSetHashParam(hash.get(), HP_HASHVAL, digest.data(), 0) ||
        !CryptSignHashW(hash.get(), AT_SIGNATURE, nullptr, 0, nullptr, &length)) {
        cryptoApiFailure(quoteName(name), "CryptoAPI could not sign with this key");
    }
    std::vector<uint8_t> signature(length);
    if (!CryptSignHashW(hash.get(), AT_SIGNATURE, nullptr, 0, signature.data(), &length)) {
        cryptoApiFailure(quoteName(name), "CryptoAPI could not sign with this key");
    }
    signature.resize(length);
    return signature;
}

}  // namespace zqcli
