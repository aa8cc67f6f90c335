/*
 * File: consumer.c
 *
 * A host written as zqcrypt's users write one, built outside the source tree
 * against an installed copy: through the CMake package, through pkg-config,
 * statically, through either Windows import library, or, with
 * ZQ_LOAD_LIBRARY, with LoadLibrary and GetProcAddress alone. The same file
 * also builds as C++. It checks the version macros against ZQ_EXPECTED_VERSION,
 * then an MD5 digest, a Base64 round trip, and a signature check that must
 * match and must stop matching when one digest bit changes:
 *
 *   consumer <message hex> <its MD5 hex> <PUBLICKEYBLOB hex> <digest hex> <signature hex>
 *
 * Prints one line per failed check and exits 0 when none failed.
 */
#include <stdio.h>
#include <string.h>

#include "zqcrypt.h"

#ifdef ZQ_LOAD_LIBRARY
#include <windows.h>
#endif

typedef struct Api {
    zqCryptBlobInitFn blobInit;
    zqCryptBlobClearFn blobClear;
    zqCryptBlobCopyFn blobCopy;
    zqCryptHashBufferFn hashBuffer;
    zqCryptVerifySignatureFn verifySignature;
    zqCryptUUEncodeFn uuEncode;
    zqCryptUUDecodeFn uuDecode;
} Api;

static int failures = 0;

static void check(int holds, const char* what) {
    if (!holds) {
        printf("FAILED: %s\n", what);
        ++failures;
    }
}

/* Fills the table by linking, or from zqcrypt.dll by the name ZQ_PROC_NAME
 * gives for this target. */
static int loadApi(Api* api) {
#ifdef ZQ_LOAD_LIBRARY
    struct {
        const char* name;
        void* slot;
    } entries[7];
    HMODULE dll = LoadLibraryA("zqcrypt.dll");
    unsigned i;
    entries[0].name = ZQ_PROC_NAME(zqCryptBlobInit, 8), entries[0].slot = &api->blobInit;
    entries[1].name = ZQ_PROC_NAME(zqCryptBlobClear, 4), entries[1].slot = &api->blobClear;
    entries[2].name = ZQ_PROC_NAME(zqCryptBlobCopy, 8), entries[2].slot = &api->blobCopy;
    entries[3].name = ZQ_PROC_NAME(zqCryptHashBuffer, 12), entries[3].slot = &api->hashBuffer;
    entries[4].name = ZQ_PROC_NAME(zqCryptVerifySignature, 20), entries[4].slot = &api->verifySignature;
    entries[5].name = ZQ_PROC_NAME(zqCryptUUEncode, 12), entries[5].slot = &api->uuEncode;
    entries[6].name = ZQ_PROC_NAME(zqCryptUUDecode, 12), entries[6].slot = &api->uuDecode;
    if (dll == NULL) {
        return 0;
    }
    for (i = 0; i < 7; ++i) {
        FARPROC function = GetProcAddress(dll, entries[i].name);
        if (function == NULL) {
            printf("zqcrypt.dll lacks %s\n", entries[i].name);
            return 0;
        }
        memcpy(entries[i].slot, &function, sizeof function);
    }
#else
    api->blobInit = zqCryptBlobInit;
    api->blobClear = zqCryptBlobClear;
    api->blobCopy = zqCryptBlobCopy;
    api->hashBuffer = zqCryptHashBuffer;
    api->verifySignature = zqCryptVerifySignature;
    api->uuEncode = zqCryptUUEncode;
    api->uuDecode = zqCryptUUDecode;
#endif
    return 1;
}

static int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/* Makes `blob` a library blob holding the bytes written in `hex`. */
static int blobFromHex(const Api* api, const char* hex, CryptBlob* blob) {
    size_t count = strlen(hex) / 2, i;
    memset(blob, 0, sizeof *blob);
    if (strlen(hex) % 2 != 0 || (api->blobInit(blob, (uint32_t)count) == 0 && count != 0)) {
        return 0;
    }
    for (i = 0; i < count; ++i) {
        int high = hexDigit(hex[2 * i]), low = hexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0) {
            return 0;
        }
        blob->data[i] = (uint8_t)(high * 16 + low);
    }
    return 1;
}

static int sameBytes(const CryptBlob* a, const CryptBlob* b) {
    return a->size == b->size && (a->size == 0 || memcmp(a->data, b->data, a->size) == 0);
}

int main(int argc, char** argv) {
    Api api;
    CryptBlob message, copy, digest, expected, key, signed_digest, signature, text, decoded;
    uint32_t matches = 2;
    char version[32];

    if (argc != 6 || !loadApi(&api)) {
        printf("usage: consumer <message> <md5> <key> <digest> <signature> (hex), next to zqcrypt\n");
        return 2;
    }
    snprintf(version, sizeof version, "%d.%d.%d", ZQCRYPT_VERSION_MAJOR, ZQCRYPT_VERSION_MINOR, ZQCRYPT_VERSION_PATCH);
    check(strcmp(version, ZQCRYPT_VERSION_STRING) == 0, "version macros agree");
    check(strcmp(ZQCRYPT_VERSION_STRING, ZQ_EXPECTED_VERSION) == 0, "header has the package version");

    memset(&copy, 0, sizeof copy);
    memset(&digest, 0, sizeof digest);
    memset(&text, 0, sizeof text);
    memset(&decoded, 0, sizeof decoded);
    if (!blobFromHex(&api, argv[1], &message) || !blobFromHex(&api, argv[2], &expected) ||
        !blobFromHex(&api, argv[3], &key) || !blobFromHex(&api, argv[4], &signed_digest) ||
        !blobFromHex(&api, argv[5], &signature) || signed_digest.size == 0) {
        printf("arguments are not hex\n");
        return 2;
    }

    /* MD5 of a copy of the message. */
    check(api.blobCopy(&copy, &message) == 1 && sameBytes(&copy, &message), "blob copy");
    check(api.hashBuffer(&copy, 0, &digest) == 1 && sameBytes(&digest, &expected), "MD5 digest");

    /* Base64 of the key blob and back. */
    check(api.uuEncode(&key, 0, &text) == 1 && text.size >= (key.size + 2) / 3 * 4, "Base64 text");
    check(api.uuDecode(&text, 0, &decoded) == 1 && sameBytes(&decoded, &key), "Base64 round trip");

    /* The signature matches its digest, and no longer with one bit changed. */
    check(api.verifySignature(&signature, &key, &signed_digest, 0, &matches) == 1 && matches == 1,
          "signature matches");
    signed_digest.data[0] ^= 1;
    check(api.verifySignature(&signature, &key, &signed_digest, 0, &matches) == 1 && matches == 0,
          "changed digest does not match");

    api.blobClear(&message), api.blobClear(&copy), api.blobClear(&digest), api.blobClear(&expected);
    api.blobClear(&key), api.blobClear(&signed_digest), api.blobClear(&signature);
    api.blobClear(&text), api.blobClear(&decoded);
    check(text.size == 0 && text.data == NULL, "blob cleared");
    printf("%s: %s\n", failures == 0 ? "ok" : "failed", ZQCRYPT_VERSION_STRING);
    return failures == 0 ? 0 : 1;
}
