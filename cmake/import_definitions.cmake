# zq_import_definitions(<dll.def> <import.def>)
# Writes the definition file that both import libraries are built from. The
# DLL's own file exports "_zqCryptBlobClear@4 = zqCryptBlobClear@4 @1"; a
# host's compiler refers to that function as _zqCryptBlobClear@4 and to its
# import slot as __imp__zqCryptBlobClear@4, and the loader must look up the
# same name. The import file lists it as MSVC's lib /def does,
# "_zqCryptBlobClear@4 @1": a decorated name taken as it stands, and the
# ordinal as the hint.
#
# zqcrypt.lib is written by lld-link from it as lib.exe writes one: short
# import members, which the linker completes itself. MSVC's x86 projects
# link with /SAFESEH, which refuses the objects dlltool writes for import
# libraries: they lack the mark (@feat.00) that says they hold no exception
# handlers. libzqcrypt.dll.a is written by MinGW's dlltool, told not to add
# an underscore of its own.
#
# The x86-64 DLL decorates nothing: its own file (zqcrypt64.def) lists the
# plain names at the same ordinals, "zqCryptBlobClear @1", which the import
# file repeats as they stand.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ZQ_DLL_DEF ${PROJECT_SOURCE_DIR}/src/frame/zqcrypt64.def)
  set(ZQ_LLD_MACHINE x64)
  find_program(ZQ_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)
else()
  set(ZQ_DLL_DEF ${PROJECT_SOURCE_DIR}/src/frame/zqcrypt.def)
  set(ZQ_LLD_MACHINE x86)
  find_program(ZQ_DLLTOOL NAMES i686-w64-mingw32-dlltool REQUIRED)
endif()
find_program(ZQ_LLD_LINK NAMES lld-link PATHS /usr/lib/llvm-14/bin REQUIRED)
set(ZQ_IMPORT_DEF ${CMAKE_BINARY_DIR}/lib/zqcrypt.def)
set(ZQ_MSVC_IMPORT_LIBRARY ${CMAKE_BINARY_DIR}/lib/zqcrypt.lib)

function(zq_import_definitions dll_def import_def)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${dll_def})
  file(STRINGS ${dll_def} lines
    REGEX "^ *(_[A-Za-z]+@[0-9]+ = [A-Za-z]+@[0-9]+|[A-Za-z]+) @[0-9]+ *$")
  set(content "; zqcrypt.dll: decorated stdcall names and ordinals, for import libraries.\n")
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(content "; zqcrypt.dll (x86-64): names and ordinals, for import libraries.\n")
  endif()
  string(APPEND content "LIBRARY zqcrypt.dll\nEXPORTS\n")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^ *([_A-Za-z]+[@0-9]*)( = [A-Za-z]+@[0-9]+)? (@[0-9]+) *$"
                         "    \\1 \\3\n" entry "${line}")
    string(APPEND content "${entry}")
  endforeach()
  list(LENGTH lines count)
  if(count EQUAL 0)
    message(FATAL_ERROR "no exports found in ${dll_def}")
  endif()
  file(CONFIGURE OUTPUT ${import_def} CONTENT "${content}" @ONLY)
endfunction()
