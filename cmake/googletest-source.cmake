# GoogleTest built for the target from Debian's sources (package googletest), for cross builds: the installed
# GTest package holds libraries for the build machine only. GoogleTest itself defines the GTest:: targets that
# find_package would.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GoogleTest is not written for our warning flags.
set_target_properties(gtest gtest_main PROPERTIES COMPILE_OPTIONS "")
