// The export table of the Windows host: zqcrypt.dll loaded with LoadLibrary,
// each export resolved by its name (ZQ_PROC_NAME: decorated on i386, plain
// on x86-64) and by its ordinal. A missing export, or a name and an ordinal
// that disagree, stops the host at once. ZQ_DLL in the environment names
// another build of the DLL to load instead (one of the forced Base64 paths);
// with ZQ_DLL_HIGH_ADDRESSES=1 a 64-bit host keeps the DLL's blocks above
// 4 GiB.
//
// The heap instruments work here too: the host redirects the DLL's own
// imports of HeapAlloc and HeapFree (its import address table) to counting
// wrappers, which can also refuse an allocation on demand. The DLL itself is
// not changed on disk, and its code runs as a host would run it.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "exports/export_table.h"

namespace {

FARPROC resolve(HMODULE dll, const char* name, unsigned ordinal) {
    FARPROC byName = GetProcAddress(dll, name);
    FARPROC byOrdinal = GetProcAddress(dll, MAKEINTRESOURCEA(ordinal));
    if (byName == nullptr || byName != byOrdinal) {
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

// ---- Counting heap, through the DLL's import address table -----------------

std::atomic<uint32_t> liveCount{0};
std::atomic<uint32_t> requestCount{0};
std::atomic<uint32_t> failFrom{UINT32_MAX};
std::atomic<bool> failSticky{false};
std::atomic<uint32_t> failedCount{0};

LPVOID WINAPI countingHeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    const uint32_t request = requestCount.fetch_add(1);
    const uint32_t first = failFrom.load();
    if (request >= first && (request == first || failSticky.load())) {
        failedCount.fetch_add(1);
        return nullptr;
    }
    LPVOID block = HeapAlloc(heap, flags, bytes);
    if (block != nullptr) liveCount.fetch_add(1);
    return block;
}

BOOL WINAPI countingHeapFree(HANDLE heap, DWORD flags, LPVOID block) {
    if (block != nullptr) liveCount.fetch_sub(1);
    return HeapFree(heap, flags, block);
}

// redirectImport points the DLL's import of KERNEL32!`name` at `replacement`.
bool redirectImport(HMODULE dll, const char* name, void* replacement) {
    auto* base = reinterpret_cast<uint8_t*>(dll);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
    for (; descriptor->Name != 0; ++descriptor) {
        if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), "KERNEL32.dll") != 0) continue;
        auto* lookup = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
        auto* address = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; lookup->u1.AddressOfData != 0; ++lookup, ++address) {
            if (IMAGE_SNAP_BY_ORDINAL(lookup->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + lookup->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0) continue;
            DWORD old = 0;
            VirtualProtect(&address->u1.Function, sizeof address->u1.Function, PAGE_READWRITE, &old);
            address->u1.Function = reinterpret_cast<uintptr_t>(replacement);
            VirtualProtect(&address->u1.Function, sizeof address->u1.Function, old, &old);
            return true;
        }
    }
    return false;
}

// takeLowAddressSpace lays the process out as 64-bit Windows does and Wine
// does not (ZQ_DLL_HIGH_ADDRESSES=1). It reserves every free range below
// 4 GiB, so that the DLL's heap, each block it hands out, and the host's
// later allocations lie above, where a pointer cut to 32 bits would be seen;
// and the range the DLL `name` asks for, so that the loader must relocate it.
// Returns that range's start, the DLL's preferred base.
#if defined(_WIN64)
uintptr_t takeLowAddressSpace(const char* name) {
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS64 nt{};
    if (FILE* file = std::fopen(name, "rb")) {
        if (std::fread(&dos, sizeof dos, 1, file) == 1 && std::fseek(file, dos.e_lfanew, SEEK_SET) == 0 &&
            std::fread(&nt, sizeof nt, 1, file) == 1) {
            VirtualAlloc(reinterpret_cast<void*>(nt.OptionalHeader.ImageBase), nt.OptionalHeader.SizeOfImage,
                         MEM_RESERVE, PAGE_NOACCESS);
        }
        std::fclose(file);
    }
    const uintptr_t limit = uintptr_t{1} << 32;
    uintptr_t at = 0x10000;
    MEMORY_BASIC_INFORMATION range;
    while (at < limit && VirtualQuery(reinterpret_cast<void*>(at), &range, sizeof range) != 0) {
        const uintptr_t end = reinterpret_cast<uintptr_t>(range.BaseAddress) + range.RegionSize;
        const uintptr_t start = (at + 0xFFFF) & ~uintptr_t{0xFFFF};  // the allocation granularity
        if (range.State == MEM_FREE && start < end && start < limit) {
            VirtualAlloc(reinterpret_cast<void*>(start), (end < limit ? end : limit) - start, MEM_RESERVE,
                         PAGE_NOACCESS);
        }
        at = end;
    }
    return nt.OptionalHeader.ImageBase;
}
#endif

ExportTable load() {
    const char* name = std::getenv("ZQ_DLL");
    if (name == nullptr || *name == '\0') name = "zqcrypt.dll";
    // The build that takes the AVX-512 path faults on a processor without
    // it: exit 77, which the test takes for skipped.
    const char* needsAvx512 = std::getenv("ZQ_DLL_NEEDS_AVX512VBMI");
    if (needsAvx512 != nullptr && *needsAvx512 == '1' &&
        !(__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
          __builtin_cpu_supports("avx512vbmi"))) {
        std::fprintf(stderr, "%s: no AVX-512 VBMI on this processor\n", name);
        std::exit(77);
    }
#if defined(_WIN64)
    const char* high = std::getenv("ZQ_DLL_HIGH_ADDRESSES");
    const bool highAddresses = high != nullptr && *high == '1';
    const uintptr_t preferredBase = highAddresses ? takeLowAddressSpace(name) : 0;
#else
    const bool highAddresses = false;
    const uintptr_t preferredBase = 0;
#endif
    HMODULE dll = LoadLibraryA(name);
    if (dll == nullptr) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", name, GetLastError());
        std::exit(2);
    }
    ExportTable table{};
    bind(table.blobClear, dll, ZQ_PROC_NAME(zqCryptBlobClear, 4), 1);
    bind(table.blobCopy, dll, ZQ_PROC_NAME(zqCryptBlobCopy, 8), 2);
    bind(table.blobInit, dll, ZQ_PROC_NAME(zqCryptBlobInit, 8), 3);
    bind(table.hashBuffer, dll, ZQ_PROC_NAME(zqCryptHashBuffer, 12), 4);
    bind(table.uuDecode, dll, ZQ_PROC_NAME(zqCryptUUDecode, 12), 5);
    bind(table.uuEncode, dll, ZQ_PROC_NAME(zqCryptUUEncode, 12), 6);
    bind(table.verifySignature, dll, ZQ_PROC_NAME(zqCryptVerifySignature, 20), 7);
    if (highAddresses) {
        // The premises: the DLL was relocated, and its blocks lie above 4 GiB.
        CryptBlob probe{0, 0, nullptr};
        const uintptr_t address = table.blobInit(&probe, 1);
        table.blobClear(&probe);
        if (address <= UINT32_MAX || reinterpret_cast<uintptr_t>(dll) == preferredBase) {
            std::fprintf(stderr, "%s at %p (its base %#llx), a block at %#llx\n", name,
                         static_cast<void*>(dll), static_cast<unsigned long long>(preferredBase),
                         static_cast<unsigned long long>(address));
            std::exit(2);
        }
    }
    table.getLastError = [] { return static_cast<uint32_t>(GetLastError()); };
    table.setLastError = [](uint32_t value) { SetLastError(value); };

    // Attach made the heap and allocated nothing, so the count starts at 0.
    if (redirectImport(dll, "HeapAlloc", reinterpret_cast<void*>(countingHeapAlloc)) &&
        redirectImport(dll, "HeapFree", reinterpret_cast<void*>(countingHeapFree))) {
        table.liveBlocks = [] { return liveCount.load(); };
        table.failAllocations = [](uint32_t after, bool sticky) {
            failedCount.store(0);
            failSticky.store(sticky);
            failFrom.store(requestCount.load() + after);
        };
        table.stopFailing = [] { failFrom.store(UINT32_MAX); };
        table.failedAllocations = [] { return failedCount.load(); };
    } else {
        std::fprintf(stderr, "zqcrypt.dll: HeapAlloc/HeapFree imports not found; heap cases skipped\n");
    }
    return table;
}

}  // namespace

const ExportTable& exports() {
    static const ExportTable table = load();
    return table;
}
