// File: rsa_key.h
//
// An RSA key as the tool holds it between the file formats and the signer:
// the public part and, for a private key, its private values, each a
// magnitude most significant byte first without leading zero bytes.
#pragma once

#include <stdint.h>

#include <vector>

#include "key_blob.h"

namespace zqcli {

// The private values of PKCS #1 (RFC 8017, A.1.2): d, the primes p and q,
// d mod (p - 1), d mod (q - 1) and q^-1 mod p.
struct RsaPrivateParts {
    std::vector<uint8_t> privateExponent, prime1, prime2, exponent1, exponent2, coefficient;
};

struct RsaKey {
    RsaPublicKey publicKey;
    bool hasPrivate = false;
    RsaPrivateParts privateParts;  // empty unless hasPrivate
};

}  // namespace zqcli
