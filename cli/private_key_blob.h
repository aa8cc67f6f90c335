// File: private_key_blob.h
//
// RSA private keys as CryptoAPI's PRIVATEKEYBLOB, the form CryptExportKey
// writes and CryptImportKey reads: the 20-byte header of a PUBLICKEYBLOB
// with type 7 and the magic "RSA2", the modulus's exact bit length, then,
// each least significant byte first, the modulus (bitlen / 8 bytes rounded
// up), the two primes, d mod (p - 1), d mod (q - 1), q^-1 mod p (bitlen / 16
// bytes rounded up each) and the private exponent (as long as the modulus).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "rsa_key.h"

namespace zqcli {

// readPrivateKeyBlob reads a blob that starts as a PRIVATEKEYBLOB
// (looksLikeKeyBlob); one of a version other than 2, cut short, longer than
// its bit length needs, with a bit length of 0 or above MaxModulusBits, or
// with one that is not its modulus's throws a Failure naming `name`.
RsaKey readPrivateKeyBlob(const std::vector<uint8_t>& bytes, const std::string& name);

// makePrivateKeyBlob writes `key` (with its private part), with the
// algorithm `algorithm` (CalgRsaKeyx, as OpenSSL writes it, or
// CalgRsaSign); a value too long for its field (primes of unequal sizes)
// throws a Failure naming `name`.
std::vector<uint8_t> makePrivateKeyBlob(const RsaKey& key, uint32_t algorithm, const std::string& name);

}  // namespace zqcli
