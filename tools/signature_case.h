// File: signature_case.h
//
// Reads one signature case from the key-blob vector file of tests/vectors
// (rsa_md5_signatures.txt): the key blob, the MD5 digest and the signature
// (least significant byte first) of the first case in a section whose
// heading starts with a given text. Plain C++, so that the programs beside
// the library can use it on every target, the Windows host included.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

struct SignatureCase {
    std::vector<uint8_t> key;
    std::vector<uint8_t> digest;
    std::vector<uint8_t> signature;
};

inline std::vector<uint8_t> hexBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    }
    return bytes;
}

// readSignatureCase fills `c` from the first case under a heading that
// starts with `heading` ("[2048 bits, e = 65537"; "[" takes the first case of
// the file) and says whether one was found.
inline bool readSignatureCase(const char* path, const std::string& heading, SignatureCase& c) {
    FILE* file = fopen(path, "r");
    if (file == nullptr) return false;
    c = SignatureCase{};
    bool inSection = false;
    char line[8192];
    while (fgets(line, sizeof line, file) != nullptr && c.signature.empty()) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (text.rfind("[", 0) == 0) inSection = text.rfind(heading, 0) == 0;
        if (!inSection) continue;
        if (text.rfind("Key = ", 0) == 0) c.key = hexBytes(text.substr(6));
        if (text.rfind("Digest = ", 0) == 0) c.digest = hexBytes(text.substr(9));
        if (text.rfind("Signature = ", 0) == 0) c.signature = hexBytes(text.substr(12));
    }
    fclose(file);
    return !c.signature.empty();
}
