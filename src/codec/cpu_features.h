// File: cpu_features.h
//
// What the processor running the library can do, as far as the codec's
// vectorised paths care: SSSE3, AVX2, and AVX-512 with the byte permutes
// (VBMI). The last two also need the operating system to save the 256-bit
// registers, and for AVX-512 the 512-bit ones and the mask registers.
#pragma once

#include <stdint.h>

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
