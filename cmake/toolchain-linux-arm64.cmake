# 64-bit ARM Linux (aarch64), cross-built with Debian's aarch64-linux-gnu
# compilers against the arm64 development packages of the oracles (multiarch);
# programs run under qemu's user-mode emulator, which finds the arm64 loader
# and libraries where multiarch puts them (/lib/ld-linux-aarch64.so.1,
# /usr/lib/aarch64-linux-gnu).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu /usr/include/x86_64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)

# GNUInstallDirs gives a cross build the plain lib folder, where a native
# Debian build installed under /usr takes the multiarch one; the aarch64
# library goes where the arm64 system looks for it, beside no x86-64 one
# (pkg-config and CMake of an x86-64 host search /usr/lib/pkgconfig and
# /usr/lib/cmake themselves).
if(CMAKE_INSTALL_PREFIX MATCHES "^/usr/?$")
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries")
endif()
# pkg-config answers for the arm64 packages, not for the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/pkgconfig:/usr/share/pkgconfig)
