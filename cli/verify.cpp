// File: verify.cpp
//
// zqcrypt verify: the check of an RSA signature over the MD5 digest of a
// file, made by the library's export, so that the answer is the one a host
// of the library gets. With --strict the whole PKCS #1 v1.5 block is checked
// as well (signature_block.h), which the library does not do: it compares
// only the low 128 bits of s^e mod n with the digest. With --explain (or
// --json) the tool says why the signature matches or not (explain.h). What
// verify refuses, and its answer, are decided for every way of asking in
// verify_verdict.h.
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <string>
#include <vector>

#include "explain.h"
#include "failure.h"
#include "file_digest.h"
#include "input.h"
#include "key_blob.h"
#include "key_file.h"
#include "library_check.h"
#include "standard_output.h"
#include "subcommand.h"
#include "text.h"
#include "verify_verdict.h"


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
    "  --strict             also check that the signature is below the modulus and\n"
    "                       its whole PKCS #1 v1.5 block (block type, padding, MD5\n"
    "                       algorithm identifier), not only the low 128 bits that\n"
    "                       the library compares\n"
    "  --explain            say why the signature does or does not match: verify's\n"
    "                       answer and the library's, then one line a finding\n"
    "  --json               the same as one JSON object: {\"verify\": \"ok\", \"failure\",\n"
    "                       \"refused\" or \"not checked\", \"strict\" (with --strict),\n"
    "                       \"refusal\": {\"code\", \"message\"} (when refused),\n"
    "                       \"library\": \"match\", \"no match\" or \"could not check\",\n"
    "                       \"file\", \"md5\", \"key\", \"block\",\n"
    "                       \"findings\": [{\"code\", \"message\"}, ...]}\n\n"
    "Prints 'Verified OK' (exit 0) or 'Verification failure' (exit 1). With --strict,\n"
    "a signature the library accepts that is not a valid PKCS #1 v1.5 signature (for\n"
    "example one forged for an e = 3 key, or a value not below the modulus) prints\n"
    "'Accepted by the library, but not a valid PKCS #1 v1.5 signature' (exit 1).\n"
    "Exit 2 when the check cannot be made, and for a key or signature refused: a key\n"
    "that cannot be RSA or that the library would misread, a signature shorter or\n"
    "longer than the modulus. Standard input ('-', or a name of it such as /dev/stdin\n"
    "on Linux) can be one input only.\n\n"
    "--explain recovers the signed block s^e mod n with the library's own integer\n"
    "code and reads it as a PKCS #1 v1.5 signature in both byte orders. Its findings\n"
    "(the JSON codes): valid, valid_modulo_n (valid once reduced modulo n),\n"
    "not_pkcs1 (accepted but forged), other_message (its digest beside the file's),\n"
    "other_hash (SHA-1, SHA-256, SHA-384 or SHA-512, and whether it signs this file\n"
    "under that hash), byte_order, no_structure (another key, or damaged); for the\n"
    "key bitlen_partial_word, blob_short, private_blob, small_exponent (e = 3 or 1),\n"
    "key_not_rsa, key_too_small (checked, but too small for a PKCS #1 v1.5 block),\n"
    "key_too_large, key_malformed; for the signature signature_shorter,\n"
    "signature_longer, signature_wide (filling the key blob's modulus field, taken),\n"
    "signature_not_below. A key or signature that verify refuses is reported as a\n"
    "finding instead. Exit status is plain verify's. JSON output is UTF-8: bytes of\n"
    "a file name that are no UTF-8 are written as U+FFFD.\n";

// keyBlobOf is the key in `bytes`, the content of the file `name`, as the
// blob the library takes: a key blob as it is, another key's public part
// as a PUBLICKEYBLOB, whatever its modulus and exponent (keyRefusal judges
// them). A file that holds no key throws a Failure.
std::vector<uint8_t> keyBlobOf(const std::vector<uint8_t>& bytes, const std::string& name) {
    if (looksLikeKeyBlob(bytes)) return bytes;
    return makeKeyBlob(parseKeyBytes(bytes, name).publicKey);
}

// readInput reads the key and the signature (least significant byte first)
// and notes the first of them that verify refuses: a file that holds no
// key, then keyRefusal, then signatureRefusal.
ExplainRequest readInput(const ParsedOptions& options) {
    ExplainRequest input;
    const std::string keyName = options.value("key"), signatureName = options.value("sig");
    const std::vector<uint8_t> keyBytes = readSmallFile(keyName, 1 << 20);
    input.signature = readSmallFile(signatureName, MaxModulusBits / 8 + 4);
    input.bigEndian = options.value("byte-order", "little") == "big";
    if (input.bigEndian) std::reverse(input.signature.begin(), input.signature.end());
    try {
        input.keyBlob = keyBlobOf(keyBytes, keyName);
    } catch (const Failure& failure) {
        input.refused = RefusedInput{failure.name, {"key_malformed", failure.reason}};
        return input;
    }
    if (const auto why = keyRefusal(input.keyBlob)) {
        input.refused = RefusedInput{quoteName(keyName), *why};
    } else if (const auto why = signatureRefusal(input.signature.size(), input.keyBlob)) {
        input.refused = RefusedInput{quoteName(signatureName), *why};
    }
    return input;
}

// isStandardInput: `name` reads standard input: "-", or on POSIX a name of
// the file that standard input is (/dev/stdin, /dev/fd/0, the FIFO it
// comes from), found by its device and inode.
bool isStandardInput(const std::string& name) {
    if (name == "-") return true;
#ifdef _WIN32
    return false;
#else
    struct stat input, named;
    return fstat(STDIN_FILENO, &input) == 0 && stat(name.c_str(), &named) == 0 &&
           input.st_dev == named.st_dev && input.st_ino == named.st_ino;
#endif
}

// standardInputCount is how many of the key, the signature and the file
// are standard input.
int standardInputCount(const ParsedOptions& options) {
    int count = isStandardInput(options.value("key")) ? 1 : 0;
    if (isStandardInput(options.value("sig"))) ++count;
    if (!options.has("digest") && isStandardInput(options.operands[0])) ++count;
    return count;
}

int run(const ParsedOptions& options) {
    if (!options.has("key")) usageFailure("verify", "--key KEY is required");
    if (!options.has("sig")) usageFailure("verify", "--sig SIGNATURE is required");
    const std::string order = options.value("byte-order", "little");
    if (order != "little" && order != "big") usageFailure("verify", "--byte-order is 'little' or 'big'");
    if (options.has("digest") == (options.operands.size() == 1) || options.operands.size() > 1) {
        usageFailure("verify", "give one FILE or --digest HEX");
    }
    // Standard input is read once: the second reader would find it empty.
    if (standardInputCount(options) > 1) {
        usageFailure("verify",
                     "standard input ('-', or a name of it) can be one of the key, the signature and the "
                     "file, not two");
    }
    Md5Digest digest;
    if (options.has("digest") && !parseHex(options.value("digest"), digest.data(), digest.size())) {
        usageFailure("verify", "--digest takes 32 hexadecimal digits");
    }
    ExplainRequest input = readInput(options);
    input.strict = options.has("strict");
    if (options.has("explain") || options.has("json")) {
        if (options.has("digest")) input.digest = digest;
        if (!options.has("digest")) input.file = options.operands[0];
        input.json = options.has("json");
        return explainSignature(input);
    }
    if (input.refused) fail(input.refused->name, input.refused->why.reason);
    if (!options.has("digest")) digest = md5OfFile(options.operands[0]);

    const LibraryAnswer answer = libraryCheck(input.signature, input.keyBlob, digest);
    if (answer == LibraryAnswer::CannotCheck) fail("verify", "the library could not make the check");
    const bool pkcs1 = !input.strict || answer != LibraryAnswer::Match ||
                       isPkcs1Signature(input.keyBlob, input.signature, digest);
    const int status = verifyStatus(answer, input.strict, pkcs1);
    writeStandardOutput(status == ExitSuccess             ? "Verified OK\n"
                        : answer == LibraryAnswer::NoMatch ? "Verification failure\n"
                                                           : "Accepted by the library, but not a valid PKCS #1 v1.5 "
                                                             "signature\n");
    return status;
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
