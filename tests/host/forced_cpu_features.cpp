// File: forced_cpu_features.cpp
//
// A feature probe that answers as the processor named by ZQ_SSSE3, ZQ_AVX2
// and ZQ_AVX512 would, in place of the real one, for test builds of the DLL that
// take a given Base64 path on any machine.
#include "codec/cpu_features.h"

namespace zq {

CpuFeatures cpuFeatures() noexcept { return CpuFeatures{ZQ_SSSE3 != 0, ZQ_AVX2 != 0, ZQ_AVX512 != 0}; }

}  // namespace zq
