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

#include "signature_case.h"
#include "zqcrypt.h"

namespace {

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
    const std::string wanted = std::string("[") + argv[2] + " bits, e = " + argv[3];
    SignatureCase c;
    if (!readSignatureCase(argv[1], wanted, c)) {
        fprintf(stderr, "no case for %s\n", wanted.c_str());
        return 2;
    }
    CryptBlob s = blobOf(c.signature), k = blobOf(c.key), d = blobOf(c.digest);
    uint32_t matches = 0;
    const uint32_t result = zqCryptVerifySignature(&s, &k, &d, 0, &matches);
    printf("result %u, matches %u\n", result, matches);
    for (CryptBlob* blob : {&s, &k, &d}) zqCryptBlobClear(blob);
    return result == 1 && matches == 1 ? 0 : 1;
}
