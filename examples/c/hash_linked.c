/* The shortest correct host of zqcrypt in C, linked with the library
 * (libzqcrypt.so, or zqcrypt.dll through its import library): prints the MD5
 * digest of its first argument in hex.
 *
 * Usage: hash_linked "message" */
#include <stdio.h>
#include <string.h>

#include "zqcrypt.h"

int main(int argc, char** argv) {
    const char* message = argc > 1 ? argv[1] : "";
    size_t length = strlen(message);
    CryptBlob input = {0}, digest = {0}; /* zero-filled records are empty blobs */
    int status = 1;

    /* A blob's bytes always come from the library's heap. An empty message
     * gets no bytes and is refused by the hash, which needs data. */
    if (zqCryptBlobInit(&input, (uint32_t)length) != 0) {
        memcpy(input.data, message, length);
        if (zqCryptHashBuffer(&input, 0, &digest) == 1) {
            for (uint32_t i = 0; i < digest.size; ++i) printf("%02x", digest.data[i]);
            printf("\n");
            status = 0;
        }
    }
    /* Clearing releases the bytes of every record the library filled. */
    zqCryptBlobClear(&digest);
    zqCryptBlobClear(&input);
    if (status != 0) fprintf(stderr, "zqcrypt: no digest\n");
    return status;
}
