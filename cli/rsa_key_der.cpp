// File: rsa_key_der.cpp
//
// RSA keys in DER. See rsa_key_der.h.
#include "rsa_key_der.h"

#include <iterator>

#include "der.h"
#include "failure.h"

namespace zqcli {
namespace {

// 1.2.840.113549.1.1.1, rsaEncryption, as its OBJECT IDENTIFIER contents.
// An array: nothing is allocated before main, where a failure could not be
// reported.
constexpr uint8_t rsaEncryptionOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};

std::vector<uint8_t> rsaEncryption() { return {std::begin(rsaEncryptionOid), std::end(rsaEncryptionOid)}; }

// The AlgorithmIdentifier of rsaEncryption, as OpenSSL writes it: NULL
// parameters.
std::vector<uint8_t> rsaAlgorithmIdentifier() {
    return derElement(DerSequence, derConcatenate({derElement(DerObjectIdentifier, rsaEncryption()),
                                                   derElement(DerNull, {})}));
}

std::vector<uint8_t> exponentBytes(uint32_t exponent) {
    std::vector<uint8_t> bytes;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (!bytes.empty() || (exponent >> shift) != 0) bytes.push_back(static_cast<uint8_t>(exponent >> shift));
    }
    return bytes;
}

// The public values, checked for what the tool and the library can hold.
// A modulus or an exponent of zero is a key that cannot be RSA, which the
// key's readers judge (key_file.h, verify_verdict.h), not a malformed file.
RsaPublicKey publicValues(DerReader& reader) {
    RsaPublicKey key;
    key.modulus = reader.integer("the modulus");
    const std::vector<uint8_t> exponent = reader.integer("the public exponent");
    if (exponent.size() > 4) reader.malformed("a public exponent above 32 bits, more than the key blob's word holds");
    for (uint8_t byte : exponent) key.exponent = key.exponent << 8 | byte;
    return key;
}

// RSAPrivateKey's fields: version 0 (two primes), n, e, d, p, q, dp, dq,
// qinv.
RsaKey rsaPrivateKey(DerReader fields) {
    const std::vector<uint8_t> version = fields.integer("the RSAPrivateKey version");
    if (!version.empty()) fields.malformed("an RSAPrivateKey of a version other than 0 (two primes)");
    RsaKey key;
    key.publicKey = publicValues(fields);
    RsaPrivateParts& parts = key.privateParts;
    parts.privateExponent = fields.integer("the private exponent");
    parts.prime1 = fields.integer("the first prime");
    parts.prime2 = fields.integer("the second prime");
    parts.exponent1 = fields.integer("the first CRT exponent");
    parts.exponent2 = fields.integer("the second CRT exponent");
    parts.coefficient = fields.integer("the CRT coefficient");
    fields.finish("RSAPrivateKey");
    if (parts.privateExponent.empty() || parts.prime1.empty() || parts.prime2.empty()) {
        fields.malformed("a private exponent or a prime of zero");
    }
    key.hasPrivate = true;
    return key;
}

// AlgorithmIdentifier: rsaEncryption, with NULL parameters or none.
void rsaAlgorithm(DerReader& reader) {
    DerReader algorithm = reader.contents(DerSequence, "the key's AlgorithmIdentifier");
    if (algorithm.bytes(DerObjectIdentifier, "the key's algorithm") != rsaEncryption()) {
        fail(quoteName(reader.name()), "not an RSA key (its algorithm is another)");
    }
    if (!algorithm.atEnd() && !algorithm.bytes(DerNull, "the algorithm's parameters").empty()) {
        algorithm.malformed("a NULL with content");
    }
    algorithm.finish("the key's AlgorithmIdentifier");
}

// SubjectPublicKeyInfo's fields: the algorithm, then RSAPublicKey in a BIT
// STRING without unused bits.
RsaKey subjectPublicKey(DerReader fields) {
    rsaAlgorithm(fields);
    const std::vector<uint8_t> bits = fields.bytes(DerBitString, "the public key's BIT STRING");
    fields.finish("SubjectPublicKeyInfo");
    if (bits.empty() || bits[0] != 0) fields.malformed("a public key BIT STRING with unused bits");
    DerReader inner(bits.data() + 1, bits.size() - 1, fields.name());
    DerReader values = inner.contents(DerSequence, "RSAPublicKey");
    inner.finish("RSAPublicKey");
    RsaKey key;
    key.publicKey = publicValues(values);
    values.finish("RSAPublicKey");
    return key;
}

// PrivateKeyInfo's fields: version, algorithm, RSAPrivateKey in an OCTET
// STRING, then attributes ([0]) and, in version 1, the public key ([1]),
// which are not needed.
RsaKey privateKeyInfoFields(DerReader fields) {
    // Version 0 (RFC 5208), or 1 with the public key (RFC 5958); no other.
    const std::vector<uint8_t> version = fields.integer("the PrivateKeyInfo version");
    if (version.size() > 1 || (version.size() == 1 && version[0] != 1)) {
        fields.malformed("a PrivateKeyInfo of a version other than 0 or 1");
    }
    rsaAlgorithm(fields);
    const std::vector<uint8_t> octets = fields.bytes(DerOctetString, "the private key's OCTET STRING");
    if (fields.nextTag() == 0xA0) fields.bytes(0xA0, "the key's attributes");
    if (fields.nextTag() == 0x81) {
        // RFC 5958 holds the public key in version 1 only.
        if (version.empty()) fields.malformed("a PrivateKeyInfo of version 0 holding a public key");
        fields.bytes(0x81, "the key's public key");
    }
    fields.finish("PrivateKeyInfo");
    DerReader inner(octets.data(), octets.size(), fields.name());
    const DerReader values = inner.contents(DerSequence, "RSAPrivateKey");
    inner.finish("RSAPrivateKey");
    return rsaPrivateKey(values);
}

}  // namespace

const char* derKeyLabel(DerKeyKind kind) {
    switch (kind) {
        case DerKeyKind::PrivateKeyInfo: return "PRIVATE KEY";
        case DerKeyKind::Pkcs1Private: return "RSA PRIVATE KEY";
        case DerKeyKind::SubjectPublicKeyInfo: return "PUBLIC KEY";
        case DerKeyKind::Pkcs1Public: return "RSA PUBLIC KEY";
    }
    return "?";
}

RsaKey readDerKey(const std::vector<uint8_t>& der, const std::string& name, DerKeyKind& kind) {
    DerReader file(der.data(), der.size(), name);
    const DerReader fields = file.contents(DerSequence, "the key's SEQUENCE");
    file.finish("the key's SEQUENCE");
    kind = DerKeyKind::SubjectPublicKeyInfo;
    if (fields.nextTag() == DerSequence) return subjectPublicKey(fields);
    // An INTEGER first: the version of PrivateKeyInfo (an AlgorithmIdentifier
    // follows) or of RSAPrivateKey, or the modulus of RSAPublicKey (which
    // has two INTEGERs in all).
    DerReader probe = fields;
    probe.integer("the key's first INTEGER");
    kind = DerKeyKind::PrivateKeyInfo;
    if (probe.nextTag() == DerSequence) return privateKeyInfoFields(fields);
    probe.integer("the key's second INTEGER");
    kind = DerKeyKind::Pkcs1Private;
    if (!probe.atEnd()) return rsaPrivateKey(fields);
    kind = DerKeyKind::Pkcs1Public;
    RsaKey key;
    DerReader values = fields;
    key.publicKey = publicValues(values);
    return key;
}

std::vector<uint8_t> pkcs1PrivateKey(const RsaKey& key) {
    const RsaPrivateParts& parts = key.privateParts;
    return derElement(DerSequence, derConcatenate({derInteger({0}), derInteger(key.publicKey.modulus),
                                                   derInteger(exponentBytes(key.publicKey.exponent)),
                                                   derInteger(parts.privateExponent), derInteger(parts.prime1),
                                                   derInteger(parts.prime2), derInteger(parts.exponent1),
                                                   derInteger(parts.exponent2), derInteger(parts.coefficient)}));
}

std::vector<uint8_t> privateKeyInfo(const RsaKey& key) {
    const std::vector<uint8_t> rsaKey = pkcs1PrivateKey(key);
    return derElement(DerSequence, derConcatenate({derInteger({0}), rsaAlgorithmIdentifier(),
                                                   derElement(DerOctetString, rsaKey)}));
}

std::vector<uint8_t> pkcs1PublicKey(const RsaPublicKey& key) {
    return derElement(DerSequence, derConcatenate({derInteger(key.modulus), derInteger(exponentBytes(key.exponent))}));
}

std::vector<uint8_t> subjectPublicKeyInfo(const RsaPublicKey& key) {
    std::vector<uint8_t> bits = {0};
    const std::vector<uint8_t> rsaKey = pkcs1PublicKey(key);
    bits.insert(bits.end(), rsaKey.begin(), rsaKey.end());
    return derElement(DerSequence, derConcatenate({rsaAlgorithmIdentifier(), derElement(DerBitString, bits)}));
}

}  // namespace zqcli
