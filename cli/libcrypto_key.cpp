// File: libcrypto_key.cpp
//
// Key files through libcrypto. See libcrypto_key.h.
#include "libcrypto_key.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/decoder.h>
#include <openssl/err.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>

#include <cstring>

#include "failure.h"

namespace zqcli {
namespace {

// A key file is read without a passphrase: an encrypted key fails to
// decode instead of prompting on the terminal.
int noPassphrase(char*, size_t, size_t*, const OSSL_PARAM[], void*) { return 0; }

KeyHandle decode(const std::vector<uint8_t>& bytes, int selection) {
    EVP_PKEY* key = nullptr;
    OSSL_DECODER_CTX* decoder =
        OSSL_DECODER_CTX_new_for_pkey(&key, nullptr, nullptr, nullptr, selection, nullptr, nullptr);
    if (decoder == nullptr) return KeyHandle();
    OSSL_DECODER_CTX_set_passphrase_cb(decoder, noPassphrase, nullptr);
    const unsigned char* data = bytes.data();
    size_t length = bytes.size();
    const bool decoded = OSSL_DECODER_from_data(decoder, &data, &length) == 1;
    OSSL_DECODER_CTX_free(decoder);
    if (!decoded) {
        EVP_PKEY_free(key);
        return KeyHandle();
    }
    return KeyHandle(key);
}

bool contains(const std::vector<uint8_t>& bytes, const char* text) {
    const size_t length = strlen(text);
    for (size_t i = 0; i + length <= bytes.size(); ++i) {
        if (memcmp(bytes.data() + i, text, length) == 0) return true;
    }
    return false;
}

struct NumberDeleter {
    void operator()(BIGNUM* number) const { BN_free(number); }
};
using Number = std::unique_ptr<BIGNUM, NumberDeleter>;

Number parameter(EVP_PKEY* key, const char* name) {
    BIGNUM* value = nullptr;
    EVP_PKEY_get_bn_param(key, name, &value);
    return Number(value);
}

std::vector<uint8_t> bytesOf(const BIGNUM* number) {
    std::vector<uint8_t> bytes(BN_num_bytes(number));
    BN_bn2bin(number, bytes.data());
    return bytes;
}

}  // namespace

void libcryptoFailure(const std::string& name, const std::string& what) {
    const unsigned long error = ERR_get_error();
    ERR_clear_error();
    std::string reason = what;
    if (error != 0) {
        char text[256];
        ERR_error_string_n(error, text, sizeof text);
        reason += " (" + std::string(text) + ")";
    }
    fail(name, reason);
}

KeyHandle readRsaKey(const std::vector<uint8_t>& bytes, const std::string& name, bool needPrivate) {
    KeyHandle key = decode(bytes, EVP_PKEY_KEYPAIR);
    if (!key) key = decode(bytes, EVP_PKEY_PUBLIC_KEY);
    ERR_clear_error();
    if (!key) {
        if (contains(bytes, "ENCRYPTED")) fail(quoteName(name), "an encrypted key; give the key unencrypted");
        fail(quoteName(name), "not a PEM or DER key");
    }
    if (!EVP_PKEY_is_a(key.get(), "RSA")) {
        const char* type = EVP_PKEY_get0_type_name(key.get());
        fail(quoteName(name), std::string("not an RSA key (") + (type != nullptr ? type : "unknown type") + ")");
    }
    // A decoder may take a public key where a key pair was asked for.
    if (needPrivate && !parameter(key.get(), OSSL_PKEY_PARAM_RSA_D)) {
        ERR_clear_error();
        fail(quoteName(name), "a public key; signing needs the private key");
    }
    return key;
}

RsaPublicKey publicPartOf(EVP_PKEY* key, const std::string& name) {
    const Number modulus = parameter(key, OSSL_PKEY_PARAM_RSA_N);
    const Number exponent = parameter(key, OSSL_PKEY_PARAM_RSA_E);
    if (!modulus || !exponent) libcryptoFailure(quoteName(name), "no RSA modulus and exponent");
    if (BN_num_bits(exponent.get()) > 32) {
        fail(quoteName(name), "a public exponent above 32 bits; the key blob holds one 32-bit word");
    }
    RsaPublicKey pair;
    pair.modulus = bytesOf(modulus.get());
    pair.exponent = static_cast<uint32_t>(BN_get_word(exponent.get()));
    return pair;
}

KeyHandle keyFromPublic(const RsaPublicKey& key) {
    Number modulus(BN_bin2bn(key.modulus.data(), static_cast<int>(key.modulus.size()), nullptr));
    Number exponent(BN_new());
    OSSL_PARAM_BLD* builder = OSSL_PARAM_BLD_new();
    OSSL_PARAM* parameters = nullptr;
    EVP_PKEY* made = nullptr;
    if (modulus && exponent && builder != nullptr && BN_set_word(exponent.get(), key.exponent) == 1 &&
        OSSL_PARAM_BLD_push_BN(builder, OSSL_PKEY_PARAM_RSA_N, modulus.get()) == 1 &&
        OSSL_PARAM_BLD_push_BN(builder, OSSL_PKEY_PARAM_RSA_E, exponent.get()) == 1 &&
        (parameters = OSSL_PARAM_BLD_to_param(builder)) != nullptr) {
        KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
        if (context && EVP_PKEY_fromdata_init(context.get()) == 1) {
            EVP_PKEY_fromdata(context.get(), &made, EVP_PKEY_PUBLIC_KEY, parameters);
        }
    }
    OSSL_PARAM_free(parameters);
    OSSL_PARAM_BLD_free(builder);
    if (made == nullptr) libcryptoFailure("verify", "libcrypto could not take the key");
    return KeyHandle(made);
}

std::string pemOf(EVP_PKEY* key, bool publicOnly) {
    BIO* memory = BIO_new(BIO_s_mem());
    const int written = memory == nullptr                ? 0
                        : publicOnly                     ? PEM_write_bio_PUBKEY(memory, key)
                                                         : PEM_write_bio_PrivateKey(memory, key, nullptr, nullptr, 0,
                                                                                    nullptr, nullptr);
    char* text = nullptr;
    const long length = written == 1 ? BIO_get_mem_data(memory, &text) : 0;
    std::string pem(text != nullptr ? text : "", length > 0 ? static_cast<size_t>(length) : 0);
    BIO_free(memory);
    if (pem.empty()) libcryptoFailure("pem", "libcrypto could not write the key");
    return pem;
}

}  // namespace zqcli
