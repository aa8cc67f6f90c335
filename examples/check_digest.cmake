# cmake -DMESSAGE=<text> -P check_digest.cmake -- <program> [arguments...]
# Runs the program with MESSAGE as its last argument and compares what it
# prints with the MD5 digest that CMake computes of MESSAGE.
set(command)
set(taking FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE ${last})
  if(taking)
    list(APPEND command "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} STREQUAL "--")
    set(taking TRUE)
  endif()
endforeach()
execute_process(COMMAND ${command} "${MESSAGE}"
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
string(STRIP "${output}" output)
string(MD5 expected "${MESSAGE}")
if(NOT status EQUAL 0 OR NOT output STREQUAL expected)
  message(FATAL_ERROR "${command}: status ${status}, printed \"${output}\", "
                      "expected \"${expected}\"\n${errors}")
endif()
message(STATUS "${expected}")
