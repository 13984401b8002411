#!/usr/bin/env bash
# Installs what the project needs on Debian 12, as root; packages already there are left alone.
#   scripts/deps.sh build   the library, tools and example
#   scripts/deps.sh test    also the tests, sanitizers, fuzzers, benchmarks and the Windows cross-build with Wine
set -euo pipefail

build_packages=(cmake ninja-build g++ pkg-config libboost-dev nlohmann-json3-dev libcli11-dev)
test_packages=(libgtest-dev googletest libbenchmark-dev clang-14 libclang-rt-14-dev
               g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64 wine64)

wanted=("${build_packages[@]}")
if [ "${1:-build}" = test ]; then wanted+=("${test_packages[@]}"); fi

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi
