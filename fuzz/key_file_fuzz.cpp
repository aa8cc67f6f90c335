// The tool's key file reader (cli/key_file.h) on arbitrary bytes: PEM, DER
// and the CryptoAPI blobs. Every input must end in a key or a Failure, never
// in a read beyond the bytes (AddressSanitizer) or another exception. A key
// that is read must come back unchanged from each format the tool writes:
// PEM always, a blob when the key fits one.
#include <stdint.h>
#include <stdlib.h>

#include <vector>

#include "failure.h"
#include "key_file.h"

namespace {

using namespace zqcli;

bool same(const RsaKey& a, const RsaKey& b) {
    const RsaPrivateParts &x = a.privateParts, &y = b.privateParts;
    return a.publicKey.modulus == b.publicKey.modulus && a.publicKey.exponent == b.publicKey.exponent &&
           a.hasPrivate == b.hasPrivate && x.privateExponent == y.privateExponent && x.prime1 == y.prime1 &&
           x.prime2 == y.prime2 && x.exponent1 == y.exponent1 && x.exponent2 == y.exponent2 &&
           x.coefficient == y.coefficient;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact copy, so that AddressSanitizer sees a read past its end.
    const std::vector<uint8_t> bytes(data, data + size);
    RsaKey key;
    try {
        key = readKeyBytes(bytes, "fuzz", false);
    } catch (const Failure&) {
        return 0;
    }
    for (const KeyFormat format : {KeyFormat::Pem, KeyFormat::Pkcs1, KeyFormat::Blob}) {
        std::vector<uint8_t> written;
        try {
            written = keyFileBytes(key, format, false, "fuzz");
        } catch (const Failure&) {
            // Only a private key whose values exceed a blob's fields.
            if (format != KeyFormat::Blob || !key.hasPrivate) abort();
            continue;
        }
        RsaKey again;
        try {
            again = readKeyBytes(written, "fuzz", false);
        } catch (const Failure&) {
            // A public blob takes a key of up to 16384 bits whose size is
            // rounded up to whole words: it always reads back.
            abort();
        }
        if (!same(key, again)) abort();
    }
    return 0;
}
