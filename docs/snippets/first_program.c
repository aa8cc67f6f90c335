/* first_program: the MD5 digest and the Base64 text of a message, and the
 * text decoded back. Usage: first_program "a message" */
#include <stdio.h>
#include <string.h>

#include "zqcrypt.h"

int main(int argc, char** argv) {
    const char* message = argc > 1 ? argv[1] : "Hello, zqcrypt";
    const uint32_t length = (uint32_t)strlen(message);

    /* Records are ours; the bytes at `data` are the library's. A zero-filled
     * record is the empty blob. */
    CryptBlob input = {0, 0, NULL}, digest = {0, 0, NULL};
    CryptBlob text = {0, 0, NULL}, decoded = {0, 0, NULL};

    /* Fill the input: the library allocates, we copy our bytes in. (For a
     * message that may be empty, see "An empty input".) */
    int ok = length != 0 && zqCryptBlobInit(&input, length) != 0;
    if (ok) memcpy(input.data, message, length);

    /* Each call fills its output record anew and returns 1 on success. */
    ok = ok && zqCryptHashBuffer(&input, 0, &digest) && zqCryptUUEncode(&input, 0, &text) &&
         zqCryptUUDecode(&text, 0, &decoded);

    if (ok) {
        printf("md5    ");
        for (uint32_t i = 0; i < digest.size; ++i) printf("%02x", digest.data[i]);
        /* text.size counts the 4 to 6 zero bytes behind the text: the text
         * itself is a C string, strlen((char*)text.data) characters. */
        printf("\nbase64 %s\n", (const char*)text.data);
        printf("back   %.*s\n", (int)decoded.size, (const char*)decoded.data);
    }

    /* Clearing a record releases its bytes; clearing an empty one is fine. */
    zqCryptBlobClear(&input);
    zqCryptBlobClear(&digest);
    zqCryptBlobClear(&text);
    zqCryptBlobClear(&decoded);
    return ok ? 0 : 1;
}
