// File: rsa_key_check.h
//
// A private key is only as good as its values. A damaged one (a CRT value
// off by one, a modulus that is not the product of the primes) makes
// signatures that do not verify, and a signer that works through the
// Chinese remainder theorem then writes a signature from which anyone
// recovers a prime: gcd(s^e - m, n) is p or q. So the tool checks a private
// key's values against each other when it reads it, and every signature
// against the key's public part before it writes it. Both checks run on
// the library's own integer code, the same on every platform.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "file_digest.h"
#include "rsa_key.h"

namespace zqcli {

// checkPrivateValues throws a Failure naming `name` unless `key`'s private
// values agree with each other and with its public part: p·q = n, d·e = 1
// modulo p - 1 and q - 1, dp = d mod (p - 1), dq = d mod (q - 1) and
// qinv·q = 1 mod p, qinv < p. `key` has a modulus that the library holds
// (checkKeyFits).
void checkPrivateValues(const RsaKey& key, const std::string& name);

// checkSignature throws a Failure naming `name` unless `signature` (least
// significant byte first) raised to `key`'s exponent is the PKCS #1 v1.5
// block of `digest`.
void checkSignature(const RsaPublicKey& key, const std::vector<uint8_t>& signature, const Md5Digest& digest,
                    const std::string& name);

}  // namespace zqcli
