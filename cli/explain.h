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

namespace zqcli {

struct ExplainRequest {
    std::vector<uint8_t> keyBlob;    // the key as the library takes it (at least 20 bytes)
    std::vector<uint8_t> signature;  // least significant byte first, as the library is given it
    bool bigEndian = false;          // the file was read most significant byte first
    std::string file;                // the file whose MD5 digest is checked, unless `digest`
    std::optional<Md5Digest> digest;
    bool json = false;
    bool strict = false;  // a block that is no valid signature does not match
};

// explainSignature prints the explanation and returns the exit status: 0
// when the library accepts the signature, 1 when it does not (or, with
// `strict`, when the block is no valid PKCS #1 v1.5 signature), 2 when it
// cannot check it.
int explainSignature(const ExplainRequest& request);

}  // namespace zqcli
