// File: pubkey.cpp
//
// zqcrypt pubkey: the PUBLICKEYBLOB that the library imports, or the public
// key as PEM, from an RSA key file in PEM or DER.
#include <string>

#include "failure.h"
#include "input.h"
#include "output.h"
#include "subcommand.h"

#ifdef ZQ_WITH_LIBCRYPTO
#include "key_blob.h"
#include "libcrypto_key.h"
#endif

namespace zqcli {
namespace {

const char help[] =
    "Usage: zqcrypt pubkey [--pem] [-o FILE] KEY\n"
    "Write the public part of the RSA key in KEY ('-' for standard input; PEM or DER,\n"
    "private or public, PKCS #8, SubjectPublicKeyInfo or PKCS #1) as the\n"
    "PUBLICKEYBLOB that the zqcrypt library imports, to FILE (standard output when\n"
    "none, or '-'). The blob's bit length is the modulus's rounded up to a multiple\n"
    "of 32, as the library reads whole 32-bit words; for 2048, 3072 or 4096-bit keys\n"
    "the blob is byte for byte what 'openssl rsa -pubout -outform MSBLOB' writes.\n\n"
    "  --pem              write the public key as PEM (SubjectPublicKeyInfo) instead\n"
    "  -o, --output FILE  write to FILE, which appears only when complete\n";

int run(const ParsedOptions& options) {
#ifdef ZQ_WITH_LIBCRYPTO
    if (options.operands.size() != 1) usageFailure("pubkey", "give one KEY file");
    const std::string& name = options.operands[0];
    const KeyHandle key = readRsaKey(readSmallFile(name, 1 << 20), name, false);
    const RsaPublicKey pair = publicPartOf(key.get(), name);
    checkKeyFits(pair, name);
    Output output(options.value("output", "-"));
    if (options.has("pem")) {
        output.write(pemOf(key.get(), true));
    } else {
        const std::vector<uint8_t> blob = makeKeyBlob(pair);
        output.write(blob.data(), blob.size());
    }
    output.commit();
    return ExitSuccess;
#else
    (void)options;
    lacksLibcrypto("pubkey", "reading PEM and DER keys");
#endif
}

}  // namespace

const Subcommand pubkeyCommand = {
    "pubkey",
    "the PUBLICKEYBLOB (or public PEM) of an RSA key file",
    help,
    {{"pem", 0, false}, {"output", 'o', true}},
    run,
};

}  // namespace zqcli
