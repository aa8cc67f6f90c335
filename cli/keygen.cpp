// File: keygen.cpp
//
// zqcrypt keygen: a new RSA private key, made by the platform's
// cryptography (libcrypto on Linux, CryptoAPI on Windows), or a key file
// rewritten (--from), as PKCS #8 PEM or a PRIVATEKEYBLOB in a file readable
// by its owner only.
#include <stdlib.h>

#include <string>

#include "failure.h"
#include "key_blob.h"
#include "key_file.h"
#include "output.h"
#include "rsa_signer.h"
#include "subcommand.h"

namespace zqcli {
namespace {

const char help[] =
    "Usage: zqcrypt keygen [--bits N] [-e E] [--insecure] [--format pem|pkcs1|blob]\n"
    "                      [-o FILE]\n"
    "       zqcrypt keygen --from KEY [--format pem|pkcs1|blob] [-o FILE]\n"
#ifdef _WIN32
    "Make an RSA private key with CryptoAPI and write it as PEM (PKCS #8) or a\n"
#else
    "Make an RSA private key with OpenSSL's libcrypto and write it as PEM (PKCS #8) or a\n"
#endif
    "PRIVATEKEYBLOB to FILE (standard output when none, or '-'), readable by its owner\n"
    "only. With --from, rewrite the private key in KEY ('-' for standard input; PEM or\n"
    "DER, PKCS #8 or PKCS #1, or a PRIVATEKEYBLOB) instead.\n\n"
    "  --bits N           modulus size in bits (default 3072); 2048 to 16384\n"
#ifdef _WIN32
    "                     in steps of 8\n"
    "  -e, --exponent E   public exponent: CryptoAPI makes keys with 65537 only, and\n"
    "                     this build takes no other\n"
#else
    "  -e, --exponent E   public exponent, decimal or 0x hexadecimal (default 65537);\n"
    "                     odd, at least 65537, at most 32 bits (the key blob's word)\n"
#endif
    "  --insecure         also allow sizes from 512 bits and exponents from 3: such\n"
    "                     keys let anyone forge signatures the library accepts\n"
    "  --from KEY         rewrite the private key in KEY instead of making one\n"
    "  --format FORMAT    'pem' (PKCS #8, as OpenSSL writes it; the default),\n"
    "                     'pkcs1' (PEM 'RSA PRIVATE KEY', as 'openssl rsa\n"
    "                     -traditional' writes it) or 'blob' (CryptoAPI's\n"
    "                     PRIVATEKEYBLOB)\n"
    "  -o, --output FILE  write the key to FILE, which appears only when complete\n";

// parseNumber reads a decimal or 0x hexadecimal number of at most 32 bits.
bool parseNumber(const std::string& text, unsigned long long& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    char* end = nullptr;
    value = strtoull(text.c_str(), &end, text.compare(0, 2, "0x") == 0 ? 16 : 10);
    return *end == 0 && value <= 0xFFFFFFFFu;
}

RsaKey makeKey(const ParsedOptions& options) {
    unsigned long long bits = 3072, exponent = 65537;
    if (options.has("bits") && !parseNumber(options.value("bits"), bits)) {
        usageFailure("keygen", "--bits takes a number");
    }
    if (options.has("exponent") && !parseNumber(options.value("exponent"), exponent)) {
        usageFailure("keygen", "--exponent takes a number of at most 32 bits");
    }
    const bool insecure = options.has("insecure");
    if (exponent % 2 == 0 || exponent < 3) fail("keygen", "the public exponent must be odd and at least 3");
    if (exponent < 65537 && !insecure) {
        fail("keygen", "an exponent below 65537 lets anyone forge signatures that the library accepts "
                       "(it checks only 128 bits); give --insecure to make such a key anyway");
    }
    if (bits > MaxModulusBits) fail("keygen", "the library checks keys of up to 16384 bits");
    if (bits < 512) fail("keygen", std::string(signerName) + " makes keys of 512 bits or more here");
    if (bits < 2048 && !insecure) {
        fail("keygen", "keys below 2048 bits can be factored; give --insecure to make one anyway");
    }
    return generateRsaKey(static_cast<uint32_t>(bits), static_cast<uint32_t>(exponent));
}

int run(const ParsedOptions& options) {
    if (!options.operands.empty()) usageFailure("keygen", "no operand expected; the key goes to -o FILE");
    const bool from = options.has("from");
    if (from && (options.has("bits") || options.has("exponent") || options.has("insecure"))) {
        usageFailure("keygen", "--from takes a key as it is: no --bits, --exponent or --insecure");
    }
    const KeyFormat format = keyFormatOption(options, "keygen", KeyFormat::Pem);
    const std::string source = from ? options.value("from") : "keygen";
    const RsaKey key = from ? readKeyFile(source, true) : RsaKey();
    Output output(options.value("output", "-"), true);
    const std::vector<uint8_t> bytes = keyFileBytes(from ? key : makeKey(options), format, false, source);
    output.write(bytes.data(), bytes.size());
    output.commit();
    return ExitSuccess;
}

}  // namespace

const Subcommand keygenCommand = {
    "keygen",
    "make an RSA private key (PEM or PRIVATEKEYBLOB), or rewrite one",
    help,
    {{"bits", 0, true},
     {"exponent", 'e', true},
     {"insecure", 0, false},
     {"from", 0, true},
     {"format", 0, true},
     {"output", 'o', true}},
    run,
};

}  // namespace zqcli
