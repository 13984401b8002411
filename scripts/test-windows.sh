#!/usr/bin/env bash
# The Windows build: zephlog.dll for x86-64, tested under Wine, and the 32-bit DLL, built and its exports checked
# (this machine cannot run 32-bit programs). Called by scripts/test.sh; runs on its own too.
#   build/win64   the 64-bit build, its tests and its Wine prefix (build/win64/wine-prefix)
#   build/win32   the 32-bit build
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

echo "=== win32 (build and exports only)"
cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEPHLOG_BUILD_TESTS=OFF -DZEPHLOG_BUILD_TOOLS=OFF >/dev/null
cmake --build build/win32 -j "$jobs"
tests/windows/exports.sh i686-w64-mingw32-objdump build/win32/src/zephlog.dll

echo "=== win64 (tests under Wine)"
cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEPHLOG_BUILD_TOOLS=OFF >/dev/null
cmake --build build/win64 -j "$jobs"

# One Wine prefix for every test, made once. A Wine server and the system's background programs are started
# here, detached from the tests' output and kept up until the end of the run: were the first test to start them,
# they would hold its output open and CTest would wait for them. Without a display the error box returns at once.
export WINEPREFIX=$PWD/build/win64/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver --persistent </dev/null >/dev/null 2>&1
trap '/usr/lib/wine/wineserver --kill' EXIT
/usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1  # creates the prefix the first time (about 15 s)
ctest --test-dir build/win64 --output-on-failure -j "$jobs"
