// zqcrypt_demo: a small host of the library, using it as an application
// would. It takes a message (the first argument, or a fixed sentence), shows
// its MD5 digest and its Base64 text, decodes the text again, and checks an
// RSA signature over an MD5 digest with a key blob, both read from the
// library's test vectors (made by OpenSSL), once as signed and once with one
// digest byte changed.
//
// Usage: zqcrypt_demo [message] [rsa_md5_signatures.txt]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "signature_case.h"
#include "zqcrypt.h"

namespace {

CryptBlob blobOf(const void* bytes, size_t size) {
    CryptBlob scratch{}, blob{};
    zqCryptBlobInit(&scratch, static_cast<uint32_t>(size));
    if (size != 0) memcpy(scratch.data, bytes, size);
    zqCryptBlobCopy(&blob, &scratch);  // a copy of an empty blob still has data
    zqCryptBlobClear(&scratch);
    return blob;
}

void printHex(const char* label, const CryptBlob& blob) {
    printf("%-10s", label);
    for (uint32_t i = 0; i < blob.size; ++i) printf("%02x", blob.data[i]);
    printf("\n");
}

void checkSignature(const char* path) {
    SignatureCase c;
    if (!readSignatureCase(path, "[", c)) {
        printf("signature (no vector file at %s)\n", path);
        return;
    }
    const std::vector<uint8_t>& key = c.key;
    CryptBlob k = blobOf(key.data(), key.size()), s = blobOf(c.signature.data(), c.signature.size());
    const uint32_t bits = key[12] | key[13] << 8 | key[14] << 16 | static_cast<uint32_t>(key[15]) << 24;
    const uint32_t exponent = key[16] | key[17] << 8 | key[18] << 16 | static_cast<uint32_t>(key[19]) << 24;
    printf("key       RSA, %u bits, e = %u\n", bits, exponent);
    for (int tampered = 0; tampered < 2; ++tampered) {
        if (tampered) c.digest[0] ^= 1;
        CryptBlob d = blobOf(c.digest.data(), c.digest.size());
        uint32_t matches = 0;
        zqSetLastError(0);
        const uint32_t result = zqCryptVerifySignature(&s, &k, &d, 0, &matches);
        printHex(tampered ? "digest'" : "digest", d);
        printf("verify    result %u, matches %u, last error 0x%08x\n", result, matches, zqGetLastError());
        zqCryptBlobClear(&d);
    }
    zqCryptBlobClear(&k);
    zqCryptBlobClear(&s);
}

}  // namespace

int main(int argc, char** argv) {
    const char* message = argc > 1 ? argv[1] : "The quick brown fox jumps over the lazy dog";
    const char* vectors = argc > 2 ? argv[2] : ZQ_DEMO_VECTORS;

    CryptBlob input = blobOf(message, strlen(message)), digest{}, text{}, decoded{};
    printf("message   %u bytes: %s\n", input.size, message);

    zqCryptHashBuffer(&input, 0, &digest);
    printHex("md5", digest);

    zqCryptUUEncode(&input, 0, &text);
    printf("base64    %s\n          (%u bytes: the text, its line breaks and the zero tail)\n",
           reinterpret_cast<const char*>(text.data), text.size);

    zqCryptUUDecode(&text, 0, &decoded);
    const bool same = decoded.size == input.size && memcmp(decoded.data, input.data, input.size) == 0;
    printf("decoded   %u bytes, %s\n", decoded.size, same ? "the same as the message" : "DIFFERENT");

    checkSignature(vectors);

    for (CryptBlob* blob : {&input, &digest, &text, &decoded}) zqCryptBlobClear(blob);
    return same ? 0 : 1;
}
