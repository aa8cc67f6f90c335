// File: freestanding_memory_win32.cpp
//
// The DLL has no C runtime, but the compiler may still turn copies and fills
// into calls to memcpy, memmove and memset, and comparisons into memcmp.
// These are the library's own, built only into the DLL. The loops must not be
// recognised as the very calls they implement, hence the optimisation switch.
#include <stddef.h>

#define ZQ_PLAIN_LOOPS __attribute__((optimize("no-tree-loop-distribute-patterns")))

extern "C" {

ZQ_PLAIN_LOOPS void* memcpy(void* destination, const void* source, size_t n) {
    auto* d = static_cast<unsigned char*>(destination);
    const auto* s = static_cast<const unsigned char*>(source);
    while (n--) *d++ = *s++;
    return destination;
}

ZQ_PLAIN_LOOPS void* memmove(void* destination, const void* source, size_t n) {
    auto* d = static_cast<unsigned char*>(destination);
    const auto* s = static_cast<const unsigned char*>(source);
    if (d < s) {
        while (n--) *d++ = *s++;
    } else {
        while (n--) d[n] = s[n];
    }
    return destination;
}

ZQ_PLAIN_LOOPS void* memset(void* destination, int value, size_t n) {
    auto* d = static_cast<unsigned char*>(destination);
    while (n--) *d++ = static_cast<unsigned char>(value);
    return destination;
}

ZQ_PLAIN_LOOPS int memcmp(const void* a, const void* b, size_t n) {
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    for (; n != 0; --n, ++x, ++y) {
        if (*x != *y) return *x < *y ? -1 : 1;
    }
    return 0;
}
}
