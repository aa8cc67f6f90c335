# Run by `cmake --install` (install(CODE) in install.cmake): writes zqcrypt.pc
# for the prefix actually installed into, which --prefix may change after the
# build, and installs it into <libdir>/pkgconfig.
#
# Under the system's prefixes, /usr and /usr/local, which pkg-config searches
# by itself and where nothing is moved, the file names the prefix outright
# (prefix=/usr): the flags are plain paths, and pkg-config leaves out
# -I/usr/include and -L/usr/lib/... as folders the compiler searches anyway.
# Anywhere else it finds the prefix from its own folder (${pcfiledir}/../..),
# so that a bundle or a tree under /opt can be moved and no build folder is
# written into it.
#
# Set before including: ZQ_PC_TEMPLATE, ZQ_PC_OUTPUT (the file written in the
# build tree), ZQ_PC_LIBDIR, ZQ_PC_INCLUDEDIR (relative to the prefix) and
# ZQ_PC_VERSION.
cmake_path(SET installed NORMALIZE "${CMAKE_INSTALL_PREFIX}/")
if(installed STREQUAL "/usr/" OR installed STREQUAL "/usr/local/")
  string(REGEX REPLACE "/$" "" ZQ_PC_PREFIX "${installed}")
else()
  file(RELATIVE_PATH up /prefix/${ZQ_PC_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" ZQ_PC_PREFIX "\${pcfiledir}/${up}")
endif()
configure_file(${ZQ_PC_TEMPLATE} ${ZQ_PC_OUTPUT} @ONLY)
file(INSTALL ${ZQ_PC_OUTPUT} DESTINATION "${CMAKE_INSTALL_PREFIX}/${ZQ_PC_LIBDIR}/pkgconfig")
