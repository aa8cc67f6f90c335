# The consumer tests: consumer_build installs this build into a temporary
# prefix and builds the hosts of this folder against it; each consumer_<host>
# test then runs one host (under Wine for Windows) on an MD5 vector of
# RFC 1321 and the first signature of the RSA vectors, both from tests/vectors.
set(work ${CMAKE_BINARY_DIR}/consumers)
set(toolchain)
if(CMAKE_TOOLCHAIN_FILE)
  set(toolchain -DTOOLCHAIN=${CMAKE_TOOLCHAIN_FILE})
endif()
# On Windows also the hosts MSVC builds, msvc_c and msvc_cxx, when clang-cl
# and llvm-dlltool are at hand (lld-link the library's build needs already).
set(msvc_tools)
if(WIN32)
  find_program(ZQ_CLANG_CL NAMES clang-cl-14 clang-cl PATHS /usr/lib/llvm-14/bin)
  find_program(ZQ_LLVM_DLLTOOL NAMES llvm-dlltool-14 llvm-dlltool)
  if(ZQ_CLANG_CL AND ZQ_LLVM_DLLTOOL)
    set(msvc_tools -DCLANG_CL=${ZQ_CLANG_CL} -DLLD_LINK=${ZQ_LLD_LINK} -DLLVM_DLLTOOL=${ZQ_LLVM_DLLTOOL})
  else()
    message(STATUS "consumer_msvc_c and consumer_msvc_cxx skipped: no clang-cl or llvm-dlltool "
                   "(Debian packages clang-tools-14, llvm-14)")
  endif()
endif()
add_test(NAME consumer_build
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DWORK=${work} -DVERSION=${PROJECT_VERSION}
          -DGENERATOR=${CMAKE_GENERATOR} ${toolchain} ${msvc_tools} -P ${CMAKE_CURRENT_LIST_DIR}/build.cmake)
set_tests_properties(consumer_build PROPERTIES FIXTURES_SETUP zq_consumers)

set(vectors ${PROJECT_SOURCE_DIR}/tests/vectors)
file(STRINGS ${vectors}/md5.txt md5 REGEX "^(In|Digest) = ?[0-9a-f]*$")
list(GET md5 4 message)  # "abc"
list(GET md5 5 message_digest)
file(STRINGS ${vectors}/rsa_md5_signatures.txt rsa REGEX "^(Key|Digest|Signature) = [0-9a-f]+$")
list(SUBLIST rsa 0 3 rsa)
set(arguments)
foreach(line IN ITEMS ${message} ${message_digest} ${rsa})
  string(REGEX REPLACE "^[A-Za-z]+ = ?" "" value "${line}")
  list(APPEND arguments ${value})
endforeach()

set(hosts cmake_c cmake_cxx pkgconfig)
if(WIN32)
  list(APPEND hosts msvc_lib load_library)
  if(msvc_tools)
    list(APPEND hosts msvc_c msvc_cxx)
  endif()
else()
  list(APPEND hosts static)
  add_test(NAME consumer_static_symbols
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DLIBRARY=$<TARGET_FILE:zqcrypt_static>
            -P ${CMAKE_CURRENT_LIST_DIR}/check_static.cmake)
endif()
foreach(host IN LISTS hosts)
  add_test(NAME consumer_${host}
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} ${work}/hosts/${host}${CMAKE_EXECUTABLE_SUFFIX} ${arguments}
    WORKING_DIRECTORY ${work}/hosts)
  set_tests_properties(consumer_${host} PROPERTIES FIXTURES_REQUIRED zq_consumers
    ENVIRONMENT "WINEDEBUG=-all")
endforeach()
