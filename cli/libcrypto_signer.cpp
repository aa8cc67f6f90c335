// File: libcrypto_signer.cpp
//
// Keys and signatures through OpenSSL's libcrypto on Linux. See
// rsa_signer.h.
#include <openssl/bn.h>
#include <openssl/rsa.h>

#include <algorithm>

#include "failure.h"
#include "libcrypto_key.h"
#include "rsa_signer.h"

namespace zqcli {

const char* const signerName = "OpenSSL's libcrypto";
const uint32_t signerFixedExponent = 0;

RsaKey generateRsaKey(uint32_t bits, uint32_t exponent) {
    KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    BIGNUM* publicExponent = BN_new();
    EVP_PKEY* made = nullptr;
    const bool generated = context && publicExponent != nullptr && BN_set_word(publicExponent, exponent) == 1 &&
                           EVP_PKEY_keygen_init(context.get()) == 1 &&
                           EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), static_cast<int>(bits)) == 1 &&
                           EVP_PKEY_CTX_set1_rsa_keygen_pubexp(context.get(), publicExponent) == 1 &&
                           EVP_PKEY_generate(context.get(), &made) == 1;
    BN_free(publicExponent);
    const KeyHandle key(made);
    if (!generated) libcryptoFailure("keygen", "libcrypto could not make the key");
    return rsaKeyOf(key.get());
}

std::vector<uint8_t> signMd5(const RsaKey& key, const Md5Digest& digest, const std::string& name) {
    const KeyHandle privateKey = keyFromPrivate(key, name);
    KeyContext context(EVP_PKEY_CTX_new(privateKey.get(), nullptr));
    size_t length = 0;
    if (!context || EVP_PKEY_sign_init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_CTX_set_signature_md(context.get(), EVP_md5()) != 1 ||
        EVP_PKEY_sign(context.get(), nullptr, &length, digest.data(), digest.size()) != 1) {
        libcryptoFailure(quoteName(name), "libcrypto could not sign with this key");
    }
    std::vector<uint8_t> signature(length);
    if (EVP_PKEY_sign(context.get(), signature.data(), &length, digest.data(), digest.size()) != 1) {
        libcryptoFailure(quoteName(name), "libcrypto could not sign with this key");
    }
    signature.resize(length);
    std::reverse(signature.begin(), signature.end());
    return signature;
}

}  // namespace zqcli
