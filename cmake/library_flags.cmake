# How the library's own code is compiled: no exceptions, no RTTI, no guarded
# statics, so that the same sources build the DLL without a C runtime. Outside
# Windows, symbols are hidden unless zqcrypt.h marks them for export.
#
# ZQ_X86 tells whether the target is an x86 processor (x86-64 or i386), the
# only one with x86 flags and with the vectorised Base64 sources; elsewhere
# (aarch64) the library's code takes its portable paths.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$")
  set(ZQ_X86 ON)
else()
  set(ZQ_X86 OFF)
endif()

add_library(zq_library_flags INTERFACE)
target_link_libraries(zq_library_flags INTERFACE zq_warnings)
target_compile_options(zq_library_flags INTERFACE
  $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -fno-threadsafe-statics>)
target_include_directories(zq_library_flags INTERFACE
  ${PROJECT_SOURCE_DIR}/include ${PROJECT_BINARY_DIR}/include ${PROJECT_SOURCE_DIR}/src)
if(WIN32)
  # No stack probes (they live in the C runtime). On i386 no unwind tables
  # either; and a 32-bit Windows caller aligns the stack to 4 bytes only:
  # every function that keeps 16- or 32-byte values on the stack aligns its
  # own frame. On x86-64 the convention gives every callee 16 bytes, and
  # wants unwind data (.pdata, .xdata) for every function that moves the
  # stack, which the system reads to pass an exception raised inside a call
  # on to the host, or to walk the stack; it needs nothing from a runtime.
  target_compile_options(zq_library_flags INTERFACE -mno-stack-arg-probe
    $<$<EQUAL:${CMAKE_SIZEOF_VOID_P},4>:-fno-asynchronous-unwind-tables -fno-unwind-tables -mincoming-stack-boundary=2>)
else()
  target_compile_options(zq_library_flags INTERFACE -fvisibility=hidden -fvisibility-inlines-hidden)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND ZQ_X86)
    # Thread-local storage through descriptors: each export finds its
    # thread's call mark (call_gate.h) with a short indirect call instead of
    # __tls_get_addr, and with a plain offset when the library was loaded
    # with the program. (On aarch64 descriptors are GCC's default.)
    target_compile_options(zq_library_flags INTERFACE -mtls-dialect=gnu2)
    target_link_options(zq_library_flags INTERFACE -mtls-dialect=gnu2)
  endif()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND ZQ_X86)
  # The i386 library and the DLL form their word products in SSE2 lanes, as
  # on x86-64: they require a processor with SSE2 (any since the Pentium 4
  # and the Athlon 64), which 32-bit compilers do not assume by default.
  target_compile_options(zq_library_flags INTERFACE -msse2)
endif()

# Release builds of the library are optimised across files at its link: the
# provider's small operations, the heap's and the engines' entry points are
# inlined into the exports that call them, which takes about a sixth of the
# instructions off a 64-byte digest. The objects carry their ordinary code
# too, so that the tests and anything else that links the layers directly
# link them as they are. GCC only; the sanitizer builds stay as they are.
set(ZQ_LINK_TIME_OPTIMIZATION OFF)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_BUILD_TYPE STREQUAL "Release" AND NOT ZQ_SANITIZE)
  set(ZQ_LINK_TIME_OPTIMIZATION ON)
  target_compile_options(zq_library_flags INTERFACE -flto=auto -ffat-lto-objects)
endif()
