// File: explain.cpp
//
// The explanation of a signature check. See explain.h.
#include "explain.h"

#include <stddef.h>

#include <algorithm>

#include "failure.h"
#include "file_hashes.h"
#include "json_writer.h"
#include "key_blob.h"
#include "library_check.h"
#include "library_key.h"
#include "signature_block.h"
#include "standard_output.h"
#include "text.h"
#include "verify_verdict.h"

namespace zqcli {
namespace {

struct Finding {
    std::string code;
    std::string message;
};

struct Explanation {
    LibraryAnswer answer = LibraryAnswer::CannotCheck;
    LibraryKey key;
    Md5Digest md5{};
    std::vector<uint8_t> block;  // s^e mod n in the order given, when recovered
    std::vector<Finding> findings;
    bool pkcs1 = false;    // a valid PKCS #1 v1.5 signature of the digest (isPkcs1Signature)
    bool misread = false;  // the library reads less of the modulus than the blob means

    void add(const std::string& code, const std::string& message) { findings.push_back({code, message}); }
};

std::string number(uint64_t value) { return std::to_string(value); }

std::string hex(const std::vector<uint8_t>& bytes) { return toHex(bytes.data(), bytes.size()); }

// lookAtKey adds the key's findings; false when its blocks s^e mod n have
// nothing to show: the library matches nothing with the key or cannot
// check at all, or its modulus is too small to hold a PKCS #1 v1.5 block.
bool lookAtKey(Explanation& out) {
    const LibraryKey& key = out.key;
    if (key.privateBlob) {
        out.add("private_blob", "The key is a private-key blob: the library reads its public part ('zqcrypt "
                                "pubkey' writes the PUBLICKEYBLOB alone).");
    }
    const uint32_t wholeBits = key.bitlen / 32 * 32;
    out.misread = key.bitlen % 32 != 0 || key.heldBytes < wholeBits / 8;
    if (key.bitlen % 32 != 0) {
        out.add("bitlen_partial_word", "The key blob's bitlen, " + number(key.bitlen) +
                                           ", is not a multiple of 32: the library drops the partial word and "
                                           "reads at most " + number(wholeBits) +
                                           " bits of the modulus. Write the bit length rounded up to 32, as "
                                           "'zqcrypt pubkey' does.");
    }
    if (key.heldBytes < wholeBits / 8) {
        out.add("blob_short", "The key blob is cut short: its bitlen of " + number(key.bitlen) + " calls for " +
                                  number(wholeBits / 8) + " modulus bytes, it holds " + number(key.heldBytes) +
                                  "; the library reads the " + number(key.heldBytes / 4) + " whole words there.");
    }
    if (key.exponent == 1 || key.exponent == 3) {
        out.add("small_exponent",
                "The key's exponent is " + number(key.exponent) + ": since the library compares only the low 128 "
                "bits of s^e mod n, anyone can make a signature it accepts for any file" +
                    (key.exponent == 1 ? " (s^1 is s)" : " (a cube root modulo 2^128)") +
                    ". Use a key with e = 65537.");
    }
    const uint32_t bits = modulusBits(key);
    if (bits > MaxModulusBits) {
        out.add("key_too_large", "The modulus the library reads has " + number(bits) +
                                     " bits: it checks keys of up to 16384 bits, and cannot check this one.");
        return false;
    }
    // key_not_rsa is what verify refuses (keyRefusal); a modulus too small
    // for the block is still checked, as the library checks it.
    const char* notRsa = bits == 0                 ? "is zero"
                         : key.modulus[0] % 2 == 0 ? "is even (a product of two odd primes is odd)"
                                                   : nullptr;
    if (notRsa) {
        out.add("key_not_rsa",
                std::string("The modulus the library reads ") + notRsa + ": it cannot be an RSA key.");
    } else if (key.exponent == 0) {
        out.add("key_not_rsa", "The key's exponent is 0: it cannot be an RSA key.");
    }
    const bool tooSmall = !notRsa && (bits + 7) / 8 < SmallestMd5BlockBytes;
    if (tooSmall) {
        out.add("key_too_small", "The modulus the library reads has " + number(bits) +
                                     " bits, too few to hold a PKCS #1 v1.5 MD5 signature (" +
                                     number(SmallestMd5BlockBytes) +
                                     " bytes): no signature is a valid one with "
                                     "this key, though verify checks it as the library does.");
    }
    return !notRsa && !tooSmall && key.exponent != 0;
}

// lookAtSignatureLength adds a finding for a signature shorter or longer
// than the modulus: signature_shorter and signature_longer for the sizes
// verify refuses, signature_wide for one that fills the blob's modulus
// field, which verify takes.
void lookAtSignatureLength(const ExplainRequest& request, Explanation& out) {
    const std::vector<uint8_t>& signature = request.signature;
    const auto [size, field] = signatureSizes(request.keyBlob);
    const std::string sizes =
        "The signature has " + number(signature.size()) + " bytes, the modulus " + number(size);
    if (signature.size() < size) {
        out.add("signature_shorter", sizes + ": it is cut short, or it was made with another key.");
    }
    if (signature.size() <= size) return;
    const bool zeros = std::all_of(signature.begin() + static_cast<ptrdiff_t>(size), signature.end(),
                                   [](uint8_t byte) { return byte == 0; });
    const bool taken = signature.size() <= field;
    const std::string fieldBytes = number(field) + " bytes of the key blob's modulus field";
    const std::string why = out.misread ? "; the key blob is misread (above)."
                            : zeros     ? "; the extra bytes are zero, so the value is the same."
                            : taken     ? "."
                                        : "; it was made with another key, or bytes were added to it.";
    if (taken) {
        out.add("signature_wide",
                sizes + ": verify takes it, as it fills no more than the " + fieldBytes + why);
    } else {
        out.add("signature_longer",
                sizes + ": verify refuses it, as it is wider than the " + fieldBytes + why);
    }
}

// The sentence on what a valid block signs, starting with `lead` ("It").
// `below` is false for a signature not below the modulus, whose block is
// that of its value modulo n: valid_modulo_n in place of valid.
void describeSigned(const SignedBlock& read, const std::string& lead, bool below, const ExplainRequest& request,
                    const FileDigests& file, Explanation& out) {
    const std::string subject = request.digest ? "the digest given" : "this file";
    const std::vector<uint8_t> md5(out.md5.begin(), out.md5.end());
    if (read.hash == HashKind::Md5) {
        if (read.digest == md5 && below) {
            out.add("valid", lead + " is a valid PKCS #1 v1.5 signature of " + subject + "'s MD5 digest.");
        } else if (read.digest == md5) {
            out.add("valid_modulo_n", lead + " is a valid PKCS #1 v1.5 signature of " + subject +
                                          "'s MD5 digest once taken modulo n; as it stands it is none (RFC 8017 "
                                          "refuses a value not below n).");
        } else {
            out.add("other_message", lead + " is a valid PKCS #1 v1.5 MD5 signature of another message: it signs " +
                                         hex(read.digest) + ", " + subject + "'s digest is " + hex(md5) + ".");
        }
        return;
    }
    const std::string name = hashName(read.hash);
    std::string whose;
    if (request.digest) {
        whose = "whether it signs the file cannot be told from an MD5 digest given with --digest";
    } else if (file.other.empty()) {
        whose = "this build cannot compute the file's " + name + " digest to tell whether it signs it";
    } else if (file.other == read.digest) {
        whose = "it signs this file's " + name + " digest";
    } else {
        whose = "it signs another message: " + name + " " + hex(read.digest) + ", this file's is " + hex(file.other);
    }
    out.add("other_hash", lead + " is a valid PKCS #1 v1.5 signature made with " + name + ", not MD5; " + whose +
                              ". The library checks MD5 signatures only: sign the MD5 digest ('zqcrypt sign', or "
                              "'openssl dgst -md5 -sign').");
}

void explain(const ExplainRequest& request, Explanation& out) {
    const bool haveKey = !request.keyBlob.empty();
    bool checkable = false;
    if (haveKey) {
        out.key = readLibraryKey(request.keyBlob);
        checkable = lookAtKey(out);
        lookAtSignatureLength(request, out);
    }

    RaisedSignature given, reversed;
    SignedBlock read, readReversed;
    if (checkable) {
        given = raiseSignature(out.key, request.signature);
        reversed = raiseSignature(out.key, std::vector<uint8_t>(request.signature.rbegin(), request.signature.rend()));
        if (!given.computed || !reversed.computed) fail("verify", "memory exhausted");
        read = readSignedBlock(given.block);
        readReversed = readSignedBlock(reversed.block);
    }
    // The file is read once: for its MD5 digest, and for its digest under
    // the function that a block names in place of MD5 (the block in the
    // order given first).
    std::optional<HashKind> other;
    for (const SignedBlock* shown : {&readReversed, &read}) {
        if (shown->pkcs1 && shown->hash != HashKind::Md5) other = shown->hash;
    }
    FileDigests file;
    if (request.digest) {
        file.md5 = *request.digest;
    } else {
        file = digestsOfFile(request.file, other);
    }
    out.md5 = file.md5;
    if (!haveKey) return;
    out.answer = libraryCheck(request.signature, request.keyBlob, out.md5);
    if (out.answer == LibraryAnswer::Match) out.pkcs1 = isPkcs1Signature(request.keyBlob, request.signature, out.md5);
    if (!checkable || out.answer == LibraryAnswer::CannotCheck) return;
    out.block = given.block;

    // Read in the wrong order, a signature is often above the modulus: the
    // order is then the mistake to tell.
    const bool otherOrder = !read.pkcs1 && out.answer != LibraryAnswer::Match && readReversed.pkcs1;
    if (!given.belowModulus && !otherOrder) {
        out.add("signature_not_below", "The signature's value is not below the modulus, which no RSA signer "
                                       "writes: the library takes it modulo n.");
    }
    if (read.pkcs1) {
        describeSigned(read, "It", given.belowModulus, request, file, out);
    } else if (out.answer == LibraryAnswer::Match) {
        std::string why = "But its block s^e mod n is no valid PKCS #1 v1.5 signature: " + read.flaw +
                          ". The library compares only the block's low 128 bits with the digest; ";
        if (out.key.exponent <= 3) {
            why += "with e = ";
            why += number(out.key.exponent) + " anyone can make such a signature: it is forged.";
        } else {
            why += "the key's owner signing with PKCS #1 v1.5 makes the whole block.";
        }
        out.add("not_pkcs1", why);
    } else if (otherOrder) {
        out.add("byte_order", std::string("The signature's bytes are in the other order: read ") +
                                  (request.bigEndian ? "least significant byte first (the library's order)"
                                                     : "most significant byte first (OpenSSL's order)") +
                                  ", its block is a PKCS #1 v1.5 signature. " +
                                  (request.bigEndian ? "Drop --byte-order big" : "Give --byte-order big") +
                                  ", or reverse the file; 'zqcrypt sign' writes the library's order.");
        describeSigned(readReversed, "Read so, it", reversed.belowModulus, request, file, out);
    } else {
        out.add("no_structure", std::string("Its block s^e mod n has no PKCS #1 v1.5 structure in either byte "
                                            "order: the signature was made with another key, or it is damaged") +
                                    (out.misread ? ", or the library reads another modulus than the key's (above)."
                                             : "."));
    }
}

const char* answerCode(LibraryAnswer answer) {
    switch (answer) {
        case LibraryAnswer::Match: return "match";
        case LibraryAnswer::NoMatch: return "no match";
        case LibraryAnswer::CannotCheck: break;
    }
    return "could not check";
}

// The sentence on the input verify refuses, as plain verify's message says it.
std::string refusalSentence(const RefusedInput& refused) {
    return "zqcrypt verify refuses " + refused.name + ": " + refused.why.reason + ".";
}

// noteRefusal makes sure that the input verify refuses has a finding of
// its code: the findings above name most refusals in their own words.
void noteRefusal(const ExplainRequest& request, Explanation& out) {
    if (!request.refused) return;
    const std::string& code = request.refused->why.code;
    const bool found = std::any_of(out.findings.begin(), out.findings.end(),
                                   [&](const Finding& finding) { return finding.code == code; });
    if (!found) out.add(code, refusalSentence(*request.refused));
}

// answerStatus is the exit status of verify, with `strict` of verify
// --strict: 2 for a refusal, else verifyStatus.
int answerStatus(const ExplainRequest& request, const Explanation& out, bool strict) {
    return request.refused ? ExitError : verifyStatus(out.answer, strict, out.pkcs1);
}

// The JSON's word for an answer of verify of exit status `status`.
const char* answerWord(const ExplainRequest& request, int status) {
    if (request.refused) return "refused";
    return status == ExitSuccess ? "ok" : status == ExitMismatch ? "failure" : "not checked";
}

// The first line: plain verify's answer, with the library's.
std::string verdictLine(const ExplainRequest& request, const Explanation& out, int status) {
    if (request.refused) return "Not checked: " + refusalSentence(*request.refused) + "\n";
    if (out.answer == LibraryAnswer::Match && status != ExitSuccess) {
        return "Accepted by the library, but not a valid PKCS #1 v1.5 signature.\n";
    }
    return out.answer == LibraryAnswer::Match     ? "Verified OK: the library accepts this signature.\n"
           : out.answer == LibraryAnswer::NoMatch ? "Verification failure: the library rejects this signature.\n"
                                                  : "Not checked: the library cannot check this signature.\n";
}

std::string asText(const ExplainRequest& request, const Explanation& out, int status) {
    std::string text = verdictLine(request, out, status);
    for (const Finding& finding : out.findings) text += finding.message + "\n";
    return text;
}

std::string asJson(const ExplainRequest& request, const Explanation& out) {
    // What verify answers first (and verify --strict, when asked), then
    // the library's answer and why.
    JsonWriter json;
    json.open('{').key("verify").value(answerWord(request, answerStatus(request, out, false)));
    if (request.strict) json.key("strict").value(answerWord(request, answerStatus(request, out, true)));
    if (request.refused) {
        json.key("refusal").open('{').key("code").value(request.refused->why.code);
        json.key("message").value(refusalSentence(*request.refused)).close();
    }
    json.key("library").value(answerCode(out.answer));
    if (!request.digest) json.key("file").value(request.file);
    json.key("md5").value(toHex(out.md5.data(), out.md5.size()));
    if (!request.keyBlob.empty()) {
        json.key("key").open('{').key("bitlen").value(out.key.bitlen).key("exponent").value(out.key.exponent);
        json.key("modulus_bits").value(modulusBits(out.key)).close();
    }
    if (!out.block.empty()) json.key("block").value(hex(out.block));
    json.key("findings").open('[');
    for (const Finding& finding : out.findings) {
        json.open('{').key("code").value(finding.code).key("message").value(finding.message).close();
    }
    json.close().close();
    return json.text() + "\n";
}

}  // namespace

int explainSignature(const ExplainRequest& request) {
    Explanation out;
    explain(request, out);
    noteRefusal(request, out);
    const int status = answerStatus(request, out, request.strict);
    writeStandardOutput(request.json ? asJson(request, out) : asText(request, out, status));
    return status;
}

}  // namespace zqcli
