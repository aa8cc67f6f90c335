# zq_import_definitions(<dll.def> <import.def>)
# Writes the definition file that dlltool builds the import libraries from.
# The DLL's own file exports "_zqCryptBlobClear@4 = zqCryptBlobClear@4 @1";
# a host's compiler refers to that function as _zqCryptBlobClear@4 and to its
# import slot as __imp__zqCryptBlobClear@4, which dlltool derives from
# "zqCryptBlobClear@4" by adding the i386 underscore. "== <name>" then keeps
# the name the loader must look up in the DLL, and the ordinal is the hint.
find_program(ZQ_DLLTOOL NAMES i686-w64-mingw32-dlltool REQUIRED)
set(ZQ_IMPORT_DEF ${CMAKE_BINARY_DIR}/lib/zqcrypt.def)
set(ZQ_MSVC_IMPORT_LIBRARY ${CMAKE_BINARY_DIR}/lib/zqcrypt.lib)

function(zq_import_definitions dll_def import_def)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${dll_def})
  file(STRINGS ${dll_def} lines REGEX "^ *_[A-Za-z]+@[0-9]+ = [A-Za-z]+@[0-9]+ @[0-9]+ *$")
  set(content "; zqcrypt.dll: decorated stdcall names and ordinals, for import libraries.\n")
  string(APPEND content "LIBRARY zqcrypt.dll\nEXPORTS\n")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^ *(_[A-Za-z]+@[0-9]+) = ([A-Za-z]+@[0-9]+) (@[0-9]+) *$"
                         "    \\2 \\3 == \\1\n" entry "${line}")
    string(APPEND content "${entry}")
  endforeach()
  list(LENGTH lines count)
  if(count EQUAL 0)
    message(FATAL_ERROR "no exports found in ${dll_def}")
  endif()
  file(CONFIGURE OUTPUT ${import_def} CONTENT "${content}" @ONLY)
endfunction()
