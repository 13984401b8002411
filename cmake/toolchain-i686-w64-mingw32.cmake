# 32-bit Windows: zephlog.dll for x86, cross-built with mingw-w64. Built and checked here, not run: this
# machine's kernel cannot run 32-bit programs.
#   cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(zephlog_mingw_triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# The 32-bit compiler unwinds with DWARF tables that each copy of libgcc registers for its own module only, so an
# exception thrown in the DLL could not reach a caller in another module with a static libgcc. libgcc and
# winpthread therefore stay DLLs here (libgcc_s_dw2-1.dll, libwinpthread-1.dll, shipped next to zephlog.dll);
# only the C++ runtime is linked in.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libstdc++")
foreach(runtime_dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=${runtime_dll}
    OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  list(APPEND ZEPHLOG_RUNTIME_DLLS ${runtime_path})
endforeach()
