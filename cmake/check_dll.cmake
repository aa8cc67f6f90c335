# cmake -DDLL=<zqcrypt.dll> -DOBJDUMP=<objdump> -P check_dll.cmake
# zqcrypt.dll is a PE32 image named zqcrypt.dll in its export directory, with
# exactly the seven decorated exports at ordinals 1 to 7, no import but
# KERNEL32.dll, from which only the seven heap, entry and last-error
# functions, and DllMain as its entry point.
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

function(require condition text)
  if(NOT ${condition})
    message(FATAL_ERROR "${text}\n${dump}")
  endif()
endfunction()

string(FIND "${dump}" "file format pei-i386" pe32)
require("pe32 GREATER -1" "not a PE32 (i386) image")
string(FIND "${dump}" "Name 		" dummy)

# Export directory: name and the ordinal/name table.
if(NOT dump MATCHES "Name[ \t]+[0-9a-fA-F]+[ \t]+zqcrypt\\.dll")
  message(FATAL_ERROR "export directory does not name zqcrypt.dll\n${dump}")
endif()
set(expected_exports
  "1 _zqCryptBlobClear@4" "2 _zqCryptBlobCopy@8" "3 _zqCryptBlobInit@8" "4 _zqCryptHashBuffer@12"
  "5 _zqCryptUUDecode@12" "6 _zqCryptUUEncode@12" "7 _zqCryptVerifySignature@20")
string(REGEX MATCHALL "\\[ *[0-9]+\\] \\+base\\[ *[0-9]+\\] +[0-9a-fA-F]+ +_?[A-Za-z0-9_@]+" rows "${dump}")
set(exports)
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^\\[ *[0-9]+\\] \\+base\\[ *([0-9]+)\\] +[0-9a-fA-F]+ +(.+)$" "\\1 \\2" entry "${row}")
  list(APPEND exports "${entry}")
endforeach()
if(NOT exports STREQUAL expected_exports)
  message(FATAL_ERROR "exports differ.\n  expected: ${expected_exports}\n  found:    ${exports}")
endif()

# Imports: one DLL, a known set of functions.
string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${dump}")
if(NOT dlls STREQUAL "DLL Name: KERNEL32.dll")
  message(FATAL_ERROR "imports other than KERNEL32.dll: ${dlls}")
endif()
set(allowed DisableThreadLibraryCalls GetLastError HeapAlloc HeapCreate HeapDestroy HeapFree SetLastError)
string(REGEX MATCH "DLL Name: KERNEL32.dll.*" imports "${dump}")
string(REGEX MATCH "^[^\n]*\n[^\n]*\n((\t[0-9a-fA-F]+ +[0-9]+ +[A-Za-z]+\n)+)" table "${imports}")
string(REGEX MATCHALL "\t[0-9a-fA-F]+ +[0-9]+ +[A-Za-z]+" entries "${CMAKE_MATCH_1}")
set(imported)
foreach(entry IN LISTS entries)
  string(REGEX REPLACE ".* ([A-Za-z]+)$" "\\1" name "${entry}")
  list(APPEND imported ${name})
  list(FIND allowed ${name} index)
  if(index EQUAL -1)
    message(FATAL_ERROR "KERNEL32.dll import not allowed: ${name}")
  endif()
endforeach()
list(LENGTH imported count)
if(count EQUAL 0)
  message(FATAL_ERROR "no KERNEL32.dll import table found\n${dump}")
endif()
message(STATUS "exports: ${exports}")
message(STATUS "KERNEL32.dll imports: ${imported}")
