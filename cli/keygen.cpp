// File: keygen.cpp
//
// zqcrypt keygen: a new RSA private key, made by libcrypto, as a PKCS #8 PEM
// file readable by its owner only.
#include <stdlib.h>

#include <string>

#include "failure.h"
#include "output.h"
#include "subcommand.h"

#ifdef ZQ_WITH_LIBCRYPTO
#include <openssl/bn.h>
#include <openssl/rsa.h>

#include "key_blob.h"
#include "libcrypto_key.h"
#endif

namespace zqcli {
namespace {

const char help[] =
    "Usage: zqcrypt keygen [--bits N] [-e E] [--insecure] [-o FILE]\n"
    "Make an RSA private key with OpenSSL's libcrypto and write it as PEM (PKCS #8)\n"
    "to FILE (standard output when none, or '-'), readable by its owner only.\n\n"
    "  --bits N           modulus size in bits (default 3072); 2048 to 16384\n"
    "  -e, --exponent E   public exponent, decimal or 0x hexadecimal (default 65537);\n"
    "                     odd, at least 65537, at most 32 bits (the key blob's word)\n"
    "  --insecure         also allow sizes from 512 bits and exponents from 3: such\n"
    "                     keys let anyone forge signatures the library accepts\n"
    "  -o, --output FILE  write the key to FILE, which appears only when complete\n";

#ifdef ZQ_WITH_LIBCRYPTO
// parseNumber reads a decimal or 0x hexadecimal number of at most 32 bits.
bool parseNumber(const std::string& text, unsigned long long& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    char* end = nullptr;
    value = strtoull(text.c_str(), &end, text.compare(0, 2, "0x") == 0 ? 16 : 10);
    return *end == 0 && value <= 0xFFFFFFFFu;
}
#endif

int run(const ParsedOptions& options) {
#ifdef ZQ_WITH_LIBCRYPTO
    if (!options.operands.empty()) usageFailure("keygen", "no operand expected; the key goes to -o FILE");
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
    if (bits < 512) fail("keygen", "libcrypto makes keys of 512 bits or more");
    if (bits < 2048 && !insecure) {
        fail("keygen", "keys below 2048 bits can be factored; give --insecure to make one anyway");
    }
    Output output(options.value("output", "-"), true);

    KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    BIGNUM* publicExponent = BN_new();
    EVP_PKEY* made = nullptr;
    const bool generated = context && publicExponent != nullptr && BN_set_word(publicExponent, exponent) == 1 &&
                           EVP_PKEY_keygen_init(context.get()) == 1 &&
                           EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), static_cast<int>(bits)) == 1 &&
                           EVP_PKEY_CTX_set1_rsa_keygen_pubexp(context.get(), publicExponent) == 1 &&
                           EVP_PKEY_generate(context.get(), &made) == 1;
    BN_free(publicExponent);
    const KeyHandle key(made);
    if (!generated) libcryptoFailure("keygen", "libcrypto could not make the key");
    output.write(pemOf(key.get(), false));
    output.commit();
    return ExitSuccess;
#else
    (void)options;
    lacksLibcrypto("keygen", "key generation");
#endif
}

}  // namespace

const Subcommand keygenCommand = {
    "keygen",
    "make an RSA private key (PEM) with libcrypto",
    help,
    {{"bits", 0, true}, {"exponent", 'e', true}, {"insecure", 0, false}, {"output", 'o', true}},
    run,
};

}  // namespace zqcli
