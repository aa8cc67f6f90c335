# cmake -DBUILD_DIR=<zqcrypt build> -DWORK=<folder> -DVERSION=<x.y.z>
#       [-DTOOLCHAIN=<file>] [-DCLANG_CL=<path> -DLLD_LINK=<path> -DLLVM_DLLTOOL=<path>]
#       -DGENERATOR=<name> -P build.cmake
# Installs the build into <folder>/prefix, then configures and builds the
# consumer hosts in <folder>/hosts against that prefix alone (with the MSVC
# hosts when the three LLVM tools are given).
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK}/prefix
  COMMAND_ERROR_IS_FATAL ANY)
set(options -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=${WORK}/prefix
    -DZQ_EXPECTED_VERSION=${VERSION})
if(TOOLCHAIN)
  list(APPEND options -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
foreach(tool CLANG_CL LLD_LINK LLVM_DLLTOOL)
  if(${tool})
    list(APPEND options -DZQ_${tool}=${${tool}})
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${WORK}/hosts ${options}
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/hosts -j2 COMMAND_ERROR_IS_FATAL ANY)
