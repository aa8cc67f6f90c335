// File: libcrypto_key.h
//
// RSA keys handed to OpenSSL's libcrypto (OpenSSL 3 EVP interfaces): key
// objects made from the tool's own form of a key, for signing and for a
// full PKCS #1 v1.5 check. Only in builds with libcrypto
// (ZQ_WITH_LIBCRYPTO).
#pragma once

#include <openssl/evp.h>

#include <memory>
#include <string>
#include <vector>

#include "key_blob.h"
#include "rsa_key.h"

namespace zqcli {

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using KeyHandle = std::unique_ptr<EVP_PKEY, KeyDeleter>;

struct KeyContextDeleter {
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, KeyContextDeleter>;

// keyFromPrivate makes a key object holding `key`, which has its private
// part, from its PKCS #8 DER; a key libcrypto refuses throws a Failure
// naming `name`.
KeyHandle keyFromPrivate(const RsaKey& key, const std::string& name);

// rsaKeyOf is the key pair `key` (an RSA key of two primes) in the tool's
// own form.
RsaKey rsaKeyOf(EVP_PKEY* key);

// libcryptoFailure throws a Failure naming `name` with `what` and
// libcrypto's latest error, clearing libcrypto's error queue.
[[noreturn]] void libcryptoFailure(const std::string& name, const std::string& what);

}  // namespace zqcli
