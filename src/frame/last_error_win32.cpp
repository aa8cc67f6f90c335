// File: last_error_win32.cpp
//
// The last-error slot on Windows is the thread's own Win32 value.
//
// The library's header comes first: <windows.h> defines ERROR_INVALID_DATA
// and NTE_BAD_SIGNATURE as macros, which must not reach the declarations.
#include "frame/last_error.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace zq {

void setLastError(uint32_t value) noexcept { SetLastError(value); }
uint32_t getLastError() noexcept { return GetLastError(); }

}  // namespace zq
