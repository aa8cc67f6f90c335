/* A host's view of zqcrypt.h, compiled as C and as C++ with every warning the
 * project keeps and sign comparisons on: the last-error constants compare
 * with the thread's last error as they stand, serve as case labels, and each
 * function-pointer type takes its export's address without a cast, so the
 * types carry the exports' exact signatures and calling convention. */
#include "zqcrypt.h"

#if defined(_WIN32) && defined(ZQ_WITHOUT_SDK)
/* clang-cl here has no Windows SDK: the two functions used, as windows.h
 * declares them. */
typedef struct HINSTANCE__* HMODULE;
typedef int(__stdcall* FARPROC)(void);
#ifdef __cplusplus
extern "C" {
#endif
__declspec(dllimport) unsigned long __stdcall GetLastError(void);
__declspec(dllimport) FARPROC __stdcall GetProcAddress(HMODULE module, const char* name);
#ifdef __cplusplus
}
#endif
#define lastError() GetLastError()
#elif defined(_WIN32)
#include <windows.h>
#define lastError() GetLastError()
#else
#define lastError() zqGetLastError()
#endif

struct Exports {
    zqCryptBlobInitFn blobInit;
    zqCryptBlobClearFn blobClear;
    zqCryptBlobCopyFn blobCopy;
    zqCryptHashBufferFn hashBuffer;
    zqCryptVerifySignatureFn verifySignature;
    zqCryptUUEncodeFn uuEncode;
    zqCryptUUDecodeFn uuDecode;
#if !defined(_WIN32)
    zqGetLastErrorFn getLastError;
    zqSetLastErrorFn setLastError;
#endif
};

const struct Exports* linkedExports(void);
const struct Exports* linkedExports(void) {
    static const struct Exports table = {
        zqCryptBlobInit,
        zqCryptBlobClear,
        zqCryptBlobCopy,
        zqCryptHashBuffer,
        zqCryptVerifySignature,
        zqCryptUUEncode,
        zqCryptUUDecode,
#if !defined(_WIN32)
        zqGetLastError,
        zqSetLastError,
#endif
    };
    return &table;
}

#if defined(_WIN32)
/* The header's advice for run-time loading, warning-free in C and C++. */
zqCryptHashBufferFn resolveHashBuffer(HMODULE dll);
zqCryptHashBufferFn resolveHashBuffer(HMODULE dll) {
#if defined(_WIN64)
    return (zqCryptHashBufferFn)(void (*)(void))GetProcAddress(dll, "zqCryptHashBuffer");
#else
    return (zqCryptHashBufferFn)(void (*)(void))GetProcAddress(dll, "_zqCryptHashBuffer@12");
#endif
}
#endif

int signatureMismatched(void);
int signatureMismatched(void) { return lastError() == ZQ_NTE_BAD_SIGNATURE; }

int lastErrorReason(void);
int lastErrorReason(void) {
    const uint32_t error = lastError();
    if (error != ZQ_ERROR_INVALID_DATA && error < ZQ_NTE_BAD_SIGNATURE) return 0;
    switch (lastError()) {
        case ZQ_ERROR_INVALID_DATA:
            return 1;
        case ZQ_NTE_BAD_SIGNATURE:
            return 2;
        default:
            return 3;
    }
}
