// File: last_error_posix.cpp
//
// The last-error slot outside Windows: one word per thread, exported as
// zqGetLastError and zqSetLastError for hosts.
#include "frame/last_error.h"
#include "zqcrypt.h"

namespace zq {
namespace {
thread_local uint32_t lastError = 0;
}

void setLastError(uint32_t value) noexcept { lastError = value; }
uint32_t getLastError() noexcept { return lastError; }

}  // namespace zq

uint32_t zqGetLastError(void) noexcept { return zq::getLastError(); }
void zqSetLastError(uint32_t value) noexcept { zq::setLastError(value); }
