// The export table of the Windows host: zqcrypt.dll loaded with LoadLibrary,
// each export resolved by its decorated name and by its ordinal. A missing
// export, or a name and an ordinal that disagree, stops the host at once.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "exports/export_table.h"

namespace {

FARPROC resolve(HMODULE dll, const char* name, unsigned ordinal) {
    FARPROC byName = GetProcAddress(dll, name);
    FARPROC byOrdinal = GetProcAddress(dll, MAKEINTRESOURCEA(ordinal));
    if (byName != byOrdinal) {
        std::fprintf(stderr, "zqcrypt.dll: export %s (ordinal %u) missing or inconsistent\n", name,
                     ordinal);
        std::exit(2);
    }
    return byName;
}

template <typename Function>
void bind(Function& slot, HMODULE dll, const char* name, unsigned ordinal) {
    slot = reinterpret_cast<Function>(reinterpret_cast<void*>(resolve(dll, name, ordinal)));
}

ExportTable load() {
    HMODULE dll = LoadLibraryA("zqcrypt.dll");
    if (dll == nullptr) {
        std::fprintf(stderr, "cannot load zqcrypt.dll (error %lu)\n", GetLastError());
        std::exit(2);
    }
    ExportTable table{};
    bind(table.blobClear, dll, "_zqCryptBlobClear@4", 1);
    bind(table.blobCopy, dll, "_zqCryptBlobCopy@8", 2);
    bind(table.blobInit, dll, "_zqCryptBlobInit@8", 3);
    bind(table.hashBuffer, dll, "_zqCryptHashBuffer@12", 4);
    bind(table.uuDecode, dll, "_zqCryptUUDecode@12", 5);
    bind(table.uuEncode, dll, "_zqCryptUUEncode@12", 6);
    bind(table.verifySignature, dll, "_zqCryptVerifySignature@20", 7);
    table.getLastError = [] { return static_cast<uint32_t>(GetLastError()); };
    table.setLastError = [](uint32_t value) { SetLastError(value); };
    return table;
}

}  // namespace

const ExportTable& exports() {
    static const ExportTable table = load();
    return table;
}
