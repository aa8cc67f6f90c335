// File: last_error.h
//
// The calling thread's last-error value: the Win32 slot on Windows, a
// thread-local word elsewhere.
#pragma once

#include <stdint.h>

namespace zq {

constexpr uint32_t ERROR_INVALID_DATA = 13;
constexpr uint32_t NTE_BAD_SIGNATURE = 0x80090006u;

void setLastError(uint32_t value) noexcept;
uint32_t getLastError() noexcept;

}  // namespace zq
