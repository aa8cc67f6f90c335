// File: rsa_key_check.cpp
//
// A private key's values and its signatures, checked. See rsa_key_check.h.
#include "rsa_key_check.h"

#include <algorithm>

#include "bignum/bigint.h"
#include "failure.h"
#include "key_blob.h"
#include "library_key.h"
#include "signature_block.h"

namespace zqcli {
namespace {

// number is the integer whose magnitude is `bigEndian`.
zq::BigInt number(const std::vector<uint8_t>& bigEndian) {
    std::vector<uint8_t> words(bigEndian.rbegin(), bigEndian.rend());
    words.resize((words.size() + 3) / 4 * 4, 0);
    zq::BigInt value(0u);
    value.fromWords(words.data(), static_cast<uint32_t>(words.size() / 4));
    return value;
}

}  // namespace

void checkPrivateValues(const RsaKey& key, const std::string& name) {
    const RsaPrivateParts& parts = key.privateParts;
    const std::vector<uint8_t>* values[] = {&parts.privateExponent, &parts.prime1,    &parts.prime2,
                                            &parts.exponent1,       &parts.exponent2, &parts.coefficient};
    // A value longer than the modulus is wrong, and would only make the
    // products below slow.
    for (const std::vector<uint8_t>* value : values) {
        if (value->size() > key.publicKey.modulus.size()) {
            fail(quoteName(name), "a private value longer than the modulus: a damaged key");
        }
    }
    const zq::BigInt n = number(key.publicKey.modulus), e(key.publicKey.exponent),
                     d = number(parts.privateExponent);
    const zq::BigInt p = number(parts.prime1), q = number(parts.prime2), one(1u);
    const zq::BigInt pLess = p - one, qLess = q - one, ed = e * d, qinv = number(parts.coefficient);
    const zq::BigInt reached[] = {n, d, p, q, pLess, qLess, ed, qinv};
    for (const zq::BigInt& value : reached) {
        if (!value.isValid()) fail(quoteName(name), "memory exhausted while checking the key's values");
    }
    const char* wrong = nullptr;
    if (p < zq::BigInt(3u) || q < zq::BigInt(3u)) {
        wrong = "a prime below 3";
    } else if (!(p * q == n)) {
        wrong = "its primes' product is not its modulus";
    } else if (!(ed % pLess == one) || !(ed % qLess == one)) {
        wrong = "its private exponent does not invert its public exponent";
    } else if (!(d % pLess == number(parts.exponent1)) || !(d % qLess == number(parts.exponent2))) {
        wrong = "a CRT exponent is not the private exponent modulo its prime less 1";
    } else if (!(qinv < p) || !(qinv * q % p == one)) {
        wrong = "its CRT coefficient is not the second prime's inverse modulo the first";
    }
    if (wrong != nullptr) fail(quoteName(name), std::string("a damaged private key: ") + wrong);
}

void checkSignature(const RsaPublicKey& key, const std::vector<uint8_t>& signature, const Md5Digest& digest,
                    const std::string& name) {
    const RaisedSignature raised = raiseSignature(readLibraryKey(makeKeyBlob(key)), signature);
    if (!raised.computed) fail(quoteName(name), "memory exhausted while checking the signature");
    const SignedBlock block = readSignedBlock(raised.block);
    if (!raised.belowModulus || !block.pkcs1 || block.hash != HashKind::Md5 ||
        !std::equal(digest.begin(), digest.end(), block.digest.begin(), block.digest.end())) {
        fail(quoteName(name),
             "the signature made with this key does not verify with its public part: a damaged key (nothing "
             "written)");
    }
}

}  // namespace zqcli
