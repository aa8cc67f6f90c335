// File: entry_win32.cpp
//
// DllMain, the entry point of zqcrypt.dll (the DLL has no C runtime, so the
// loader calls this function directly). Attach creates the private heap and
// turns off thread notifications; detach destroys the heap with every block
// still in it.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "frame/private_heap.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, [[maybe_unused]] LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        // Without a heap every later call would allocate from nothing:
        // refuse the load instead.
        if (!zq::PrivateHeap::attach()) return FALSE;
        DisableThreadLibraryCalls(module);
        return TRUE;
    case DLL_PROCESS_DETACH:
        zq::PrivateHeap::detach();
        return FALSE;
    default:
        return FALSE;
    }
}
