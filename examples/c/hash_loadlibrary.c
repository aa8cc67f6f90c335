/* The shortest correct host of zqcrypt.dll that loads it at run time with
 * LoadLibrary and GetProcAddress: prints the MD5 digest of its first argument
 * in hex. The 32-bit DLL's functions are stdcall and exported under decorated
 * names, "_", the name, "@" and the bytes of their arguments; the 64-bit DLL's
 * under their plain names. ZQ_PROC_NAME gives the one for the target.
 *
 * Usage: hash_loadlibrary.exe "message" */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "zqcrypt.h" /* the record, the function types and ZQ_PROC_NAME */

/* GetProcAddress gives a generic function pointer; the cast through
 * void (*)(void) says that its real type is known. */
#define FIND(dll, type, name) ((type)(void (*)(void))GetProcAddress(dll, name))

int main(int argc, char** argv) {
    const char* message = argc > 1 ? argv[1] : "";
    size_t length = strlen(message);
    CryptBlob input = {0}, digest = {0};
    int status = 1;

    HMODULE dll = LoadLibraryA("zqcrypt.dll");
    if (dll == NULL) {
        fprintf(stderr, "cannot load zqcrypt.dll\n");
        return 1;
    }
    zqCryptBlobInitFn blobInit = FIND(dll, zqCryptBlobInitFn, ZQ_PROC_NAME(zqCryptBlobInit, 8));
    zqCryptBlobClearFn blobClear = FIND(dll, zqCryptBlobClearFn, ZQ_PROC_NAME(zqCryptBlobClear, 4));
    zqCryptHashBufferFn hashBuffer =
        FIND(dll, zqCryptHashBufferFn, ZQ_PROC_NAME(zqCryptHashBuffer, 12));
    if (blobInit != NULL && blobClear != NULL && hashBuffer != NULL) {
        if (blobInit(&input, (uint32_t)length) != 0) {
            memcpy(input.data, message, length);
            if (hashBuffer(&input, 0, &digest) == 1) {
                for (uint32_t i = 0; i < digest.size; ++i) printf("%02x", digest.data[i]);
                printf("\n");
                status = 0;
            }
        }
        blobClear(&digest);
        blobClear(&input);
    }
    /* The records are cleared before the library goes away with its heap. */
    FreeLibrary(dll);
    if (status != 0) fprintf(stderr, "zqcrypt: no digest\n");
    return status;
}
