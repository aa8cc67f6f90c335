# cmake --install: the header, the libraries, the CMake package (the
# zqcrypt::zqcrypt target, same-major compatible) and zqcrypt.pc, under the
# GNU folders of the prefix; on Windows also the MSVC import library and the
# definition file it comes from. Outside /usr and /usr/local nothing of this
# records the prefix itself, so an installed tree can be moved.
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

# zqcrypt.pc is written at install time, for the prefix installed into
# (cmake/install_pc.cmake).
install(CODE "
  set(ZQ_PC_TEMPLATE [[${PROJECT_SOURCE_DIR}/cmake/zqcrypt.pc.in]])
  set(ZQ_PC_OUTPUT [[${PROJECT_BINARY_DIR}/zqcrypt.pc]])
  set(ZQ_PC_LIBDIR [[${CMAKE_INSTALL_LIBDIR}]])
  set(ZQ_PC_INCLUDEDIR [[${CMAKE_INSTALL_INCLUDEDIR}]])
  set(ZQ_PC_VERSION [[${PROJECT_VERSION}]])
  include([[${PROJECT_SOURCE_DIR}/cmake/install_pc.cmake]])")
