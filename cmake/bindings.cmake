# Python and Mono, the hosts of the language bindings and their examples.
# They run against the shared library of a plain build (a sanitizer build's
# library needs its runtime loaded before the host starts). The Python and
# Mono programs of the build machine are x86-64 processes, which can load
# neither an i386 library nor a cross-built aarch64 one (linux-arm64): those
# builds instead run the Python tests in an interpreter linked with Debian's
# libpython of their machine, when that is installed.
option(ZQ_BINDINGS "Test the Python and .NET bindings and their examples (Linux; i386 and aarch64: Python only)" ON)
set(ZQ_PYTHON /usr/bin/python3 CACHE FILEPATH "Python with pytest that runs the package's tests")

set(ZQ_HOST_LANGUAGES OFF)
if(ZQ_BINDINGS AND ZQ_TESTS AND NOT WIN32 AND NOT ZQ_SANITIZE AND ZQ_X86 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ZQ_HOST_LANGUAGES ON)
  find_program(ZQ_MCS mcs)
  find_program(ZQ_MONO mono)
  execute_process(COMMAND ${ZQ_PYTHON} -c
    "import importlib.util as u; assert all(u.find_spec(m) for m in ('pytest', 'pip', 'ensurepip'))"
    RESULT_VARIABLE python_status OUTPUT_QUIET ERROR_QUIET)
  if(NOT ZQ_MCS OR NOT ZQ_MONO OR NOT python_status EQUAL 0)
    message(FATAL_ERROR "The bindings' tests need mcs and mono (mono-mcs, mono-runtime) and "
                        "${ZQ_PYTHON} with pytest, pip and venv's ensurepip; tools/install-deps.sh "
                        "installs them. Or configure with -DZQ_BINDINGS=OFF.")
  endif()
endif()

# ZQ_PYTHON_ARCHITECTURE: the machine, as Debian names it, of a build whose
# Python tests run in an interpreter linked with that machine's libpython
# (multiarch), under the toolchain's emulator if it has one; empty otherwise.
set(ZQ_PYTHON_ARCHITECTURE "")
if(ZQ_BINDINGS AND ZQ_TESTS AND NOT WIN32 AND NOT ZQ_SANITIZE AND NOT ZQ_HOST_LANGUAGES)
  if(ZQ_X86 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(ZQ_PYTHON_ARCHITECTURE i386)
  elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(ZQ_PYTHON_ARCHITECTURE arm64)
  endif()
endif()
if(ZQ_PYTHON_ARCHITECTURE)
  find_library(ZQ_LIBPYTHON NAMES libpython3.11.so.1.0 python3.11
    DOC "Debian's libpython of the target machine (libpython3.11:i386, libpython3.11:arm64), for the Python tests of its library")
endif()

# zq_mono_program(<target> <output.exe> <C# files>...) compiles the files with
# mcs into one program, warnings as errors.
function(zq_mono_program target output)
  get_filename_component(folder ${output} DIRECTORY)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${ZQ_MCS} -nologo -warnaserror+ -r:System.Core.dll -out:${output} ${ARGN}
    DEPENDS ${ARGN} VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()
