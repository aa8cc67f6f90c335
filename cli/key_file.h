// File: key_file.h
//
// Key files as the tool reads and writes them, in its own code on every
// platform: PEM or DER (PKCS #8, PKCS #1, SubjectPublicKeyInfo) and
// CryptoAPI's PRIVATEKEYBLOB and PUBLICKEYBLOB, told apart by their
// content.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "options.h"
#include "rsa_key.h"

namespace zqcli {

enum class KeyFormat { Pem, Pkcs1, Blob };

// keyFormatOption is the value of --format ("pem", "pkcs1" or "blob"), or
// `otherwise` when it is not given; any other value is a usage Failure of
// `command`.
KeyFormat keyFormatOption(const ParsedOptions& options, const char* command, KeyFormat otherwise);

// readKeyFile reads the RSA key in the file `name` ('-' for standard input).
// A file in none of the formats, a PEM label that does not name the
// structure inside, a key that cannot be RSA (an even modulus or public
// exponent; a private key with the exponent 1), one larger than the library
// checks, a private key whose values do not agree (rsa_key_check.h), and a
// public key when `needPrivate`, throw a Failure naming the file.
RsaKey readKeyFile(const std::string& name, bool needPrivate);
// readKeyBytes is the same for the content `bytes` of the file `name`.
RsaKey readKeyBytes(const std::vector<uint8_t>& bytes, const std::string& name, bool needPrivate);
// parseKeyBytes reads the key in `bytes` without judging it: a file in
// none of the formats throws, a key of any modulus and exponent does not.
// verify judges the keys it is given itself (verify_verdict.h).
RsaKey parseKeyBytes(const std::vector<uint8_t>& bytes, const std::string& name);

// keyFileBytes is `key` in `format`: its private key (PKCS #8 PEM, PKCS #1
// "RSA PRIVATE KEY" PEM, or a PRIVATEKEYBLOB) when it has one and not
// `publicOnly`, else its public key (SubjectPublicKeyInfo PEM, PKCS #1 "RSA
// PUBLIC KEY" PEM, or a PUBLICKEYBLOB as makeKeyBlob writes it).
// `name` is the key's, for a message.
std::vector<uint8_t> keyFileBytes(const RsaKey& key, KeyFormat format, bool publicOnly, const std::string& name);

}  // namespace zqcli
