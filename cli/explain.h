// File: explain.h
//
// zqcrypt verify --explain: the library's answer on a signature, and why.
// The signature is raised to the key's exponent as the library does it,
// and the block s^e mod n read as a PKCS #1 v1.5 signature in both byte
// orders; the key blob and the signature are looked over for what the
// library takes differently from what their maker meant. The findings are
// printed one a line, or as one JSON object.
#pragma once

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "file_digest.h"
#include "verify_verdict.h"

namespace zqcli {

// RefusedInput: the key or signature file that verify refuses, named as
// a message names it, and why.
struct RefusedInput {
    std::string name;
    Refusal why;
};

// ExplainRequest: what verify was given, read as both plain verify and
// --explain take it.
struct ExplainRequest {
    std::vector<uint8_t> keyBlob;    // the key as the library takes it; empty when the file holds no key
    std::vector<uint8_t> signature;  // least significant byte first, as read
    bool bigEndian = false;          // the file was read most significant byte first
    std::optional<RefusedInput> refused;  // the first input verify refuses, if any
    std::string file;                // the file whose MD5 digest is checked, unless `digest`
    std::optional<Md5Digest> digest;
    bool json = false;
    bool strict = false;  // a signature that is no valid PKCS #1 v1.5 signature does not match
};

// explainSignature prints the explanation, a finding for the input that
// verify refuses among the others, and returns plain verify's exit status:
// 2 for a refusal, else verifyStatus.
int explainSignature(const ExplainRequest& request);

}  // namespace zqcli
