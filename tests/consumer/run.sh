#!/usr/bin/env bash
# Installs the built library into a scratch prefix and builds programs against it as a user would: with the CMake
# package and with pkg-config. Arguments: the build tree, the source of the consumer, a scratch directory.
set -euo pipefail
build=$1 source=$2 scratch=$3
rm -rf "$scratch" && mkdir -p "$scratch"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

expect_fatal() {  # program, expected text in its box
  local status=0 output
  output=$("$1" 2>&1) || status=$?
  [ "$status" -eq 255 ] || { echo "$1: status $status, expected 255"; exit 1; }
  grep -q "$2" <<<"$output" || { echo "$1: box text '$output' lacks '$2'"; exit 1; }
}

cmake -S "$source" -B "$scratch/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_RPATH="$prefix/lib" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
expect_fatal "$scratch/cmake/consumer_c" "consumer 00007 C-FATAL  | written from C"
"$scratch/cmake/consumer_cpp"

libdir=$(dirname "$(find "$prefix" -name zephlog.pc)")/..
export PKG_CONFIG_PATH=$libdir/pkgconfig
cc -o "$scratch/pkgconfig_c" "$source/consumer.c" $(pkg-config --cflags --libs zephlog) -Wl,-rpath,"$libdir"
expect_fatal "$scratch/pkgconfig_c" "consumer 00007 C-FATAL  | written from C"
echo "consumer: ok"
