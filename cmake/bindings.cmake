# Python and Mono, the hosts of the language bindings and their examples.
# They run against the shared library of a plain build (a sanitizer build's
# library needs its runtime loaded before the host starts). The Python and
# Mono programs of the build machine are x86-64 processes, which cannot load
# an i386 library: the i386 build instead runs the Python tests in an
# interpreter linked with Debian's i386 libpython, when that is installed.
# Nor can they load an aarch64 library: a cross-built one (linux-arm64)
# leaves the bindings' tests to the x86 builds.
option(ZQ_BINDINGS "Test the Python and .NET bindings and their examples (x86-64 Linux)" ON)
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

set(ZQ_PYTHON_I386 OFF)
if(ZQ_BINDINGS AND ZQ_TESTS AND NOT WIN32 AND NOT ZQ_SANITIZE AND ZQ_X86 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(ZQ_PYTHON_I386 ON)
  find_library(ZQ_LIBPYTHON_I386 NAMES libpython3.11.so.1.0 python3.11
    DOC "Debian's i386 libpython (libpython3.11:i386), for the Python tests of the i386 library")
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
