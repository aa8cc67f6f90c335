/* load_dll: the MD5 digest of a message through zqcrypt.dll loaded at run
 * time, for Windows hosts that do not link it. Usage: load_dll "a message" */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "zqcrypt.h"

int main(int argc, char** argv) {
    const char* message = argc > 1 ? argv[1] : "Hello, zqcrypt";
    const uint32_t length = (uint32_t)strlen(message);
    HMODULE dll = LoadLibraryA("zqcrypt.dll");
    if (dll == NULL) return 2;

    /* By name: decorated in the 32-bit DLL, plain in the 64-bit one (or by
     * ordinal, the same in both: MAKEINTRESOURCEA(3) for zqCryptBlobInit).
     * The cast through void (*)(void) says the real type is known. */
    zqCryptBlobInitFn blobInit =
        (zqCryptBlobInitFn)(void (*)(void))GetProcAddress(dll, ZQ_PROC_NAME(zqCryptBlobInit, 8));
    zqCryptBlobClearFn blobClear =
        (zqCryptBlobClearFn)(void (*)(void))GetProcAddress(dll, ZQ_PROC_NAME(zqCryptBlobClear, 4));
    zqCryptHashBufferFn hashBuffer =
        (zqCryptHashBufferFn)(void (*)(void))GetProcAddress(dll, ZQ_PROC_NAME(zqCryptHashBuffer, 12));
    int ok = blobInit != NULL && blobClear != NULL && hashBuffer != NULL;

    CryptBlob input = {0, 0, NULL}, digest = {0, 0, NULL};
    ok = ok && length != 0 && blobInit(&input, length) != 0;
    if (ok) memcpy(input.data, message, length);
    ok = ok && hashBuffer(&input, 0, &digest);
    if (ok) {
        printf("md5    ");
        for (uint32_t i = 0; i < digest.size; ++i) printf("%02x", digest.data[i]);
        printf("\n");
    }
    if (blobClear != NULL) {
        blobClear(&input);
        blobClear(&digest);
    }
    FreeLibrary(dll);
    return ok ? 0 : 1;
}
