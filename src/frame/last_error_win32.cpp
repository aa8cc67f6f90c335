// File: last_error_win32.cpp
//
// The last-error slot on Windows is the thread's own Win32 value.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "frame/last_error.h"

namespace zq {

void setLastError(uint32_t value) noexcept { SetLastError(value); }
uint32_t getLastError() noexcept { return GetLastError(); }

}  // namespace zq
