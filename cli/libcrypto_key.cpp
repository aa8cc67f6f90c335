// File: libcrypto_key.cpp
//
// Key objects for libcrypto. See libcrypto_key.h.
#include "libcrypto_key.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/decoder.h>
#include <openssl/err.h>

#include "failure.h"
#include "rsa_key_der.h"

namespace zqcli {
namespace {

KeyHandle decode(const std::vector<uint8_t>& bytes, int selection) {
    EVP_PKEY* key = nullptr;
    OSSL_DECODER_CTX* decoder =
        OSSL_DECODER_CTX_new_for_pkey(&key, nullptr, nullptr, nullptr, selection, nullptr, nullptr);
    if (decoder == nullptr) return KeyHandle();
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

struct NumberDeleter {
    void operator()(BIGNUM* number) const { BN_clear_free(number); }
};
using Number = std::unique_ptr<BIGNUM, NumberDeleter>;

// value is the parameter `name` of `key`, most significant byte first; empty
// when the key has none.
std::vector<uint8_t> value(EVP_PKEY* key, const char* name) {
    BIGNUM* found = nullptr;
    EVP_PKEY_get_bn_param(key, name, &found);
    const Number number(found);
    std::vector<uint8_t> bytes(number ? BN_num_bytes(number.get()) : 0);
    if (number) BN_bn2bin(number.get(), bytes.data());
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

RsaKey rsaKeyOf(EVP_PKEY* key) {
    RsaKey taken;
    taken.publicKey.modulus = value(key, OSSL_PKEY_PARAM_RSA_N);
    const std::vector<uint8_t> exponent = value(key, OSSL_PKEY_PARAM_RSA_E);
    for (uint8_t byte : exponent) taken.publicKey.exponent = taken.publicKey.exponent << 8 | byte;
    RsaPrivateParts& parts = taken.privateParts;
    parts.privateExponent = value(key, OSSL_PKEY_PARAM_RSA_D);
    parts.prime1 = value(key, OSSL_PKEY_PARAM_RSA_FACTOR1);
    parts.prime2 = value(key, OSSL_PKEY_PARAM_RSA_FACTOR2);
    parts.exponent1 = value(key, OSSL_PKEY_PARAM_RSA_EXPONENT1);
    parts.exponent2 = value(key, OSSL_PKEY_PARAM_RSA_EXPONENT2);
    parts.coefficient = value(key, OSSL_PKEY_PARAM_RSA_COEFFICIENT1);
    ERR_clear_error();
    taken.hasPrivate = true;
    if (taken.publicKey.modulus.empty() || exponent.empty() || exponent.size() > 4 ||
        parts.privateExponent.empty() || parts.prime1.empty() || parts.coefficient.empty()) {
        fail("keygen", "libcrypto gave a key without all of its RSA values");
    }
    return taken;
}

KeyHandle keyFromPrivate(const RsaKey& key, const std::string& name) {
    std::vector<uint8_t> der = privateKeyInfo(key);
    KeyHandle made = decode(der, EVP_PKEY_KEYPAIR);
    OPENSSL_cleanse(der.data(), der.size());
    if (!made) libcryptoFailure(quoteName(name), "libcrypto does not take this key");
    return made;
}

}  // namespace zqcli
