# The same commit built in two folders gives the same bytes: no folder name
# reaches an object file through __FILE__ or debug information. The coverage
# build turns this off, since its report finds the sources by their paths.
option(ZQ_MAP_PATHS "Keep the build's folder names out of what it compiles" ON)
if(ZQ_MAP_PATHS)
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
endif()
