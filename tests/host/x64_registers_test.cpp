// The x86-64 convention's promises at every export, on each Base64 path (the
// shipped zqcrypt.dll and the builds whose feature probe answers as each
// processor would, as in misaligned_stack_test.cpp):
// - RBX, RBP, RSI, RDI, R12 to R15 and XMM6 to XMM15 hold after the call what
//   they held before it;
// - a fault inside a call (its input on a page that cannot be read) unwinds
//   through the DLL's unwind data (.pdata, .xdata) frame by frame back to the
//   caller, with those registers restored, as the system does when it passes
//   the exception on to a handler of the host's.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exports/vector_file.h"

namespace {

struct Registers {
    uint64_t general[8];  // RBX, RBP, RSI, RDI, R12, R13, R14, R15
    uint8_t xmm[10][16];  // XMM6 to XMM15
};

}  // namespace

// callGuarded calls `function` with five arguments, the registers above set
// from `before`, and stores them as the call left them in `after`. A fault
// that the handler below unwinds resumes at callGuardedReturn.
extern "C" uint64_t callGuarded(const void* function, const uint64_t* arguments, const Registers* before,
                                Registers* after);
extern "C" char callGuardedReturn[];
__asm__(
    ".text\n"
    ".globl callGuarded\n"
    "callGuarded:\n"
    "    push %rbx\n    push %rbp\n    push %rsi\n    push %rdi\n"
    "    push %r12\n    push %r13\n    push %r14\n    push %r15\n"
    "    sub $216, %rsp\n"  // home area, fifth argument, `after`, XMM6-15
    "    mov %r9, 40(%rsp)\n"
    "    mov %rcx, %rax\n"
    "    mov %rdx, %r10\n"
    "    mov 32(%r10), %r11\n    mov %r11, 32(%rsp)\n"
    "    mov 0(%r8), %rbx\n    mov 8(%r8), %rbp\n    mov 16(%r8), %rsi\n    mov 24(%r8), %rdi\n"
    "    mov 32(%r8), %r12\n    mov 40(%r8), %r13\n    mov 48(%r8), %r14\n    mov 56(%r8), %r15\n"
    "    .irp n, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15\n"
    "    movups %xmm\\n, 48+16*(\\n-6)(%rsp)\n"
    "    movups 64+16*(\\n-6)(%r8), %xmm\\n\n"
    "    .endr\n"
    "    mov 0(%r10), %rcx\n    mov 8(%r10), %rdx\n    mov 16(%r10), %r8\n    mov 24(%r10), %r9\n"
    "    call *%rax\n"
    ".globl callGuardedReturn\n"
    "callGuardedReturn:\n"
    "    mov 40(%rsp), %r10\n"
    "    mov %rbx, 0(%r10)\n    mov %rbp, 8(%r10)\n    mov %rsi, 16(%r10)\n    mov %rdi, 24(%r10)\n"
    "    mov %r12, 32(%r10)\n    mov %r13, 40(%r10)\n    mov %r14, 48(%r10)\n    mov %r15, 56(%r10)\n"
    "    .irp n, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15\n"
    "    movups %xmm\\n, 64+16*(\\n-6)(%r10)\n"
    "    movups 48+16*(\\n-6)(%rsp), %xmm\\n\n"
    "    .endr\n"
    "    add $216, %rsp\n"
    "    pop %r15\n    pop %r14\n    pop %r13\n    pop %r12\n"
    "    pop %rdi\n    pop %rsi\n    pop %rbp\n    pop %rbx\n"
    "    ret\n");

namespace {

constexpr uint64_t Unwound = 0xFA17;  // the result of a call the handler unwound

// unwindToCaller: an access violation inside the DLL is followed back frame
// by frame with the system's unwinder to callGuardedReturn, and the call
// resumes there with result Unwound. Only the innermost frame may lack
// unwind data (a leaf function, which leaves RSP alone).
LONG CALLBACK unwindToCaller(EXCEPTION_POINTERS* exception) {
    if (exception->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
        return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT context = *exception->ContextRecord;
    for (int frame = 0; context.Rip != reinterpret_cast<uintptr_t>(callGuardedReturn); ++frame) {
        DWORD64 imageBase = 0;
        PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
        if (frame == 64 || (function == nullptr && frame != 0)) {
            std::fprintf(stderr, "frame %d at %#llx: no unwind data\n", frame,
                         static_cast<unsigned long long>(context.Rip));
            std::_Exit(3);
        }
        if (function == nullptr) {
            context.Rip = *reinterpret_cast<DWORD64*>(context.Rsp);
            context.Rsp += 8;
        } else {
            void* handlerData = nullptr;
            DWORD64 establisher = 0;
            RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData,
                             &establisher, nullptr);
        }
    }
    context.Rax = Unwound;
    *exception->ContextRecord = context;
    return EXCEPTION_CONTINUE_EXECUTION;
}

class Registers64 : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (std::string(GetParam()) == "zqcrypt_avx512.dll" &&
            !(__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
              __builtin_cpu_supports("avx512vbmi"))) {
            GTEST_SKIP() << "no AVX-512 VBMI on this processor";
        }
        dll_ = LoadLibraryA(GetParam());
        ASSERT_NE(dll_, nullptr) << GetParam();
        for (int i = 0; i < 8; ++i) before_.general[i] = 0x0123456789ABCDEFu * (i + 3);
        for (int i = 0; i < 160; ++i) before_.xmm[i / 16][i % 16] = static_cast<uint8_t>(i * 37 + 11);
    }
    void TearDown() override {
        if (dll_ != nullptr) FreeLibrary(dll_);
    }

    // call runs export `name` through callGuarded and checks the registers.
    uint64_t call(const char* name, const void* a, uint64_t b, const void* c, const void* d = nullptr,
                  const void* e = nullptr) {
        const void* function = reinterpret_cast<const void*>(GetProcAddress(dll_, name));
        EXPECT_NE(function, nullptr) << name;
        if (function == nullptr) return 0;
        const uint64_t arguments[5] = {reinterpret_cast<uintptr_t>(a), b, reinterpret_cast<uintptr_t>(c),
                                       reinterpret_cast<uintptr_t>(d), reinterpret_cast<uintptr_t>(e)};
        Registers after{};
        const uint64_t result = callGuarded(function, arguments, &before_, &after);
        EXPECT_EQ(std::memcmp(after.general, before_.general, sizeof after.general), 0) << name;
        EXPECT_EQ(std::memcmp(after.xmm, before_.xmm, sizeof after.xmm), 0) << name;
        return result;
    }

    HMODULE dll_ = nullptr;
    Registers before_{};
};

Bytes firstVector(const char* name) {
    for (const VectorEntry& entry : readVectors("rsa_md5_signatures.txt")) {
        if (entry.name == name) return entry.hex();
    }
    return {};
}

TEST_P(Registers64, EveryExportKeepsTheCallersRegisters) {
    Bytes input(1000), key = firstVector("Key"), digest = firstVector("Digest"),
                       signature = firstVector("Signature");
    for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 131 + (i >> 3));
    CryptBlob source{1000, 0, input.data()}, k{static_cast<uint32_t>(key.size()), 0, key.data()},
        d{16, 0, digest.data()}, s{static_cast<uint32_t>(signature.size()), 0, signature.data()};
    CryptBlob text{0, 0, nullptr}, decoded{0, 0, nullptr}, hash{0, 0, nullptr}, copy{0, 0, nullptr};
    uint32_t matches = 2;
    EXPECT_EQ(call("zqCryptUUEncode", &source, 0, &text), 1u);
    EXPECT_EQ(call("zqCryptUUDecode", &text, 0, &decoded), 1u);
    ASSERT_EQ(decoded.size, 1000u);
    EXPECT_EQ(std::memcmp(decoded.data, input.data(), 1000), 0);
    EXPECT_EQ(call("zqCryptHashBuffer", &source, 0, &hash), 1u);
    EXPECT_EQ(call("zqCryptVerifySignature", &s, reinterpret_cast<uintptr_t>(&k), &d, nullptr, &matches), 1u);
    EXPECT_EQ(matches, 1u);
    EXPECT_EQ(call("zqCryptBlobCopy", &copy, reinterpret_cast<uintptr_t>(&source), nullptr), 1u);
    EXPECT_NE(call("zqCryptBlobInit", &source, 16, nullptr), 0u);
    for (CryptBlob* blob : {&text, &decoded, &hash, &copy, &source})
        call("zqCryptBlobClear", blob, 0, nullptr);
}

TEST_P(Registers64, AFaultInsideACallUnwindsBackToTheCaller) {
    // 64 KiB that can be read, then 64 KiB that cannot; each input ends 100
    // bytes into the second half, past lines the vectorised paths take.
    auto* pages =
        static_cast<uint8_t*>(VirtualAlloc(nullptr, 0x20000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    std::memset(pages, 'A', 0x10000);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + 0x10000, 0x10000, PAGE_NOACCESS, &old));
    Bytes key = firstVector("Key"), digest = firstVector("Digest");
    CryptBlob k{static_cast<uint32_t>(key.size()), 0, key.data()}, d{16, 0, digest.data()};
    uint32_t matches = 2;
    PVOID handler = AddVectoredExceptionHandler(1, unwindToCaller);
    for (uint32_t bytes : {300u, 5000u}) {
        CryptBlob input{bytes, 0, pages + 0x10000 + 100 - bytes}, output{0, 0, nullptr};
        EXPECT_EQ(call("zqCryptHashBuffer", &input, 0, &output), Unwound) << bytes;
        EXPECT_EQ(call("zqCryptUUEncode", &input, 0, &output), Unwound) << bytes;
        EXPECT_EQ(call("zqCryptUUDecode", &input, 0, &output), Unwound) << bytes;
        EXPECT_EQ(call("zqCryptBlobCopy", &output, reinterpret_cast<uintptr_t>(&input), nullptr), Unwound)
            << bytes;
        const uint32_t n = static_cast<uint32_t>(key.size() - 20);  // the modulus's size
        CryptBlob signature{n, 0, pages + 0x10000 + 100 - n};
        EXPECT_EQ(call("zqCryptVerifySignature", &signature, reinterpret_cast<uintptr_t>(&k), &d, nullptr,
                       &matches),
                  Unwound)
            << bytes;
    }
    RemoveVectoredExceptionHandler(handler);
    VirtualFree(pages, 0, MEM_RELEASE);
}

INSTANTIATE_TEST_SUITE_P(Paths, Registers64,
                         ::testing::Values("zqcrypt.dll", "zqcrypt_scalar.dll", "zqcrypt_ssse3.dll",
                                           "zqcrypt_avx2.dll", "zqcrypt_avx512.dll"));

}  // namespace
