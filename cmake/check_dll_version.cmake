# cmake -DDLL=<zqcrypt.dll> -DWINDRES=<windres> -DVERSION=<x.y.z> -P check_dll_version.cmake
# The DLL's version resource names the file and carries the project version,
# as numbers and as text.
execute_process(COMMAND ${WINDRES} -i ${DLL} -J coff -O rc
  OUTPUT_VARIABLE resource RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "windres could not read the resources of ${DLL}")
endif()
string(REPLACE "." ", " numbers "${VERSION}")
foreach(expected
    "FILEVERSION ${numbers}, 0" "PRODUCTVERSION ${numbers}, 0"
    "\"FileVersion\", \"${VERSION}\"" "\"ProductVersion\", \"${VERSION}\""
    "\"OriginalFilename\", \"zqcrypt.dll\"" "\"ProductName\", \"zqcrypt\""
    "\"FileDescription\", \"" "\"LegalCopyright\", \"")
  string(FIND "${resource}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "version resource lacks ${expected}\n${resource}")
  endif()
endforeach()
message(STATUS "version resource: ${VERSION}")
