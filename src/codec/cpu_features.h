// File: cpu_features.h
//
// What the processor running the library can do, as far as the codec's
// vectorised paths care: SSSE3 and AVX2 (the latter also switched on by the
// operating system, which must save the 256-bit registers).
#pragma once

#include <stdint.h>

namespace zq {

struct CpuFeatures {
    bool ssse3;
    bool avx2;
};

// cpuFeatures asks the processor once (CPUID, and XGETBV for the operating
// system's part) and returns the same answer on every later call, from any
// thread.
CpuFeatures cpuFeatures() noexcept;

}  // namespace zq
