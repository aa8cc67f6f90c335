// File: verify_verdict.cpp
//
// The verdict of zqcrypt verify. See verify_verdict.h.
#include "verify_verdict.h"

#include <algorithm>

#include "failure.h"
#include "hash_kind.h"
#include "key_blob.h"
#include "library_key.h"
#include "signature_block.h"

namespace zqcli {
namespace {

std::string number(uint64_t value) { return std::to_string(value); }

// The modulus's bytes as the library reads it.
size_t modulusBytes(const std::vector<uint8_t>& blob) { return (modulusBits(readLibraryKey(blob)) + 7) / 8; }

}  // namespace

std::optional<Refusal> keyRefusal(const std::vector<uint8_t>& blob) {
    const uint32_t bits = keyBlobBits(blob);
    if (bits % 32 != 0) {
        return Refusal{"bitlen_partial_word", "a key blob with a bit length of " + number(bits) +
                                                  "; the library reads the modulus in whole 32-bit words"};
    }
    if (bits > MaxModulusBits) {
        return Refusal{"key_too_large",
                       "a modulus of " + number(bits) + " bits; the library checks keys of up to 16384 bits"};
    }
    if (blob.size() < KeyBlobHeaderBytes + bits / 8) {
        return Refusal{"blob_short", "key blob cut short: " + number(blob.size()) + " bytes, its bit length needs " +
                                         number(KeyBlobHeaderBytes + bits / 8)};
    }
    const LibraryKey key = readLibraryKey(blob);
    if (key.modulus.empty()) return Refusal{"key_not_rsa", "a modulus of zero: not an RSA key"};
    if (key.modulus[0] % 2 == 0) return Refusal{"key_not_rsa", "an even modulus: not an RSA key"};
    if (key.exponent == 0) return Refusal{"key_not_rsa", "a public exponent of 0: not an RSA key"};
    if (key.exponent % 2 == 0) {
        return Refusal{"key_not_rsa", "an even public exponent (" + number(key.exponent) + "): not an RSA key"};
    }
    return std::nullopt;
}

SignatureSizes signatureSizes(const std::vector<uint8_t>& blob) {
    const size_t least = modulusBytes(blob);
    return {least, std::max<size_t>(least, keyBlobBits(blob) / 8)};
}

std::optional<Refusal> signatureRefusal(size_t size, const std::vector<uint8_t>& blob) {
    const auto [least, most] = signatureSizes(blob);
    if (size >= least && size <= most) return std::nullopt;
    return Refusal{size < least ? "signature_shorter" : "signature_longer",
                   std::string(size < least ? "signature cut short: " : "signature too long: ") + number(size) +
                       " bytes for a modulus of " + number(least) + " bytes"};
}

bool isPkcs1Signature(const std::vector<uint8_t>& blob, const std::vector<uint8_t>& littleEndian,
                      const Md5Digest& digest) {
    const LibraryKey key = readLibraryKey(blob);
    // No smaller modulus holds an MD5 signature's block; one that is zero
    // or even has no s^e mod n to speak of (verify refuses it).
    if (key.modulus.empty() || key.modulus[0] % 2 == 0 || modulusBytes(blob) < SmallestMd5BlockBytes) return false;
    const RaisedSignature raised = raiseSignature(key, littleEndian);
    if (!raised.computed) fail("verify", "the numbers of this check do not fit in memory");
    if (!raised.belowModulus) return false;
    const SignedBlock read = readSignedBlock(raised.block);
    return read.pkcs1 && read.hash == HashKind::Md5 &&
           std::equal(read.digest.begin(), read.digest.end(), digest.begin(), digest.end());
}

int verifyStatus(LibraryAnswer answer, bool strict, bool pkcs1) {
    switch (answer) {
        case LibraryAnswer::Match: return strict && !pkcs1 ? ExitMismatch : ExitSuccess;
        case LibraryAnswer::NoMatch: return ExitMismatch;
        case LibraryAnswer::CannotCheck: break;
    }
    return ExitError;
}

}  // namespace zqcli
