#!/usr/bin/env bash
# The store benchmark: per-call cost of a logging call against the floor of its system calls, and entries per
# second of 1 to 8 processes. Optimised build in build/bench; files go to a new directory under ${1:-build/bench}.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEPHLOG_BUILD_BENCH=ON \
  -DZEPHLOG_BUILD_TESTS=OFF -DZEPHLOG_BUILD_TOOLS=OFF -DZEPHLOG_BUILD_EXAMPLES=OFF \
  -DZEPHLOG_LOG_PATH="$PWD/build/bench/unused-LOGFILE.DAT" >/dev/null
cmake --build build/bench --target store_bench
build/bench/bench/store_bench "${1:-build/bench}"
