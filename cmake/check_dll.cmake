# cmake -DDLL=<zqcrypt.dll> -DOBJDUMP=<objdump> -P check_dll.cmake
# zqcrypt.dll is a PE32 image named zqcrypt.dll in its export directory, with
# exactly the seven decorated exports at ordinals 1 to 7, no import but
# KERNEL32.dll, from which only the seven heap, entry and last-error
# functions, and DllMain as its entry point. The x86-64 DLL (PE32+, the
# objdump of x86-64) is the same with the plain names, and carries unwind
# data.
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

if(OBJDUMP MATCHES "x86_64")
  if(NOT dump MATCHES "file format pei-x86-64")
    message(FATAL_ERROR "not a PE32+ (x86-64) image")
  endif()
  set(expected_exports
    "1 zqCryptBlobClear" "2 zqCryptBlobCopy" "3 zqCryptBlobInit" "4 zqCryptHashBuffer"
    "5 zqCryptUUDecode" "6 zqCryptUUEncode" "7 zqCryptVerifySignature")
  execute_process(COMMAND ${OBJDUMP} -h ${DLL} OUTPUT_VARIABLE sections COMMAND_ERROR_IS_FATAL ANY)
  if(NOT sections MATCHES " \\.pdata " OR NOT sections MATCHES " \\.xdata ")
    message(FATAL_ERROR "no unwind data (.pdata, .xdata)\n${sections}")
  endif()
else()
  if(NOT dump MATCHES "file format pei-i386")
    message(FATAL_ERROR "not a PE32 (i386) image")
  endif()
  set(expected_exports
    "1 _zqCryptBlobClear@4" "2 _zqCryptBlobCopy@8" "3 _zqCryptBlobInit@8" "4 _zqCryptHashBuffer@12"
    "5 _zqCryptUUDecode@12" "6 _zqCryptUUEncode@12" "7 _zqCryptVerifySignature@20")
endif()

# Export directory: name and the ordinal/name table.
if(NOT dump MATCHES "Name[ \t]+[0-9a-fA-F]+[ \t]+zqcrypt\\.dll")
  message(FATAL_ERROR "export directory does not name zqcrypt.dll\n${dump}")
endif()
if(NOT dump MATCHES "Ordinal Base[ \t]+1\n")
  message(FATAL_ERROR "ordinals do not start at 1\n${dump}")
endif()
# The address table has one entry per ordinal; the name table gives each
# name with its ordinal less the base.
string(REGEX MATCHALL "\\[ *[0-9]+\\] \\+base\\[ *[0-9]+\\]" addresses "${dump}")
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)+" names "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${names}")
set(exports)
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^\\[ *([0-9]+)\\] (.+)$" "\\1;\\2" pair "${row}")
  list(GET pair 0 index)
  list(GET pair 1 name)
  math(EXPR ordinal "${index} + 1")
  list(APPEND exports "${ordinal} ${name}")
endforeach()
list(LENGTH addresses address_count)
if(NOT exports STREQUAL expected_exports OR NOT address_count EQUAL 7)
  message(FATAL_ERROR "exports differ.\n  expected: ${expected_exports}\n  found:    ${exports} (${address_count} addresses)")
endif()
if(NOT dump MATCHES "AddressOfEntryPoint[ \t]+0*[1-9a-fA-F]")
  message(FATAL_ERROR "the DLL has no entry point")
endif()

# Imports: one DLL, a known set of functions.
string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${dump}")
if(NOT dlls STREQUAL "DLL Name: KERNEL32.dll")
  message(FATAL_ERROR "imports other than KERNEL32.dll: ${dlls}")
endif()
set(allowed DisableThreadLibraryCalls GetLastError HeapAlloc HeapCreate HeapDestroy HeapFree SetLastError)
string(REGEX MATCH "DLL Name: KERNEL32.dll\n[^\n]*\n([^\n]+\n)+" imports "${dump}")
string(REGEX MATCHALL "\n\t[0-9a-fA-F]+[ \t]+[0-9]+[ \t]+[A-Za-z]+" entries "${imports}")
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
