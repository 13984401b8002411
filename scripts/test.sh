#!/usr/bin/env bash
# Every test: the suite in a normal build, under ASan+UBSan and under TSan, the fuzzers briefly, and the Windows
# build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test

jobs=$(nproc)
run_suite() {  # name, ctest arguments..., then -- and cmake arguments
  local name=$1; shift
  local ctest_args=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do ctest_args+=("$1"); shift; done
  shift
  echo "=== $name"
  cmake -S . -B "build/$name" -G Ninja -DZEPHLOG_LOG_PATH="$PWD/build/$name/unused-LOGFILE.DAT" "$@" >/dev/null
  cmake --build "build/$name" -j "$jobs"
  ctest --test-dir "build/$name" --output-on-failure -j "$jobs" "${ctest_args[@]}"
}

run_suite normal -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEPHLOG_BUILD_BENCH=ON  # the benchmark is built, not run
run_suite asan -- -DCMAKE_BUILD_TYPE=Debug -DZEPHLOG_SANITIZE=address,undefined -DZEPHLOG_BUILD_EXAMPLES=OFF
run_suite tsan -L thread -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEPHLOG_SANITIZE=thread \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DZEPHLOG_BUILD_TOOLS=OFF -DZEPHLOG_BUILD_EXAMPLES=OFF

echo "=== fuzz"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEPHLOG_FUZZ=ON -DZEPHLOG_SANITIZE=address,undefined \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DZEPHLOG_BUILD_TESTS=OFF -DZEPHLOG_BUILD_EXAMPLES=OFF >/dev/null  # the tools: fuzz_decode reads with them
cmake --build build/fuzz -j "$jobs"
for fuzzer in build/fuzz/fuzz/fuzz_*; do
  name=$(basename "$fuzzer")
  work=build/fuzz/corpus/$name && mkdir -p "$work"  # new inputs go here; the committed seeds stay as they are
  "$fuzzer" -max_total_time="${ZEPHLOG_FUZZ_SECONDS:-30}" -print_final_stats=0 -artifact_prefix=build/fuzz/ "$work" "fuzz/corpus/$name" 2>&1 | tail -n 1
done

bash scripts/test-windows.sh
