// File: key_file.cpp
//
// Key files in every format. See key_file.h.
#include "key_file.h"

#include <algorithm>
#include <iterator>

#include "der.h"
#include "failure.h"
#include "input.h"
#include "key_blob.h"
#include "pem.h"
#include "private_key_blob.h"
#include "rsa_key_check.h"
#include "rsa_key_der.h"

namespace zqcli {
namespace {

// The largest key file read: a 16384-bit private key in PEM takes 13 KB.
constexpr size_t MaxKeyFileBytes = 1 << 20;

RsaKey readPemKey(const std::vector<uint8_t>& bytes, const std::string& name) {
    const PemBlock block = readPem(bytes, name);
    if (block.label == "ENCRYPTED PRIVATE KEY") fail(quoteName(name), "an encrypted key; give the key unencrypted");
    const DerKeyKind labelled[] = {DerKeyKind::PrivateKeyInfo, DerKeyKind::Pkcs1Private,
                                   DerKeyKind::SubjectPublicKeyInfo, DerKeyKind::Pkcs1Public};
    if (std::none_of(std::begin(labelled), std::end(labelled),
                     [&](DerKeyKind kind) { return block.label == derKeyLabel(kind); })) {
        fail(quoteName(name), "a PEM block '" + block.label + "', not an RSA key");
    }
    // The label names the structure: a reader that goes by it must find it.
    DerKeyKind kind;
    RsaKey key = readDerKey(block.der, name, kind);
    if (block.label != derKeyLabel(kind)) {
        fail(quoteName(name),
             "PEM block '" + block.label + "' holding a '" + derKeyLabel(kind) + "' structure");
    }
    return key;
}

}  // namespace

KeyFormat keyFormatOption(const ParsedOptions& options, const char* command, KeyFormat otherwise) {
    if (!options.has("format")) return otherwise;
    const std::string format = options.value("format");
    if (format == "pem") return KeyFormat::Pem;
    if (format == "pkcs1") return KeyFormat::Pkcs1;
    if (format == "blob") return KeyFormat::Blob;
    usageFailure(command, "--format is 'pem', 'pkcs1' or 'blob'");
}

RsaKey readKeyFile(const std::string& name, bool needPrivate) {
    return readKeyBytes(readSmallFile(name, MaxKeyFileBytes), name, needPrivate);
}

RsaKey readKeyBytes(const std::vector<uint8_t>& bytes, const std::string& name, bool needPrivate) {
    const RsaKey key = parseKeyBytes(bytes, name);
    checkModulus(key.publicKey, name);
    checkKeyFits(key.publicKey, name);
    if (key.publicKey.exponent == 0) fail(quoteName(name), "a public exponent of 0: not an RSA key");
    if (key.publicKey.exponent % 2 == 0) {
        fail(quoteName(name), "an even public exponent (" + std::to_string(key.publicKey.exponent) +
                                  "): not an RSA key");
    }
    if (key.hasPrivate) {
        // e = 1 makes d = 1 valid too: the "signature" is the padded block
        // itself. RFC 8017 asks e >= 3, as keygen does.
        if (key.publicKey.exponent == 1) fail(quoteName(name), "a public exponent of 1: not an RSA key");
        checkPrivateValues(key, name);
    }
    if (needPrivate && !key.hasPrivate) fail(quoteName(name), "a public key; signing needs the private key");
    return key;
}

RsaKey parseKeyBytes(const std::vector<uint8_t>& bytes, const std::string& name) {
    RsaKey key;
    if (looksLikeKeyBlob(bytes)) {
        if (bytes[0] == PrivateKeyBlobType) {
            key = readPrivateKeyBlob(bytes, name);
        } else {
            key.publicKey = readKeyBlob(bytes, name);
        }
    } else if (looksLikePem(bytes)) {
        key = readPemKey(bytes, name);
    } else if (!bytes.empty() && bytes[0] == DerSequence) {
        DerKeyKind kind;
        key = readDerKey(bytes, name, kind);
    } else {
        fail(quoteName(name), "not a key file (PEM, DER, PRIVATEKEYBLOB or PUBLICKEYBLOB)");
    }
    return key;
}

std::vector<uint8_t> keyFileBytes(const RsaKey& key, KeyFormat format, bool publicOnly, const std::string& name) {
    const bool asPrivate = key.hasPrivate && !publicOnly;
    if (format == KeyFormat::Blob) {
        return asPrivate ? makePrivateKeyBlob(key, CalgRsaKeyx, name) : makeKeyBlob(key.publicKey);
    }
    std::string pem;
    if (format == KeyFormat::Pkcs1) {
        pem = asPrivate ? writePem("RSA PRIVATE KEY", pkcs1PrivateKey(key))
                        : writePem("RSA PUBLIC KEY", pkcs1PublicKey(key.publicKey));
    } else {
        pem = asPrivate ? writePem("PRIVATE KEY", privateKeyInfo(key))
                        : writePem("PUBLIC KEY", subjectPublicKeyInfo(key.publicKey));
    }
    return std::vector<uint8_t>(pem.begin(), pem.end());
}

}  // namespace zqcli
