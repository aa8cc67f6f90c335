# The same commit built in two folders gives the same bytes: no folder name
# reaches an object file through __FILE__ or debug information. The coverage
# build turns this off, since its report finds the sources by their paths.
option(ZQ_MAP_PATHS "Keep the build's folder names out of what it compiles" ON)
if(ZQ_MAP_PATHS)
  set(maps -ffile-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
  add_compile_options(${maps})
  # Link-time optimisation compiles once more at the link, in the folder it
  # links in, and writes that folder into the line table unless the link is
  # given the maps too (Debian's build gives its own through CXXFLAGS, which
  # reach the link, but not from a folder whose path holds a space).
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_link_options(${maps})
  endif()
endif()
