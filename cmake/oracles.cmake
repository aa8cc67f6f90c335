# The independent implementations that tests and benchmarks compare against:
# GMP for integers, OpenSSL for digests, signatures, RC4 and Base64. The
# library itself never links them.
if(WIN32)
  return()
endif()
find_package(OpenSSL)
find_path(GMP_INCLUDE_DIR gmp.h)
find_library(GMP_LIBRARY gmp)
if(GMP_INCLUDE_DIR AND GMP_LIBRARY)
  add_library(zq_gmp INTERFACE)
  target_include_directories(zq_gmp INTERFACE ${GMP_INCLUDE_DIR})
  target_link_libraries(zq_gmp INTERFACE ${GMP_LIBRARY})
endif()
