// A key, a digest and its signature for the verification benchmarks: an RSA
// key made by OpenSSL, the MD5 digest of a short message, its PKCS #1 v1.5
// signature in both byte orders, and the key as a PUBLICKEYBLOB.
#pragma once

#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <string>
#include <vector>

#include "zqcrypt.h"

namespace bench {

struct SignedDigest {
    EVP_PKEY* key = nullptr;
    std::vector<uint8_t> keyBlob;     // PUBLICKEYBLOB
    std::vector<uint8_t> digest;      // MD5 of the message
    std::vector<uint8_t> signature;   // big-endian, as OpenSSL makes it
    std::vector<uint8_t> signatureLe; // least significant byte first

    SignedDigest(unsigned bits, unsigned exponent) {
        EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr);
        BIGNUM* e = BN_new();
        BN_set_word(e, exponent);
        EVP_PKEY_keygen_init(context);
        EVP_PKEY_CTX_set_rsa_keygen_bits(context, static_cast<int>(bits));
        EVP_PKEY_CTX_set1_rsa_keygen_pubexp(context, e);
        EVP_PKEY_keygen(context, &key);
        EVP_PKEY_CTX_free(context);
        BN_free(e);

        const std::string message = "a message of " + std::to_string(bits) + " bits";
        digest.resize(16);
        unsigned length = 0;
        EVP_Digest(message.data(), message.size(), digest.data(), &length, EVP_md5(), nullptr);

        context = EVP_PKEY_CTX_new(key, nullptr);
        EVP_PKEY_sign_init(context);
        EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING);
        EVP_PKEY_CTX_set_signature_md(context, EVP_md5());
        size_t size = 0;
        EVP_PKEY_sign(context, nullptr, &size, digest.data(), digest.size());
        signature.resize(size);
        EVP_PKEY_sign(context, signature.data(), &size, digest.data(), digest.size());
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
};

inline CryptBlob blobOf(const std::vector<uint8_t>& bytes) {
    CryptBlob blob{};
    zqCryptBlobInit(&blob, static_cast<uint32_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), blob.data);
    return blob;
}

}  // namespace bench
