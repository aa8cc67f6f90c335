// File: sign.cpp
//
// zqcrypt sign: an RSASSA-PKCS1-v1_5 signature over the MD5 digest of a
// file, made by the platform's cryptography (libcrypto on Linux, CryptoAPI
// on Windows) from the digest that the library's MD5 engine computes,
// written least significant byte first as the library reads it. The
// signature is deterministic: both platforms write the same bytes.
#include <algorithm>
#include <string>
#include <vector>

#include "failure.h"
#include "file_digest.h"
#include "key_file.h"
#include "output.h"
#include "rsa_key_check.h"
#include "rsa_signer.h"
#include "subcommand.h"

namespace zqcli {
namespace {

const char help[] =
    "Usage: zqcrypt sign --key KEY [--byte-order little|big] [-o FILE] FILE\n"
    "Sign the MD5 digest of FILE ('-' for standard input) with the RSA private key in\n"
    "KEY (PEM or DER, PKCS #8 or PKCS #1, or a PRIVATEKEYBLOB) as RSASSA-PKCS1-v1_5,\n"
#ifdef _WIN32
    "through CryptoAPI,\n"
#else
    "through OpenSSL's libcrypto,\n"
#endif
    "and write the signature, as many bytes as the modulus, to FILE (standard output\n"
    "when none, or '-'). The Linux and Windows tools write the same bytes; the\n"
    "Windows tool (CryptoAPI) signs only with keys whose modulus is a whole number of\n"
    "bytes, so a key of 2052 bits, say, signs on Linux only.\n\n"
    "  --key KEY            the private key\n"
    "  --byte-order ORDER   'little' (the library's order, least significant byte\n"
    "                       first; the default) or 'big' (OpenSSL's order)\n"
    "  -o, --output FILE    write the signature to FILE, which appears only when\n"
    "                       complete\n";

int run(const ParsedOptions& options) {
    if (!options.has("key")) usageFailure("sign", "--key KEY is required");
    if (options.operands.size() != 1) usageFailure("sign", "give one FILE to sign");
    const std::string order = options.value("byte-order", "little");
    if (order != "little" && order != "big") usageFailure("sign", "--byte-order is 'little' or 'big'");
    const std::string keyName = options.value("key");
    const RsaKey key = readKeyFile(keyName, true);
    Output output(options.value("output", "-"));
    const Md5Digest digest = md5OfFile(options.operands[0]);
    std::vector<uint8_t> signature = signMd5(key, digest, keyName);
    checkSignature(key.publicKey, signature, digest, keyName);
    if (order == "big") std::reverse(signature.begin(), signature.end());
    output.write(signature.data(), signature.size());
    output.commit();
    return ExitSuccess;
}

}  // namespace

const Subcommand signCommand = {
    "sign",
    "sign a file's MD5 digest (RSA PKCS #1 v1.5), in the library's byte order",
    help,
    {{"key", 0, true}, {"byte-order", 0, true}, {"output", 'o', true}},
    run,
};

}  // namespace zqcli
