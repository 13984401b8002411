# 64-bit Windows: zephlog.dll for x86-64, cross-built with mingw-w64 and run under Wine.
#   cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(zephlog_mingw_triple x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# The C++ runtime, libgcc and winpthread are linked in statically: the DLL and the test programs then need only
# system DLLs. Exceptions still cross from the DLL into the caller, because x86-64 unwinds through the system's
# table-based unwinder, which knows every module.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests run under Wine 8, in a prefix of the build tree, with no display, so that the error box returns at once.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env -u DISPLAY -u WAYLAND_DISPLAY
    WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
    /usr/lib/wine/wine64)
