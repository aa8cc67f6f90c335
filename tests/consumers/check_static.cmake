# cmake -DNM=<nm> -DLIBRARY=<libzqcrypt.a> -P check_static.cmake
# Every symbol the static library defines for a host to see is an export
# (zq...) or lives in the library's namespace (zq::...). The i386 compiler
# adds its position-independent code helpers, hidden and shared by every
# object that uses them.
execute_process(COMMAND ${NM} -g --defined-only -C ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "\n[0-9a-fA-F]+ [A-Za-z] [^\n]+" symbols "${listing}")
set(strays)
foreach(symbol IN LISTS symbols)
  string(REGEX REPLACE "^\n[0-9a-fA-F]+ [A-Za-z] " "" name "${symbol}")
  if(NOT name MATCHES "^(zq::|zq[A-Z]|__x86\\.get_pc_thunk\\.[a-z]+$)")
    list(APPEND strays "${name}")
  endif()
endforeach()
list(LENGTH symbols count)
if(count LESS 9 OR strays)
  message(FATAL_ERROR "${count} symbols; outside zq: ${strays}")
endif()
message(STATUS "${count} symbols, all zq")
