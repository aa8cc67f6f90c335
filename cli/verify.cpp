// File: verify.cpp
//
// zqcrypt verify: the check of an RSA signature over the MD5 digest of a
// file, made by the library's export, so that the answer is the one a host
// of the library gets. With --strict the whole PKCS #1 v1.5 block is checked
// as well (signature_block.h), which the library does not do: it compares
// only the low 128 bits of s^e mod n with the digest. With --explain (or
// --json) the tool says why the signature matches or not (explain.h).
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "explain.h"
#include "failure.h"
#include "file_digest.h"
#include "hash_kind.h"
#include "input.h"
#include "key_blob.h"
#include "key_file.h"
#include "library_check.h"
#include "library_key.h"
#include "standard_output.h"
#include "signature_block.h"
#include "subcommand.h"
#include "text.h"


namespace zqcli {
namespace {

const char help[] =
    "Usage: zqcrypt verify --key KEY --sig SIGNATURE [--byte-order little|big] [--strict]\n"
    "                      [--explain | --json] (FILE | --digest HEX)\n"
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
    "                       bits that the library compares\n"
    "  --explain            say why the signature does or does not match: the\n"
    "                       library's answer, then one line a finding\n"
    "  --json               the same as one JSON object: {\"library\": \"match\",\n"
    "                       \"no match\" or \"could not check\", \"file\", \"md5\", \"key\",\n"
    "                       \"block\", \"findings\": [{\"code\", \"message\"}, ...]}\n\n"
    "Prints 'Verified OK' (exit 0) or 'Verification failure' (exit 1). With --strict,\n"
    "a signature the library accepts that is not a valid PKCS #1 v1.5 signature (for\n"
    "example one forged for an e = 3 key) prints 'Accepted by the library, but not a\n"
    "valid PKCS #1 v1.5 signature' (exit 1). Exit 2 when the check cannot be made.\n\n"
    "--explain recovers the signed block s^e mod n with the library's own integer\n"
    "code and reads it as a PKCS #1 v1.5 signature in both byte orders. Its findings\n"
    "(the JSON codes): valid, not_pkcs1 (accepted but forged), other_message (its\n"
    "digest beside the file's), other_hash (SHA-1, SHA-256, SHA-384 or SHA-512, and\n"
    "whether it signs this file under that hash), byte_order, no_structure (another\n"
    "key, or damaged); for the key bitlen_partial_word, blob_short, private_blob,\n"
    "small_exponent (e = 3 or 1), key_not_rsa, key_too_large; for the signature\n"
    "signature_longer, signature_not_below. A key or signature that verify refuses\n"
    "is reported as a finding instead. Exit status is the library's answer: 0 it\n"
    "accepts (with --strict, 1 for not_pkcs1), 1 it rejects, 2 it cannot check.\n"
    ;

// The key as the library takes it, its modulus, and the modulus's size in
// the blob (the blob's bit length / 8).
struct VerifyKey {
    std::vector<uint8_t> blob;
    RsaPublicKey key;
    size_t blobModulusBytes = 0;
};

// keyBlobOf is the key in `bytes`, the content of the file `name`, as the
// blob the library takes: a key blob as it is, another key's public part
// as a PUBLICKEYBLOB.
std::vector<uint8_t> keyBlobOf(const std::vector<uint8_t>& bytes, const std::string& name) {
    if (looksLikeKeyBlob(bytes)) return bytes;
    return makeKeyBlob(readKeyBytes(bytes, name, false).publicKey);
}

// readVerifyKey reads the key in `name`; one that cannot be an RSA key is
// refused here rather than answered with a mismatch.
VerifyKey readVerifyKey(const std::string& name) {
    VerifyKey taken;
    taken.blob = keyBlobOf(readSmallFile(name, 1 << 20), name);
    taken.key = readKeyBlob(taken.blob, name);
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

// isPkcs1Signature: the signature (least significant byte first) is below
// the modulus and its block s^e mod n is a valid RSASSA-PKCS1-v1_5 encoding
// of `digest` under MD5, as a full verifier would take it.
bool isPkcs1Signature(const VerifyKey& key, const std::vector<uint8_t>& signature, const Md5Digest& digest) {
    const RaisedSignature raised = raiseSignature(readLibraryKey(key.blob), signature);
    if (!raised.computed) fail("verify", "the numbers of this check do not fit in memory");
    if (!raised.belowModulus) return false;
    const SignedBlock read = readSignedBlock(raised.block);
    return read.pkcs1 && read.hash == HashKind::Md5 &&
           std::equal(read.digest.begin(), read.digest.end(), digest.begin(), digest.end());
}

int run(const ParsedOptions& options) {
    if (!options.has("key")) usageFailure("verify", "--key KEY is required");
    if (!options.has("sig")) usageFailure("verify", "--sig SIGNATURE is required");
    const std::string order = options.value("byte-order", "little");
    if (order != "little" && order != "big") usageFailure("verify", "--byte-order is 'little' or 'big'");
    if (options.has("digest") == (options.operands.size() == 1) || options.operands.size() > 1) {
        usageFailure("verify", "give one FILE or --digest HEX");
    }
    Md5Digest digest;
    if (options.has("digest") && !parseHex(options.value("digest"), digest.data(), digest.size())) {
        usageFailure("verify", "--digest takes 32 hexadecimal digits");
    }
    if (options.has("explain") || options.has("json")) {
        ExplainRequest request;
        request.keyBlob = keyBlobOf(readSmallFile(options.value("key"), 1 << 20), options.value("key"));
        request.signature = readSmallFile(options.value("sig"), MaxModulusBits / 8 + 4);
        request.bigEndian = order == "big";
        if (request.bigEndian) std::reverse(request.signature.begin(), request.signature.end());
        if (options.has("digest")) request.digest = digest;
        if (!options.has("digest")) request.file = options.operands[0];
        request.json = options.has("json");
        request.strict = options.has("strict");
        return explainSignature(request);
    }
    const VerifyKey key = readVerifyKey(options.value("key"));
    const std::vector<uint8_t> signature = readSignature(options.value("sig"), order == "big", key);
    if (!options.has("digest")) digest = md5OfFile(options.operands[0]);

    const LibraryAnswer answer = libraryCheck(signature, key.blob, digest);
    if (answer == LibraryAnswer::CannotCheck) fail("verify", "the library could not make the check");
    if (answer == LibraryAnswer::NoMatch) {
        writeStandardOutput("Verification failure\n");
        return ExitMismatch;
    }
    if (options.has("strict") && !isPkcs1Signature(key, signature, digest)) {
        writeStandardOutput("Accepted by the library, but not a valid PKCS #1 v1.5 signature\n");
        return ExitMismatch;
    }
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
     {"strict", 0, false},
     {"explain", 0, false},
     {"json", 0, false}},
    run,
};

}  // namespace zqcli
