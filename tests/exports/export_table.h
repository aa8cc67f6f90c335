// File: export_table.h
//
// The export cases reach the library through this table only. On Linux it is
// filled by linking; in the Windows host, from zqcrypt.dll by GetProcAddress,
// where each function is resolved both by its decorated name and by its
// ordinal and the two must agree. The same cases then run on every target.
#pragma once

#include <stdint.h>

#include "zqcrypt.h"

struct ExportTable {
    zqCryptBlobInitFn blobInit;
    zqCryptBlobClearFn blobClear;
    zqCryptBlobCopyFn blobCopy;
    zqCryptHashBufferFn hashBuffer;
    zqCryptVerifySignatureFn verifySignature;
    zqCryptUUEncodeFn uuEncode;
    zqCryptUUDecodeFn uuDecode;

    // The calling thread's last error, as the host sees it.
    uint32_t (*getLastError)();
    void (*setLastError)(uint32_t);

    // Heap instruments; null where the heap cannot be looked into (the DLL).
    uint32_t (*liveBlocks)();
    void (*failAllocations)(uint32_t after, bool sticky);
    void (*stopFailing)();
    uint32_t (*failedAllocations)();
};

// exports returns the table of the library under test.
const ExportTable& exports();
