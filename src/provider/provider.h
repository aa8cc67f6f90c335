// File: provider.h
//
// The library's own provider layer, shaped like the CryptoAPI call sequence
// (open a provider, create a hash object, feed it, read its value, import a
// key, verify, destroy, release) and using its numeric constants. Operations
// keep the CryptoAPI argument order, take arguments they do not need and
// ignore them, return 1 for success and 0 for failure, and never set the
// thread's last error.
//
// This header holds the constants and the provider context; hash objects are
// in hash_object.h.
#pragma once

#include <stdint.h>

namespace zq {

// Algorithm identifiers.
constexpr uint32_t CALG_MD5 = 0x8003;  // MD5 hash object
constexpr uint32_t CALG_SHA = 0x8004;  // SHA-0 hash object (FIPS 180, 1993)

// Hash parameters.
constexpr uint32_t HP_HASHVAL = 2;   // the hash value
constexpr uint32_t HP_HASHSIZE = 4;  // the hash size in bytes, as a u32

// Provider type passed when opening the provider (not read).
constexpr uint32_t PROV_RSA_FULL = 1;

// ProviderContext: the provider handle. The provider has no state at all, so
// the handle is always null (0) and nothing reads it.
using ProviderContext = uintptr_t;

// ProvAcquireContext writes the null handle to `provider` and returns 1. The
// other arguments are not read; callers pass null, null, PROV_RSA_FULL, 0.
uint32_t ProvAcquireContext(ProviderContext* provider, const char* container,
                            const char* providerName, uint32_t providerType,
                            uint32_t flags) noexcept;

// ProvReleaseContext does nothing and returns 1.
uint32_t ProvReleaseContext(ProviderContext provider, uint32_t flags) noexcept;

}  // namespace zq
