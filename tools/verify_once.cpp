// verify_once: one zqCryptVerifySignature call on a key and signature from a
// vector file, for profiling (valgrind --tool=callgrind
// --toggle-collect=zqCryptVerifySignature). Picks the first case whose
// section names the given bit length and exponent.
//
// Usage: verify_once <rsa_md5_signatures.txt> <bits> <exponent>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "zqcrypt.h"

namespace {

std::vector<uint8_t> hex(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    }
    return bytes;
}

CryptBlob blobOf(const std::vector<uint8_t>& bytes) {
    CryptBlob blob{};
    zqCryptBlobInit(&blob, static_cast<uint32_t>(bytes.size()));
    if (!bytes.empty()) memcpy(blob.data, bytes.data(), bytes.size());
    return blob;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s <vector file> <bits> <exponent>\n", argv[0]);
        return 2;
    }
    FILE* file = fopen(argv[1], "r");
    if (file == nullptr) return 2;
    const std::string wanted = std::string("[") + argv[2] + " bits, e = " + argv[3];
    std::vector<uint8_t> key, digest, signature;
    bool inSection = false;
    char line[8192];
    while (fgets(line, sizeof line, file) != nullptr && signature.empty()) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (text.rfind("[", 0) == 0) inSection = text.rfind(wanted, 0) == 0;
        if (!inSection) continue;
        if (text.rfind("Key = ", 0) == 0) key = hex(text.substr(6));
        if (text.rfind("Digest = ", 0) == 0) digest = hex(text.substr(9));
        if (text.rfind("Signature = ", 0) == 0) signature = hex(text.substr(12));
    }
    fclose(file);
    if (signature.empty()) {
        fprintf(stderr, "no case for %s\n", wanted.c_str());
        return 2;
    }
    CryptBlob s = blobOf(signature), k = blobOf(key), d = blobOf(digest);
    uint32_t matches = 0;
    const uint32_t result = zqCryptVerifySignature(&s, &k, &d, 0, &matches);
    printf("result %u, matches %u\n", result, matches);
    for (CryptBlob* blob : {&s, &k, &d}) zqCryptBlobClear(blob);
    return result == 1 && matches == 1 ? 0 : 1;
}
