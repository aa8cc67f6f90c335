/* verify_file: checks an RSA signature over the MD5 digest of a file.
 * Usage: verify_file key.blob signature.bin file
 * Exit status: 0 good signature, 1 no match, 2 not checked. */
#include <stdio.h>

#include "zqcrypt.h"

/* readFile: the bytes of a file into `blob`, 1 on success. The bytes go into
 * a scratch record first and `blob` becomes its copy, which holds a block
 * even for an empty file (see "An empty input"). */
static int readFile(const char* path, CryptBlob* blob) {
    CryptBlob bytes = {0, 0, NULL};
    FILE* file = fopen(path, "rb");
    long size = -1;
    if (file != NULL && fseek(file, 0, SEEK_END) == 0) size = ftell(file);
    int ok = size >= 0 && (unsigned long)size <= 0xFFFFFFFFu && fseek(file, 0, SEEK_SET) == 0;
    if (ok && size > 0) {
        ok = zqCryptBlobInit(&bytes, (uint32_t)size) != 0 &&
             fread(bytes.data, 1, bytes.size, file) == bytes.size;
    }
    ok = ok && zqCryptBlobCopy(blob, &bytes);
    zqCryptBlobClear(&bytes);
    if (file != NULL) fclose(file);
    return ok;
}

int main(int argc, char** argv) {
    CryptBlob key = {0, 0, NULL}, signature = {0, 0, NULL};
    CryptBlob message = {0, 0, NULL}, digest = {0, 0, NULL};
    uint32_t result = 0, matches = 0;
    if (argc == 4 && readFile(argv[1], &key) && readFile(argv[2], &signature) &&
        readFile(argv[3], &message) && zqCryptHashBuffer(&message, 0, &digest)) {
        result = zqCryptVerifySignature(&signature, &key, &digest, 0, &matches);
    }
    /* Result and flag together: 1 and 1 is a match, result 0 is no answer. */
    puts(result == 0 ? "not checked" : matches == 1 ? "good signature" : "no match");

    zqCryptBlobClear(&key);
    zqCryptBlobClear(&signature);
    zqCryptBlobClear(&message);
    zqCryptBlobClear(&digest);
    return result == 0 ? 2 : matches == 1 ? 0 : 1;
}
