# 64-bit Windows (x86-64), cross-built with mingw-w64 (posix thread model);
# programs run under Wine's 64-bit loader, in a 64-bit prefix of their own
# (a 32-bit prefix cannot run them), which the emulator names so that ctest
# needs nothing from its caller. tools/test.sh makes the prefix once.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(ZQ_WINEPREFIX "$ENV{HOME}/.wine-zqcrypt64")
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${ZQ_WINEPREFIX} WINEARCH=win64 wine)
