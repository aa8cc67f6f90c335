// File: rsa_key_der.h
//
// RSA keys in DER: private keys as PKCS #8 PrivateKeyInfo (RFC 5208) or PKCS
// #1 RSAPrivateKey, public keys as SubjectPublicKeyInfo (RFC 5280) or PKCS #1
// RSAPublicKey. The writers produce what OpenSSL writes for the same key:
// PKCS #8 and SubjectPublicKeyInfo, with the rsaEncryption algorithm and
// NULL parameters.
#pragma once

#include <string>
#include <vector>

#include "rsa_key.h"

namespace zqcli {

// The four structures, as the PEM labels name them.
enum class DerKeyKind { PrivateKeyInfo, Pkcs1Private, SubjectPublicKeyInfo, Pkcs1Public };

// derKeyLabel is the PEM label of `kind` ("PRIVATE KEY", "RSA PUBLIC KEY", ...).
const char* derKeyLabel(DerKeyKind kind);

// readDerKey reads any of the four structures from `der` (the content of
// the file `name`, or of its PEM block) and tells which in `kind`.
// Malformed DER, another algorithm, or an exponent above 32 bits throws a
// Failure naming the file.
RsaKey readDerKey(const std::vector<uint8_t>& der, const std::string& name, DerKeyKind& kind);

// The structures, written. The private ones need a key with its private
// part: RSAPrivateKey alone (PKCS #1), or wrapped in PrivateKeyInfo.
std::vector<uint8_t> pkcs1PrivateKey(const RsaKey& key);
std::vector<uint8_t> privateKeyInfo(const RsaKey& key);
std::vector<uint8_t> pkcs1PublicKey(const RsaPublicKey& key);
std::vector<uint8_t> subjectPublicKeyInfo(const RsaPublicKey& key);

}  // namespace zqcli
