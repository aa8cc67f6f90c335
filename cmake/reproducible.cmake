# The same commit built in two folders gives the same bytes: no folder name
# reaches an object file through __FILE__ or debug information.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
