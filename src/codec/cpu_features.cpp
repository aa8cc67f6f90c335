// File: cpu_features.cpp
//
// Run-time detection of SSSE3, AVX2 and AVX-512 VBMI with CPUID (leaf 1: ECX
// bit 9 SSSE3, bit 27 OSXSAVE; leaf 7: EBX bit 5 AVX2, bits 16, 30 and 31
// AVX-512 F, BW and VL, ECX bit 1 VBMI) and XGETBV (XCR0 bits 1 and 2: the
// operating system saves the XMM and YMM state; bits 5, 6 and 7 also the
// mask registers and the upper halves of zmm0-15 and all of zmm16-31). See
// cpu_features.h. The probe is x86 code: built for another processor,
// cpuFeatures() reports none of the three.
#include "codec/cpu_features.h"

#if ZQ_BASE64_VECTOR_PATHS
#include <cpuid.h>

namespace zq {
namespace {

constexpr uint32_t Known = 1u << 31;  // the answer below has been found
constexpr uint32_t HasSsse3 = 1u << 0;
constexpr uint32_t HasAvx2 = 1u << 1;
constexpr uint32_t HasAvx512Vbmi = 1u << 2;

constexpr uint32_t XmmYmmState = (1u << 1) | (1u << 2);
constexpr uint32_t ZmmState = XmmYmmState | (1u << 5) | (1u << 6) | (1u << 7);
constexpr uint32_t Avx512Leaf7Ebx = (1u << 16) | (1u << 30) | (1u << 31);  // F, BW, VL
constexpr uint32_t Avx512VbmiLeaf7Ecx = 1u << 1;

// The answer, found once. A plain word read and written atomically, so no
// lock and no constructor are needed: threads that race both store the same.
uint32_t cachedFeatures = 0;

uint32_t askProcessor() noexcept {
    uint32_t features = Known;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return features;
    if ((ecx & (1u << 9)) != 0) features |= HasSsse3;

    const bool osSavesState = (ecx & (1u << 27)) != 0;
    if (!osSavesState) return features;
    unsigned xcr0Low = 0, xcr0High = 0;
    __asm__ volatile("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
    if ((xcr0Low & XmmYmmState) != XmmYmmState) return features;

    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return features;
    if ((ebx & (1u << 5)) != 0) features |= HasAvx2;
    if ((xcr0Low & ZmmState) == ZmmState && (ebx & Avx512Leaf7Ebx) == Avx512Leaf7Ebx &&
        (ecx & Avx512VbmiLeaf7Ecx) != 0) {
        features |= HasAvx512Vbmi;
    }
    return features;
}

}  // namespace

CpuFeatures cpuFeatures() noexcept {
    uint32_t features = __atomic_load_n(&cachedFeatures, __ATOMIC_RELAXED);
    if (features == 0) {
        features = askProcessor();
        __atomic_store_n(&cachedFeatures, features, __ATOMIC_RELAXED);
    }
    return CpuFeatures{(features & HasSsse3) != 0, (features & HasAvx2) != 0, (features & HasAvx512Vbmi) != 0};
}

}  // namespace zq
#else
namespace zq {

CpuFeatures cpuFeatures() noexcept { return CpuFeatures{false, false, false}; }

}  // namespace zq
#endif
