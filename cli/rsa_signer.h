// File: rsa_signer.h
//
// Making RSA keys and signatures through the platform's cryptography:
// OpenSSL's libcrypto on Linux (libcrypto_signer.cpp), CryptoAPI on Windows
// (cryptoapi_signer.cpp). A build with neither makes no keys and no
// signatures (absent_signer.cpp). Keys come and go in the tool's own form
// (rsa_key.h), whatever file format they were read from.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "file_digest.h"
#include "rsa_key.h"

namespace zqcli {

// signerName names the cryptography behind these functions, for messages.
extern const char* const signerName;

// signerFixedExponent is the one public exponent generateRsaKey can give
// (CryptoAPI always takes 65537), or 0 when it takes any.
extern const uint32_t signerFixedExponent;

// generateRsaKey makes a key with a modulus of `bits` bits and the public
// exponent `exponent`; a size the platform does not make throws a Failure.
RsaKey generateRsaKey(uint32_t bits, uint32_t exponent);

// signMd5 is the RSASSA-PKCS1-v1_5 signature of `digest`, an MD5 digest,
// with `key` (read from the file `name`), least significant byte first
// (the library's order), as many bytes as the modulus.
std::vector<uint8_t> signMd5(const RsaKey& key, const Md5Digest& digest, const std::string& name);

}  // namespace zqcli
