// File: pubkey.cpp
//
// zqcrypt pubkey: the PUBLICKEYBLOB that the library imports, or the public
// key as PEM, from an RSA key file in any format the tool reads.
#include <string>

#include "failure.h"
#include "key_file.h"
#include "output.h"
#include "subcommand.h"

namespace zqcli {
namespace {

const char help[] =
    "Usage: zqcrypt pubkey [--format blob|pem|pkcs1] [-o FILE] KEY\n"
    "Write the public part of the RSA key in KEY ('-' for standard input; PEM or DER,\n"
    "private or public, PKCS #8, SubjectPublicKeyInfo or PKCS #1, or a PRIVATEKEYBLOB\n"
    "or PUBLICKEYBLOB) as the PUBLICKEYBLOB that the zqcrypt library imports, to FILE\n"
    "(standard output when none, or '-'). The blob's bit length is the modulus's\n"
    "rounded up to a multiple of 32, as the library reads whole 32-bit words; for\n"
    "2048, 3072 or 4096-bit keys the blob is byte for byte what\n"
    "'openssl rsa -pubout -outform MSBLOB' writes.\n\n"
    "  --format FORMAT    'blob' (the default), 'pem' (SubjectPublicKeyInfo, as\n"
    "                     OpenSSL writes it) or 'pkcs1' (PEM 'RSA PUBLIC KEY', as\n"
    "                     'openssl rsa -RSAPublicKey_out' writes it)\n"
    "  --pem              the same as --format pem\n"
    "  -o, --output FILE  write to FILE, which appears only when complete\n";

int run(const ParsedOptions& options) {
    if (options.operands.size() != 1) usageFailure("pubkey", "give one KEY file");
    const KeyFormat format = keyFormatOption(options, "pubkey", options.has("pem") ? KeyFormat::Pem : KeyFormat::Blob);
    if (options.has("pem") && format != KeyFormat::Pem) usageFailure("pubkey", "--pem and --format blob disagree");
    const std::string& name = options.operands[0];
    const RsaKey key = readKeyFile(name, false);
    Output output(options.value("output", "-"));
    const std::vector<uint8_t> bytes = keyFileBytes(key, format, true, name);
    output.write(bytes.data(), bytes.size());
    output.commit();
    return ExitSuccess;
}

}  // namespace

const Subcommand pubkeyCommand = {
    "pubkey",
    "the PUBLICKEYBLOB (or public PEM) of an RSA key file",
    help,
    {{"pem", 0, false}, {"format", 0, true}, {"output", 'o', true}},
    run,
};

}  // namespace zqcli
