// Every export called with the stack pointer 0, 4, 8 and 12 bytes below a
// 16-byte boundary: a 32-bit Windows caller promises only 4-byte alignment
// (code built by MSVC gives no more), while GCC's own code keeps 16. Each
// Base64 path runs: the shipped zqcrypt.dll with the dispatch this processor
// gets, and four builds of the same objects whose feature probe answers as a
// processor without SSSE3, with SSSE3 but no AVX2, with both, and with
// AVX-512 VBMI as well would (that one only where the processor has it). The
// calls must neither fault nor give results that depend on the skew.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "exports/vector_file.h"

// callSkewed copies `count` 32-bit arguments below a 16-byte boundary less
// `skew` bytes and calls the stdcall `function`, so that its return address
// lands `skew` bytes off where GCC expects it.
extern "C" uint32_t __cdecl callSkewed(const void* function, const uint32_t* arguments, uint32_t count,
                                       uint32_t skew);
__asm__(
    ".text\n"
    ".globl _callSkewed\n"
    "_callSkewed:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"
    "    pushl %esi\n"
    "    pushl %edi\n"
    "    pushl %ebx\n"
    "    movl 8(%ebp), %eax\n"
    "    movl 12(%ebp), %esi\n"
    "    movl 16(%ebp), %ecx\n"
    "    leal 0(,%ecx,4), %ebx\n"
    "    movl %esp, %edi\n"
    "    subl %ebx, %edi\n"
    "    subl $64, %edi\n"
    "    andl $-16, %edi\n"
    "    subl 20(%ebp), %edi\n"
    "    movl %edi, %esp\n"
    "    cld\n"
    "    rep movsl\n"
    "    call *%eax\n"
    "    leal -12(%ebp), %esp\n"
    "    popl %ebx\n"
    "    popl %edi\n"
    "    popl %esi\n"
    "    popl %ebp\n"
    "    ret\n");

namespace {

// Skewed: one DLL's exports, each called through callSkewed.
class Skewed {
public:
    Skewed(HMODULE dll, uint32_t skew) : dll_(dll), skew_(skew) {}

    uint32_t operator()(const char* name, std::vector<uint32_t> arguments) const {
        const void* function = reinterpret_cast<const void*>(GetProcAddress(dll_, name));
        EXPECT_NE(function, nullptr) << name;
        if (function == nullptr) return 0;
        return callSkewed(function, arguments.data(), static_cast<uint32_t>(arguments.size()), skew_);
    }

    // fill makes `blob` a record holding `bytes`, through the exports.
    void fill(CryptBlob& blob, const Bytes& bytes) const {
        blob = CryptBlob{0, 0, nullptr};
        CryptBlob scratch{0, 0, nullptr};
        (*this)("_zqCryptBlobInit@8", {address(&scratch), static_cast<uint32_t>(bytes.size())});
        ASSERT_TRUE(bytes.empty() || scratch.data != nullptr);
        for (size_t i = 0; i < bytes.size(); ++i) scratch.data[i] = bytes[i];
        (*this)("_zqCryptBlobCopy@8", {address(&blob), address(&scratch)});
        (*this)("_zqCryptBlobClear@4", {address(&scratch)});
    }

    static uint32_t address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

private:
    HMODULE dll_;
    uint32_t skew_;
};

Bytes contents(const CryptBlob& blob) { return blob.data == nullptr ? Bytes{} : Bytes(blob.data, blob.data + blob.size); }

// transcript runs every export once on inputs that reach the vectorised
// Base64 paths (lines of 64 digits) and a signature that matches, and returns
// everything the calls gave back.
std::vector<Bytes> transcript(HMODULE dll, uint32_t skew) {
    const Skewed call(dll, skew);
    Bytes input(1000);
    for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 131 + (i >> 3));

    Bytes key, digest, signature;
    for (const VectorEntry& entry : readVectors("rsa_md5_signatures.txt")) {
        if (entry.name == "Key") key = entry.hex();
        if (entry.name == "Digest") digest = entry.hex();
        if (entry.name == "Signature" && signature.empty()) signature = entry.hex();
        if (!signature.empty()) break;
    }

    CryptBlob source, text, decoded, hash, s, k, d;
    call.fill(source, input);
    call.fill(s, signature);
    call.fill(k, key);
    call.fill(d, digest);
    std::vector<Bytes> results;
    auto result = [&](uint32_t value) { results.push_back(Bytes{static_cast<uint8_t>(value)}); };
    result(call("_zqCryptUUEncode@12", {Skewed::address(&source), 0, Skewed::address(&text)}));
    result(call("_zqCryptUUDecode@12", {Skewed::address(&text), 0, Skewed::address(&decoded)}));
    result(call("_zqCryptHashBuffer@12", {Skewed::address(&source), 0, Skewed::address(&hash)}));
    uint32_t matches = 2;
    result(call("_zqCryptVerifySignature@20",
                {Skewed::address(&s), Skewed::address(&k), Skewed::address(&d), 0, Skewed::address(&matches)}));
    result(matches);
    EXPECT_EQ(contents(decoded), input) << "skew " << skew;
    EXPECT_EQ(matches, 1u) << "skew " << skew;
    for (CryptBlob* blob : {&text, &decoded, &hash}) results.push_back(contents(*blob));
    for (CryptBlob* blob : {&source, &text, &decoded, &hash, &s, &k, &d}) {
        result(call("_zqCryptBlobClear@4", {Skewed::address(blob)}));
    }
    return results;
}

class MisalignedStack : public ::testing::TestWithParam<const char*> {};

TEST_P(MisalignedStack, EveryExportGivesTheAlignedResults) {
    if (std::string(GetParam()) == "zqcrypt_avx512.dll" &&
        !(__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
          __builtin_cpu_supports("avx512vbmi"))) {
        GTEST_SKIP() << "no AVX-512 VBMI on this processor";
    }
    HMODULE shipped = LoadLibraryA("zqcrypt.dll");
    ASSERT_NE(shipped, nullptr);
    const std::vector<Bytes> expected = transcript(shipped, 0);

    HMODULE dll = LoadLibraryA(GetParam());
    ASSERT_NE(dll, nullptr) << GetParam() << " error " << GetLastError();
    for (uint32_t skew : {0u, 4u, 8u, 12u}) {
        EXPECT_EQ(transcript(dll, skew), expected) << GetParam() << " skew " << skew;
    }
    FreeLibrary(dll);
    FreeLibrary(shipped);
}

INSTANTIATE_TEST_SUITE_P(Paths, MisalignedStack,
                         ::testing::Values("zqcrypt.dll", "zqcrypt_scalar.dll", "zqcrypt_ssse3.dll",
                                           "zqcrypt_avx2.dll", "zqcrypt_avx512.dll"));

}  // namespace
