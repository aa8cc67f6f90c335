// File: sign.cpp
//
// zqcrypt sign: an RSASSA-PKCS1-v1_5 signature over the MD5 digest of a
// file, made by libcrypto from the digest that the library's MD5 engine
// computes, written least significant byte first as the library reads it.
#include <algorithm>
#include <string>
#include <vector>

#include "failure.h"
#include "file_digest.h"
#include "input.h"
#include "output.h"
#include "subcommand.h"

#ifdef ZQ_WITH_LIBCRYPTO
#include <openssl/rsa.h>

#include "libcrypto_key.h"
#endif

namespace zqcli {
namespace {

const char help[] =
    "Usage: zqcrypt sign --key KEY [--byte-order little|big] [-o FILE] FILE\n"
    "Sign the MD5 digest of FILE ('-' for standard input) with the RSA private key in\n"
    "KEY (PEM or DER) as RSASSA-PKCS1-v1_5, and write the signature, as many bytes as\n"
    "the modulus, to FILE (standard output when none, or '-').\n\n"
    "  --key KEY            the private key\n"
    "  --byte-order ORDER   'little' (the library's order, least significant byte\n"
    "                       first; the default) or 'big' (OpenSSL's order)\n"
    "  -o, --output FILE    write the signature to FILE, which appears only when\n"
    "                       complete\n";

int run(const ParsedOptions& options) {
#ifdef ZQ_WITH_LIBCRYPTO
    if (!options.has("key")) usageFailure("sign", "--key KEY is required");
    if (options.operands.size() != 1) usageFailure("sign", "give one FILE to sign");
    const std::string order = options.value("byte-order", "little");
    if (order != "little" && order != "big") usageFailure("sign", "--byte-order is 'little' or 'big'");
    const std::string keyName = options.value("key");
    const KeyHandle key = readRsaKey(readSmallFile(keyName, 1 << 20), keyName, true);
    Output output(options.value("output", "-"));
    const Md5Digest digest = md5OfFile(options.operands[0]);

    KeyContext context(EVP_PKEY_CTX_new(key.get(), nullptr));
    size_t length = 0;
    if (!context || EVP_PKEY_sign_init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_CTX_set_signature_md(context.get(), EVP_md5()) != 1 ||
        EVP_PKEY_sign(context.get(), nullptr, &length, digest.data(), digest.size()) != 1) {
        libcryptoFailure("sign", "libcrypto could not sign with this key");
    }
    std::vector<uint8_t> signature(length);
    if (EVP_PKEY_sign(context.get(), signature.data(), &length, digest.data(), digest.size()) != 1) {
        libcryptoFailure("sign", "libcrypto could not sign with this key");
    }
    signature.resize(length);
    if (order == "little") std::reverse(signature.begin(), signature.end());
    output.write(signature.data(), signature.size());
    output.commit();
    return ExitSuccess;
#else
    (void)options;
    lacksLibcrypto("sign", "signing");
#endif
}

}  // namespace

const Subcommand signCommand = {
    "sign",
    "sign a file's MD5 digest (RSA PKCS #1 v1.5) with libcrypto, in the library's byte order",
    help,
    {{"key", 0, true}, {"byte-order", 0, true}, {"output", 'o', true}},
    run,
};

}  // namespace zqcli
