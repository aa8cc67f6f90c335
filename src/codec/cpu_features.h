// File: cpu_features.h
//
// What the processor running the library can do, as far as the codec's
// vectorised paths care: SSSE3, AVX2, and AVX-512 with the byte permutes
// (VBMI). The last two also need the operating system to save the 256-bit
// registers, and for AVX-512 the 512-bit ones and the mask registers.
//
// The vectorised paths are x86 code: ZQ_BASE64_VECTOR_PATHS is 1 when the
// library is built for x86-64 or i386, where the build compiles
// base64_ssse3.cpp, base64_avx2.cpp and base64_avx512.cpp, and 0 elsewhere
// (aarch64), where cpuFeatures() reports none of the three and the codec is
// scalar.
#pragma once

#include <stdint.h>

#if defined(__x86_64__) || defined(__i386__)
#define ZQ_BASE64_VECTOR_PATHS 1
#else
#define ZQ_BASE64_VECTOR_PATHS 0
#endif

namespace zq {

struct CpuFeatures {
    bool ssse3;
    bool avx2;
    bool avx512vbmi;  // AVX-512 F, BW, VL and VBMI
};

// cpuFeatures asks the processor once (CPUID, and XGETBV for the operating
// system's part) and returns the same answer on every later call, from any
// thread.
CpuFeatures cpuFeatures() noexcept;

}  // namespace zq
