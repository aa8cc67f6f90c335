// File: heap_probe.h
//
// Test instruments of the portable heap: live-block counting, allocation
// failure on demand, and a look at each block as it is released. The Windows
// heap has none of them. Nothing outside tests calls these functions, and the
// shared library does not export them; until a test arms it, no request
// fails.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace zq::heap_probe {

// liveBlocks is the number of blocks allocated and not yet released.
uint32_t liveBlocks() noexcept;

// allocationCount is the number of allocation requests made so far, failed
// ones included, modulo 2^32; setAllocationCount sets it.
uint32_t allocationCount() noexcept;
void setAllocationCount(uint32_t count) noexcept;

// failAllocations makes allocation request number `after` from now (0 is the
// very next one) fail, and with `sticky` every later one as well, until
// stopFailing is called.
void failAllocations(uint32_t after, bool sticky) noexcept;
void stopFailing() noexcept;

// failedAllocations is the number of requests refused since failAllocations.
uint32_t failedAllocations() noexcept;

// setReleaseObserver installs a function that sees each block's bytes just
// before the block is released (null removes it).
using ReleaseObserver = void (*)(const void* block, size_t size);
void setReleaseObserver(ReleaseObserver observer) noexcept;

}  // namespace zq::heap_probe
