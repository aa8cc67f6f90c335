# Warning settings shared by every target of the project.
add_library(zq_warnings INTERFACE)
target_compile_options(zq_warnings INTERFACE -Wall -Wextra)
if(ZQ_WERROR)
  target_compile_options(zq_warnings INTERFACE -Werror)
endif()

if(ZQ_SANITIZE)
  add_compile_options(-fsanitize=${ZQ_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${ZQ_SANITIZE})
endif()
