# Installation: headers, the library, a CMake package (find_package(zephlog) gives zephlog::zephlog) and a
# relocatable pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(zephlog_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/zephlog)
set(zephlog_pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS zephlog EXPORT zephlogTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/zephlog.h include/zephlog_strings.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT zephlogTargets NAMESPACE zephlog:: DESTINATION ${zephlog_cmake_dir})

configure_package_config_file(cmake/zephlogConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/zephlogConfig.cmake
  INSTALL_DESTINATION ${zephlog_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/zephlogConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zephlogConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/zephlogConfigVersion.cmake
  DESTINATION ${zephlog_cmake_dir})

# The .pc file finds its prefix from its own place, so the package can be installed under any prefix.
file(RELATIVE_PATH zephlog_pc_to_prefix /${zephlog_pkgconfig_dir} /)
string(REGEX REPLACE "/$" "" zephlog_pc_to_prefix "${zephlog_pc_to_prefix}")
if(WIN32)
  set(zephlog_pc_link_flags "")
else()
  set(zephlog_pc_link_flags "-Wl,--export-dynamic-symbol=zephlog_string_table")
endif()
configure_file(cmake/zephlog.pc.in ${CMAKE_CURRENT_BINARY_DIR}/zephlog.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zephlog.pc DESTINATION ${zephlog_pkgconfig_dir})
