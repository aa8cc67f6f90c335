/*
 * File: msvc_host.c
 *
 * The consumer host as an MSVC project builds it: compiled by clang-cl for
 * the MSVC ABI, as C and as C++, and linked by lld-link against the installed
 * zqcrypt.lib. It needs neither a C runtime nor a Windows SDK: its entry point
 * is its own, and the four kernel32 functions it calls, declared here, come
 * through kernel32.lib, made from kernel32.def beside this file. It takes the
 * consumer's arguments and makes its checks: an MD5 digest of a copy of the
 * message, a Base64 round trip of the key blob, and a signature check that
 * must match and must stop matching when one digest bit changes:
 *
 *   msvc_host <message hex> <its MD5 hex> <PUBLICKEYBLOB hex> <digest hex> <signature hex>
 *
 * Prints one line per failed check and exits with 0 when none failed.
 */
#include "zqcrypt.h"

#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllimport) void* __stdcall GetStdHandle(uint32_t which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* bytes, uint32_t count,
                                              uint32_t* written, void* overlapped);
__declspec(dllimport) const char* __stdcall GetCommandLineA(void);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(uint32_t code);

void hostEntry(void);

#ifdef __cplusplus
}
#endif

#define STD_OUTPUT_HANDLE ((uint32_t)-11)
#define ARGUMENT_COUNT 5

/* A word of the command line: `length` characters at `text`. */
typedef struct Word {
    const char* text;
    uint32_t length;
} Word;

static int failures = 0;

static void say(const char* text) {
    uint32_t length = 0, written = 0;
    while (text[length] != '\0') {
        ++length;
    }
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, length, &written, 0);
}

static void check(int holds, const char* what) {
    if (!holds) {
        say("FAILED: ");
        say(what);
        say("\r\n");
        ++failures;
    }
}

/* The words after the program's name, which alone may be quoted. Returns
 * their number, at most `most`. */
static int splitCommandLine(const char* line, Word* words, int most) {
    int count = 0;
    if (*line == '"') {
        for (++line; *line != '\0' && *line != '"'; ++line) {
        }
        line += *line == '"';
    }
    for (; *line != '\0' && *line != ' ' && *line != '\t'; ++line) {
    }
    while (count < most) {
        for (; *line == ' ' || *line == '\t'; ++line) {
        }
        if (*line == '\0') {
            break;
        }
        words[count].text = line;
        for (; *line != '\0' && *line != ' ' && *line != '\t'; ++line) {
        }
        words[count].length = (uint32_t)(line - words[count].text);
        ++count;
    }
    return count;
}

static int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

static void emptyBlob(CryptBlob* blob) {
    blob->size = 0;
    blob->tag = 0;
    blob->data = 0;
}

/* Makes `blob` a library blob holding the bytes written in `word`. */
static int blobFromHex(Word word, CryptBlob* blob) {
    uint32_t count = word.length / 2, i;
    emptyBlob(blob);
    if (word.length % 2 != 0 || (zqCryptBlobInit(blob, count) == 0 && count != 0)) {
        return 0;
    }
    for (i = 0; i < count; ++i) {
        int high = hexDigit(word.text[2 * i]), low = hexDigit(word.text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return 0;
        }
        blob->data[i] = (uint8_t)(high * 16 + low);
    }
    return 1;
}

static int sameBytes(const CryptBlob* a, const CryptBlob* b) {
    uint32_t i;
    if (a->size != b->size) {
        return 0;
    }
    for (i = 0; i < a->size; ++i) {
        if (a->data[i] != b->data[i]) {
            return 0;
        }
    }
    return 1;
}

void hostEntry(void) {
    Word words[ARGUMENT_COUNT];
    CryptBlob message, copy, digest, expected, key, signed_digest, signature, text, decoded;
    uint32_t matches = 2;

    emptyBlob(&copy), emptyBlob(&digest), emptyBlob(&text), emptyBlob(&decoded);
    if (splitCommandLine(GetCommandLineA(), words, ARGUMENT_COUNT) != ARGUMENT_COUNT ||
        !blobFromHex(words[0], &message) || !blobFromHex(words[1], &expected) ||
        !blobFromHex(words[2], &key) || !blobFromHex(words[3], &signed_digest) ||
        !blobFromHex(words[4], &signature) || signed_digest.size == 0) {
        say("usage: msvc_host <message> <md5> <key> <digest> <signature> (hex)\r\n");
        ExitProcess(2);
    }

    check(zqCryptBlobCopy(&copy, &message) == 1 && sameBytes(&copy, &message), "blob copy");
    check(zqCryptHashBuffer(&copy, 0, &digest) == 1 && sameBytes(&digest, &expected), "MD5 digest");

    check(zqCryptUUEncode(&key, 0, &text) == 1 && text.size >= (key.size + 2) / 3 * 4, "Base64 text");
    check(zqCryptUUDecode(&text, 0, &decoded) == 1 && sameBytes(&decoded, &key), "Base64 round trip");

    check(zqCryptVerifySignature(&signature, &key, &signed_digest, 0, &matches) == 1 && matches == 1,
          "signature matches");
    signed_digest.data[0] ^= 1;
    check(zqCryptVerifySignature(&signature, &key, &signed_digest, 0, &matches) == 1 && matches == 0,
          "changed digest does not match");

    zqCryptBlobClear(&message), zqCryptBlobClear(&copy), zqCryptBlobClear(&digest);
    zqCryptBlobClear(&expected), zqCryptBlobClear(&key), zqCryptBlobClear(&signed_digest);
    zqCryptBlobClear(&signature), zqCryptBlobClear(&text), zqCryptBlobClear(&decoded);
    check(text.size == 0 && text.data == 0, "blob cleared");
    say(failures == 0 ? "ok\r\n" : "failed\r\n");
    ExitProcess(failures == 0 ? 0 : 1);
}
