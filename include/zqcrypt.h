/*
 * File: zqcrypt.h
 *
 * The public interface of zqcrypt: the MD5 digest of a buffer, an RSA signature
 * check over such a digest with a public key that the host supplies, and Base64
 * conversion of bytes to text and back.
 *
 * All data crosses the interface in CryptBlob records. A record belongs to the
 * host; the bytes at its `data` belong to the library's private heap. Every call
 * that fills or empties a record first releases the bytes it held, so a host
 * never frees `data` itself and never stores a pointer of its own there.
 *
 * On 32-bit Windows every function is __stdcall and exported from zqcrypt.dll
 * under its decorated name (_zqCryptBlobClear@4, ...) and its ordinal 1 to 7.
 * The 64-bit zqcrypt.dll (x86-64, one calling convention) exports the plain
 * names (zqCryptBlobClear, ...) at the same ordinals. Elsewhere the functions
 * use the platform's C convention, and the per-thread last-error value is read
 * and written with zqGetLastError and zqSetLastError.
 *
 * Results are 1 for success and 0 for failure, except zqCryptBlobInit. A reason
 * is stored in the thread's last error in two places only: 13 for a hash input
 * without data, 0x80090006 for a signature that does not match.
 *
 * The library's heap is made when it is loaded: zqcrypt.dll refuses to load
 * (LoadLibrary fails) when the heap cannot be created.
 */
#ifndef ZQCRYPT_H
#define ZQCRYPT_H

#include <stddef.h>
#include <stdint.h>

/* ZQCRYPT_VERSION_MAJOR, _MINOR, _PATCH and ZQCRYPT_VERSION_STRING. */
#include "zqcrypt_version.h"

#if defined(_WIN32)
#define ZQ_CALL __stdcall
#define ZQ_EXPORT
#else
#define ZQ_CALL
#define ZQ_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define ZQ_NOEXCEPT noexcept
extern "C" {
#else
#define ZQ_NOEXCEPT
#endif

/* CryptBlob: `size` bytes at `data`, and an opaque `tag` word that the library
 * zeroes when it makes or empties a record and carries over when it copies one.
 * A zero-filled record is the empty blob. 12 bytes on 32-bit targets. */
typedef struct CryptBlob {
    uint32_t size;
    uint32_t tag;
    uint8_t* data;
} CryptBlob;

/* The layout is checked wherever the header is compiled for 32 or 64 bits. C
 * before C11 (MSVC's C mode without /std:c11) has no _Static_assert: there
 * an array type whose size would be negative fails the compile instead. The
 * 64-bit targets are known by their compilers' own macros, since there
 * UINTPTR_MAX may be a long long constant, which C before C99 lacks. On
 * 64-bit targets the record is the two words, then the 8-byte pointer at
 * offset 8. */
#if defined(_WIN64) || defined(__LP64__)
#ifdef __cplusplus
static_assert(sizeof(CryptBlob) == 16 && offsetof(CryptBlob, data) == 8,
              "CryptBlob is two 32-bit words and a pointer");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(CryptBlob) == 16 && offsetof(CryptBlob, data) == 8,
               "CryptBlob is two 32-bit words and a pointer");
#else
typedef char
    zqCryptBlobIsTwoWordsAndAPointer[sizeof(CryptBlob) == 16 && offsetof(CryptBlob, data) == 8 ? 1 : -1];
#endif
#elif UINTPTR_MAX == 0xFFFFFFFFu
#ifdef __cplusplus
static_assert(sizeof(CryptBlob) == 12, "CryptBlob is three 32-bit words");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(CryptBlob) == 12, "CryptBlob is three 32-bit words");
#else
typedef char zqCryptBlobIsThreeWords[sizeof(CryptBlob) == 12 ? 1 : -1];
#endif
#endif

/* ---- Last-error values ---------------------------------------------------
 * The two reasons the library stores in the thread's last error. They are
 * unsigned, like zqGetLastError's result and GetLastError's, so a host
 * compares them without sign warnings in C and C++:
 *   if (zqGetLastError() == ZQ_NTE_BAD_SIGNATURE) ...
 * They are macros so that they also serve as case labels in C. */
#define ZQ_ERROR_INVALID_DATA 13u        /* zqCryptHashBuffer: input without data */
#define ZQ_NTE_BAD_SIGNATURE 0x80090006u /* zqCryptVerifySignature: no match */

/* ---- An empty input ------------------------------------------------------
 * A record can be empty in two ways, and zqCryptHashBuffer tells them apart:
 *   - zqCryptBlobInit(&b, 0), or a zero-filled record: size 0, data null.
 *     zqCryptHashBuffer refuses it (result 0, last error 13); the other
 *     exports take it as zero bytes (zqCryptUUEncode gives a text of four
 *     zero bytes).
 *   - zqCryptBlobCopy of such a record: size 0, data a zero-length block.
 *     Every export takes it as zero bytes; zqCryptHashBuffer gives the MD5
 *     digest of the empty message.
 * To hash bytes that may number 0, fill a record with zqCryptBlobInit, then
 * zqCryptBlobCopy it into the record you hash. */

/* ---- Blob records ------------------------------------------------------- */

/* zqCryptBlobInit: makes `blob` a fresh record of `size` uninitialised bytes,
 * tag 0. Whatever the record held is overwritten, not released: use it on new
 * records. Returns the address of the new bytes, which is 0 when `size` is 0
 * (the record is then the empty blob) or when the heap could not supply the
 * bytes (the record then keeps `size` with a null `data`). The address is an
 * unsigned integer (uintptr_t), not a pointer: compare it with 0, as in
 * `zqCryptBlobInit(&b, n) != 0`. In C, `!= NULL` compares an integer with a
 * pointer, which compilers warn about (MSVC's C4047, an error under /W4 /WX). */
ZQ_EXPORT uintptr_t ZQ_CALL zqCryptBlobInit(CryptBlob* blob, uint32_t size) ZQ_NOEXCEPT;

/* zqCryptBlobClear: releases the bytes of `blob` and leaves it empty (size 0,
 * tag 0, data null). Always returns 1. */
ZQ_EXPORT uint32_t ZQ_CALL zqCryptBlobClear(CryptBlob* blob) ZQ_NOEXCEPT;

/* zqCryptBlobCopy: makes `destination` a copy of `source`: same size, same
 * tag, a new block with the same bytes (a zero-length block when the size is
 * 0), and releases the bytes `destination` held. Returns 1. Returns 0 with
 * `destination` untouched when the heap cannot supply the block, or when
 * `source` claims bytes but has no data. Copying a record onto itself leaves
 * it as it was and returns 1. */
ZQ_EXPORT uint32_t ZQ_CALL zqCryptBlobCopy(CryptBlob* destination,
                                           const CryptBlob* source) ZQ_NOEXCEPT;

/* ---- Services ----------------------------------------------------------- */

/* zqCryptHashBuffer: fills `output` with the 16-byte MD5 digest of the
 * `input` bytes (tag 0) and returns 1. An input whose `data` is null gives 0,
 * last error 13, and `output` untouched. `input` and `output` may be the same
 * record. `reserved` is never read. Returns 0 with `output` untouched when the
 * heap is exhausted. */
ZQ_EXPORT uint32_t ZQ_CALL zqCryptHashBuffer(const CryptBlob* input, uint32_t reserved,
                                             CryptBlob* output) ZQ_NOEXCEPT;

/* zqCryptVerifySignature: checks an RSA signature (`signature`, least
 * significant byte first) against a 16-byte MD5 `digest`, under the public key
 * in `key` (PUBLICKEYBLOB layout). With a null `matches` it returns 0 and
 * writes nothing. Otherwise it writes 0 to `*matches` first, then:
 *   result 1, *matches 1: the lowest 128 bits of s^e mod n equal the digest;
 *   result 1, *matches 0: no match, last error 0x80090006;
 *   result 0, *matches 0: the check could not be made; last error unchanged.
 * The check cannot be made when the digest is not 16 bytes, when the key blob
 * is under 20 bytes, when a blob lacks the data its size calls for, when the
 * modulus or the signature is larger than 16384 bits, or when the heap is
 * exhausted. The modulus is read as bitlen / 32 words, but never
 * past the end of the key blob. A key that cannot be an RSA key (a modulus
 * below 3 or even, an exponent of 0) matches nothing. Only the lowest 128
 * bits are compared: see the README on what this does and does not prove.
 * `reserved` is never read. */
ZQ_EXPORT uint32_t ZQ_CALL zqCryptVerifySignature(const CryptBlob* signature,
                                                  const CryptBlob* key,
                                                  const CryptBlob* digest, uint32_t reserved,
                                                  uint32_t* matches) ZQ_NOEXCEPT;

/* zqCryptUUEncode: fills `text` with the Base64 text of the `input` bytes
 * (RFC 4648 alphabet, "=" padding, CR LF after every 64 characters, then 4 to
 * 6 zero bytes; `size` counts them all, tag 0) and returns 1. Despite its
 * name it writes Base64, not uuencode. Returns 0 with `text` untouched when
 * `input` claims bytes but has no data, when the text would not fit in 4 GiB,
 * or when the heap is exhausted. `input` and `text` may be the same record.
 * `reserved` is never read. */
ZQ_EXPORT uint32_t ZQ_CALL zqCryptUUEncode(const CryptBlob* input, uint32_t reserved,
                                           CryptBlob* text) ZQ_NOEXCEPT;

/* zqCryptUUDecode: fills `output` with the bytes of the Base64 text in `text`
 * (tag 0) and returns 1. The text is read four characters at a time, up to
 * its first zero byte or the end of the blob, whichever comes first, skipping
 * CR, LF, space and TAB between groups, and stopping after the first group
 * that ends in "=". Invalid text is never reported: characters outside the
 * alphabet count as 0. A last group cut short by the end of the text gives
 * what a group padded with "=" would give ("YQ" gives "a", "YWI" gives "ab",
 * a lone character nothing), and decoding stops there. Returns 0 with
 * `output` untouched when `text` claims bytes but has no data or the heap is
 * exhausted. `text` and `output` may be the same record. `reserved` is never
 * read. */
ZQ_EXPORT uint32_t ZQ_CALL zqCryptUUDecode(const CryptBlob* text, uint32_t reserved,
                                           CryptBlob* output) ZQ_NOEXCEPT;

#if !defined(_WIN32)
/* The thread's last-error value, the stand-in for the Windows slot. */
ZQ_EXPORT uint32_t zqGetLastError(void) ZQ_NOEXCEPT;
ZQ_EXPORT void zqSetLastError(uint32_t value) ZQ_NOEXCEPT;
#endif

/* ---- Loading the library at run time -------------------------------------
 * The 32-bit zqcrypt.dll exports each function only under its decorated
 * stdcall name and its ordinal; the plain names do not exist there. The 64-bit
 * zqcrypt.dll exports the plain names at the same ordinals:
 *   ordinal  32-bit DLL                    64-bit DLL, libzqcrypt.so
 *   1        "_zqCryptBlobClear@4"         "zqCryptBlobClear"
 *   2        "_zqCryptBlobCopy@8"          "zqCryptBlobCopy"
 *   3        "_zqCryptBlobInit@8"          "zqCryptBlobInit"
 *   4        "_zqCryptHashBuffer@12"       "zqCryptHashBuffer"
 *   5        "_zqCryptUUDecode@12"         "zqCryptUUDecode"
 *   6        "_zqCryptUUEncode@12"         "zqCryptUUEncode"
 *   7        "_zqCryptVerifySignature@20"  "zqCryptVerifySignature"
 * ZQ_PROC_NAME(zqCryptHashBuffer, 12) is the name for the target being
 * compiled, the decorated one on 32-bit Windows and the plain one elsewhere;
 * the ordinals are the same on both DLLs: GetProcAddress(dll,
 * MAKEINTRESOURCEA(n)). The last error a DLL sets is the thread's own: read
 * it with GetLastError.
 *
 * libzqcrypt.so also exports zqGetLastError and zqSetLastError, for dlsym.
 *
 * The types below carry each function's calling convention; cast the
 * address that GetProcAddress returns to them, through void (*)(void) so
 * that C++ does not warn of a cast between function types:
 *   zqCryptHashBufferFn hash = (zqCryptHashBufferFn)(void (*)(void))GetProcAddress(
 *       dll, ZQ_PROC_NAME(zqCryptHashBuffer, 12));
 */
#if defined(_WIN32) && !defined(_WIN64)
#define ZQ_PROC_NAME(name, argumentBytes) "_" #name "@" #argumentBytes
#else
#define ZQ_PROC_NAME(name, argumentBytes) #name
#endif
typedef uintptr_t(ZQ_CALL* zqCryptBlobInitFn)(CryptBlob* blob, uint32_t size);
typedef uint32_t(ZQ_CALL* zqCryptBlobClearFn)(CryptBlob* blob);
typedef uint32_t(ZQ_CALL* zqCryptBlobCopyFn)(CryptBlob* destination, const CryptBlob* source);
typedef uint32_t(ZQ_CALL* zqCryptHashBufferFn)(const CryptBlob* input, uint32_t reserved,
                                               CryptBlob* output);
typedef uint32_t(ZQ_CALL* zqCryptVerifySignatureFn)(const CryptBlob* signature,
                                                    const CryptBlob* key, const CryptBlob* digest,
                                                    uint32_t reserved, uint32_t* matches);
typedef uint32_t(ZQ_CALL* zqCryptUUEncodeFn)(const CryptBlob* input, uint32_t reserved,
                                             CryptBlob* text);
typedef uint32_t(ZQ_CALL* zqCryptUUDecodeFn)(const CryptBlob* text, uint32_t reserved,
                                             CryptBlob* output);
#if !defined(_WIN32)
typedef uint32_t (*zqGetLastErrorFn)(void);
typedef void (*zqSetLastErrorFn)(uint32_t value);
#endif

#ifdef __cplusplus
}
#endif

#endif /* ZQCRYPT_H */
