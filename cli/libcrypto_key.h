// File: libcrypto_key.h
//
// RSA keys through OpenSSL's libcrypto (OpenSSL 3 EVP interfaces): reading
// PEM and DER key files, taking their public part, and making a key object
// from a public key for a full PKCS #1 v1.5 check. Only in builds with
// libcrypto (ZQ_WITH_LIBCRYPTO).
#pragma once

#include <openssl/evp.h>

#include <memory>
#include <string>
#include <vector>

#include "key_blob.h"

namespace zqcli {

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using KeyHandle = std::unique_ptr<EVP_PKEY, KeyDeleter>;

struct KeyContextDeleter {
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, KeyContextDeleter>;

// readRsaKey reads the RSA key in `bytes` (the content of the file `name`):
// PEM or DER, a private key (PKCS #8 or PKCS #1) or, unless `needPrivate`, a
// public key (SubjectPublicKeyInfo or PKCS #1). Anything else throws a
// Failure naming the file and saying what it is not.
KeyHandle readRsaKey(const std::vector<uint8_t>& bytes, const std::string& name, bool needPrivate);

// publicPartOf is the modulus and exponent of `key`; an exponent that does
// not fit in the blob's 32-bit word throws a Failure naming `name`.
RsaPublicKey publicPartOf(EVP_PKEY* key, const std::string& name);

// keyFromPublic makes a key object holding `key`.
KeyHandle keyFromPublic(const RsaPublicKey& key);

// libcryptoFailure throws a Failure naming `name` with `what` and
// libcrypto's latest error, clearing libcrypto's error queue.
[[noreturn]] void libcryptoFailure(const std::string& name, const std::string& what);

// pemOf is the text a libcrypto PEM writer produces for `key`: the private
// key (PKCS #8) or, when `publicOnly`, the public key (SubjectPublicKeyInfo).
std::string pemOf(EVP_PKEY* key, bool publicOnly);

}  // namespace zqcli
