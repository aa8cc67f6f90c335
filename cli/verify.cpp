// File: verify.cpp
//
// zqcrypt verify: the check of an RSA signature over the MD5 digest of a
// file, made by the library's export, so that the answer is the one a host
// of the library gets. With --strict the whole PKCS #1 v1.5 block is checked
// as well (by libcrypto), which the library does not do: it compares only
// the low 128 bits of s^e mod n with the digest.
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "failure.h"
#include "file_digest.h"
#include "input.h"
#include "key_blob.h"
#include "key_file.h"
#include "library_blob.h"
#include "standard_output.h"
#include "subcommand.h"
#include "text.h"

#ifdef ZQ_WITH_LIBCRYPTO
#include <openssl/err.h>
#include <openssl/rsa.h>

#include "libcrypto_key.h"
#endif

namespace zqcli {
namespace {

const char help[] =
    "Usage: zqcrypt verify --key KEY --sig SIGNATURE [--byte-order little|big] [--strict]\n"
    "                      (FILE | --digest HEX)\n"
    "Check an RSA signature over the MD5 digest of FILE ('-' for standard input), or\n"
    "over the digest given in hexadecimal, with the zqcrypt library's check.\n\n"
    "  --key KEY            the public key: a PUBLICKEYBLOB, or a PEM or DER RSA key\n"
    "                       (private or public)\n"
    "  --sig SIGNATURE      the signature, as many bytes as the modulus\n"
    "  --byte-order ORDER   'little' (the library's order, least significant byte\n"
    "                       first; the default) or 'big' (OpenSSL's order)\n"
    "  --digest HEX         the 32-digit MD5 digest, in place of FILE\n"
    "  --strict             also check the whole PKCS #1 v1.5 block (block type,\n"
    "                       padding, MD5 algorithm identifier), not only the low 128\n"
    "                       bits that the library compares\n\n"
    "Prints 'Verified OK' (exit 0) or 'Verification failure' (exit 1). With --strict,\n"
    "a signature the library accepts that is not a valid PKCS #1 v1.5 signature (for\n"
    "example one forged for an e = 3 key) prints 'Accepted by the library, but not a\n"
    "valid PKCS #1 v1.5 signature' (exit 1). Exit 2 when the check cannot be made.\n"
#ifndef ZQ_WITH_LIBCRYPTO
    "This build has no libcrypto: --strict is not available.\n"
#endif
    ;

// The key as the library takes it, its modulus, and the modulus's size in
// the blob (the blob's bit length / 8).
struct VerifyKey {
    std::vector<uint8_t> blob;
    RsaPublicKey key;
    size_t blobModulusBytes = 0;
};

// readVerifyKey reads the key in `name`; one that cannot be an RSA key is
// refused here rather than answered with a mismatch.
VerifyKey readVerifyKey(const std::string& name) {
    const std::vector<uint8_t> bytes = readSmallFile(name, 1 << 20);
    VerifyKey taken;
    if (looksLikeKeyBlob(bytes)) {
        taken.key = readKeyBlob(bytes, name);
        taken.blob = bytes;
    } else {
        taken.key = readKeyBytes(bytes, name, false).publicKey;
        taken.blob = makeKeyBlob(taken.key);
    }
    checkModulus(taken.key, name);
    taken.blobModulusBytes = keyBlobBits(taken.blob) / 8;
    return taken;
}

// readSignature is the signature least significant byte first, padded with
// zero bytes to the blob's modulus size: from as few bytes as the modulus
// has up to that size.
std::vector<uint8_t> readSignature(const std::string& name, bool bigEndian, const VerifyKey& key) {
    std::vector<uint8_t> signature = readSmallFile(name, MaxModulusBits / 8 + 4);
    if (bigEndian) std::reverse(signature.begin(), signature.end());
    const size_t least = key.key.modulus.size(), most = key.blobModulusBytes;
    if (signature.size() < least || signature.size() > std::max(least, most)) {
        fail(quoteName(name), std::string(signature.size() < least ? "signature cut short: " : "signature too long: ") +
                                  std::to_string(signature.size()) + " bytes for a modulus of " +
                                  std::to_string(least) + " bytes");
    }
    signature.resize(std::max(least, most), 0);
    return signature;
}

#ifdef ZQ_WITH_LIBCRYPTO
// isPkcs1Signature: libcrypto's full RSASSA-PKCS1-v1_5 check with MD5 of the
// signature (least significant byte first) over `digest`.
bool isPkcs1Signature(const VerifyKey& key, const std::vector<uint8_t>& signature, const Md5Digest& digest) {
    // libcrypto takes the signature most significant byte first, exactly
    // as long as the modulus; a longer one must have zeros on top.
    const size_t length = key.key.modulus.size();
    for (size_t i = length; i < signature.size(); ++i) {
        if (signature[i] != 0) return false;
    }
    std::vector<uint8_t> bigEndian(signature.rend() - length, signature.rend());
    const KeyHandle publicKey = keyFromPublic(key.key);
    KeyContext context(EVP_PKEY_CTX_new(publicKey.get(), nullptr));
    const bool valid = context && EVP_PKEY_verify_init(context.get()) == 1 &&
                       EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) == 1 &&
                       EVP_PKEY_CTX_set_signature_md(context.get(), EVP_md5()) == 1 &&
                       EVP_PKEY_verify(context.get(), bigEndian.data(), bigEndian.size(), digest.data(),
                                       digest.size()) == 1;
    ERR_clear_error();
    return valid;
}
#endif

int run(const ParsedOptions& options) {
    if (!options.has("key")) usageFailure("verify", "--key KEY is required");
    if (!options.has("sig")) usageFailure("verify", "--sig SIGNATURE is required");
    const std::string order = options.value("byte-order", "little");
    if (order != "little" && order != "big") usageFailure("verify", "--byte-order is 'little' or 'big'");
    if (options.has("digest") == (options.operands.size() == 1) || options.operands.size() > 1) {
        usageFailure("verify", "give one FILE or --digest HEX");
    }
#ifndef ZQ_WITH_LIBCRYPTO
    if (options.has("strict")) lacksLibcrypto("verify", "--strict");
#endif
    Md5Digest digest;
    if (options.has("digest") && !parseHex(options.value("digest"), digest.data(), digest.size())) {
        usageFailure("verify", "--digest takes 32 hexadecimal digits");
    }
    const VerifyKey key = readVerifyKey(options.value("key"));
    const std::vector<uint8_t> signature = readSignature(options.value("sig"), order == "big", key);
    if (!options.has("digest")) digest = md5OfFile(options.operands[0]);

    const CryptBlob signatureBlob = inputBlob(signature.data(), signature.size());
    const CryptBlob keyBlob = inputBlob(key.blob.data(), key.blob.size());
    const CryptBlob digestBlob = inputBlob(digest.data(), digest.size());
    uint32_t matches = 0;
    if (!zqCryptVerifySignature(&signatureBlob, &keyBlob, &digestBlob, 0, &matches)) {
        fail("verify", "the library could not make the check");
    }
    if (!matches) {
        writeStandardOutput("Verification failure\n");
        return ExitMismatch;
    }
#ifdef ZQ_WITH_LIBCRYPTO
    if (options.has("strict") && !isPkcs1Signature(key, signature, digest)) {
        writeStandardOutput("Accepted by the library, but not a valid PKCS #1 v1.5 signature\n");
        return ExitMismatch;
    }
#endif
    writeStandardOutput("Verified OK\n");
    return ExitSuccess;
}

}  // namespace

const Subcommand verifyCommand = {
    "verify",
    "check an RSA signature over a file's MD5 digest with the library's check",
    help,
    {{"key", 0, true},
     {"sig", 0, true},
     {"byte-order", 0, true},
     {"digest", 0, true},
     {"strict", 0, false}},
    run,
};

}  // namespace zqcli
