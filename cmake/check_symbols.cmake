# cmake -DLIBRARY=<libzqcrypt.so> -P check_symbols.cmake
# The shared library makes visible exactly the seven exports and the two
# last-error functions, under their plain C names.
set(expected
  zqCryptBlobClear zqCryptBlobCopy zqCryptBlobInit zqCryptHashBuffer zqCryptUUDecode
  zqCryptUUEncode zqCryptVerifySignature zqGetLastError zqSetLastError)
execute_process(COMMAND nm -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(found)
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.+)$")
    list(APPEND found ${CMAKE_MATCH_1})
  endif()
endforeach()
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "visible symbols differ.\n  expected: ${expected}\n  found:    ${found}")
endif()
message(STATUS "visible symbols: ${found}")
