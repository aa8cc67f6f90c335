/* empty_input: the two empty records, and which exports take them. */
#include <stdio.h>

#include "zqcrypt.h"

int main(void) {
    CryptBlob fresh = {0, 0, NULL}, copy = {0, 0, NULL};
    CryptBlob digest = {0, 0, NULL}, text = {0, 0, NULL};

    /* zqCryptBlobInit with size 0 leaves data null: not hashable. */
    zqCryptBlobInit(&fresh, 0);
    uint32_t result = zqCryptHashBuffer(&fresh, 0, &digest);
    printf("fresh record:  result %u, last error %u\n", result, zqGetLastError());

    /* A copy of it holds a zero-length block: the empty message. */
    zqCryptBlobCopy(&copy, &fresh);
    result = zqCryptHashBuffer(&copy, 0, &digest);
    printf("copied record: result %u, md5 ", result);
    for (uint32_t i = 0; i < digest.size; ++i) printf("%02x", digest.data[i]);

    /* The encoder takes either: the text of no bytes is 4 zero bytes. */
    result = zqCryptUUEncode(&fresh, 0, &text);
    printf("\nempty text:    result %u, size %u, \"%s\"\n", result, text.size, (const char*)text.data);

    zqCryptBlobClear(&copy);
    zqCryptBlobClear(&digest);
    zqCryptBlobClear(&text);
    return 0;
}
