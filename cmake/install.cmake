# cmake --install: the header, the libraries, the CMake package (the
# zqcrypt::zqcrypt target, same-major compatible) and zqcrypt.pc, under the
# GNU folders of the prefix; on Windows also the MSVC import library and the
# definition file it comes from. Nothing of this records the prefix itself,
# so an installed tree can be moved.
include(CMakePackageConfigHelpers)
set(ZQ_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zqcrypt)

install(FILES include/zqcrypt.h ${PROJECT_BINARY_DIR}/include/zqcrypt_version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
set(targets zqcrypt)
if(TARGET zqcrypt_static)
  list(APPEND targets zqcrypt_static)
endif()
install(TARGETS ${targets} EXPORT zqcryptTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(WIN32)
  install(FILES ${ZQ_MSVC_IMPORT_LIBRARY} ${ZQ_IMPORT_DEF} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zqcrypt)

install(EXPORT zqcryptTargets NAMESPACE zqcrypt:: DESTINATION ${ZQ_CMAKE_DIR})
configure_package_config_file(cmake/zqcryptConfig.cmake.in
  ${PROJECT_BINARY_DIR}/zqcryptConfig.cmake INSTALL_DESTINATION ${ZQ_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zqcryptConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zqcryptConfig.cmake ${PROJECT_BINARY_DIR}/zqcryptConfigVersion.cmake
        DESTINATION ${ZQ_CMAKE_DIR})

# zqcrypt.pc finds the prefix from its own folder (pkg-config's ${pcfiledir}).
file(RELATIVE_PATH ZQ_PC_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" ZQ_PC_PREFIX "${ZQ_PC_PREFIX}")
configure_file(cmake/zqcrypt.pc.in ${PROJECT_BINARY_DIR}/zqcrypt.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zqcrypt.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
