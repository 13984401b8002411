# Shared part of the mingw-w64 toolchain files: Debian's cross compilers (posix thread variant), windres, and
# Boost's headers from the build machine without the rest of its /usr/include.
#
# Set zephlog_mingw_triple before including this file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${zephlog_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${zephlog_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${zephlog_mingw_triple}-windres)
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${zephlog_mingw_triple})  # after any the user gives
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Boost.Format is header-only. /usr/include itself must not become an include directory (its C library headers
# would shadow mingw's), so a directory holding only a link to /usr/include/boost stands in for it.
set(zephlog_boost_root ${CMAKE_BINARY_DIR}/boost-headers)
if(NOT EXISTS ${zephlog_boost_root}/boost)
  file(MAKE_DIRECTORY ${zephlog_boost_root})
  file(CREATE_LINK /usr/include/boost ${zephlog_boost_root}/boost SYMBOLIC)
endif()
set(Boost_INCLUDE_DIR ${zephlog_boost_root} CACHE PATH "Boost headers for the Windows build")
set(Boost_NO_BOOST_CMAKE ON)
set(Boost_NO_SYSTEM_PATHS ON)
