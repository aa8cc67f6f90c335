// File: verify_verdict.h
//
// What zqcrypt verify answers, decided here once for every way it is asked
// (plain, --strict, --explain, --json): the keys and signatures it refuses
// (exit 2) rather than answer a mismatch, and, with --strict, whether a
// signature the library accepts is a valid RSASSA-PKCS1-v1_5 signature (RFC
// 8017, 8.2.2): its value below the modulus (RSAVP1 refuses any other as
// "signature representative out of range") and s^e mod n the encoding of
// the digest under MD5.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "file_digest.h"
#include "library_check.h"

namespace zqcli {

// Refusal: why verify will not check, as the code of --json's finding and
// the reason plain verify gives after the file's name.
struct Refusal {
    std::string code;
    std::string reason;
};

// keyRefusal says why verify refuses the key blob `blob` (at least 20
// bytes, as the library is given it), if it does: a bit length that is not
// a whole number of 32-bit words or above 16384, a blob shorter than its
// bit length, a modulus of zero or an even one, an exponent of 0 or an
// even one.
std::optional<Refusal> keyRefusal(const std::vector<uint8_t>& blob);

// SignatureSizes: the sizes of signature that verify takes for a key blob,
// from the modulus's bytes as the library reads it (`least`) up to the
// blob's modulus field when that is wider (`most`): makeKeyBlob rounds the
// field up to whole words, and a signature may fill it.
struct SignatureSizes {
    size_t least = 0;
    size_t most = 0;
};
SignatureSizes signatureSizes(const std::vector<uint8_t>& blob);

// signatureRefusal says why verify refuses a signature of `size` bytes for
// the key blob `blob` (at least 20 bytes), if it does: a size outside
// signatureSizes, signature_shorter or signature_longer.
std::optional<Refusal> signatureRefusal(size_t size, const std::vector<uint8_t>& blob);

// isPkcs1Signature: the signature `littleEndian` (least significant byte
// first) is below the modulus of `blob` and its block s^e mod n is a valid
// PKCS #1 v1.5 encoding of `digest` under MD5. Numbers that do not fit in
// memory throw a Failure.
bool isPkcs1Signature(const std::vector<uint8_t>& blob, const std::vector<uint8_t>& littleEndian,
                      const Md5Digest& digest);

// verifyStatus is the exit status of a check that was not refused: the
// library's answer, and with `strict` a signature it accepts that is no
// valid PKCS #1 v1.5 signature (`pkcs1` false) is a mismatch.
int verifyStatus(LibraryAnswer answer, bool strict, bool pkcs1);

}  // namespace zqcli
