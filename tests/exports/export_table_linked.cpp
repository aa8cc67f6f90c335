// The export table on Linux: the functions as linked into the test program,
// with the instruments of the portable heap.
#include "exports/export_table.h"
#include "frame/heap_probe.h"

const ExportTable& exports() {
    static const ExportTable table = {
        zqCryptBlobInit,
        zqCryptBlobClear,
        zqCryptBlobCopy,
        zqCryptHashBuffer,
        zqCryptVerifySignature,
        zqCryptUUEncode,
        zqCryptUUDecode,
        [] { return zqGetLastError(); },
        [](uint32_t value) { zqSetLastError(value); },
        zq::heap_probe::liveBlocks,
        zq::heap_probe::failAllocations,
        zq::heap_probe::stopFailing,
        zq::heap_probe::failedAllocations,
    };
    return table;
}
