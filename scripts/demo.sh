#!/usr/bin/env bash
# The main job: build everything, log entries from the example application into a log file in the build tree
# (no root needed), and show them with the reader.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build

build=build/demo
log_file=$PWD/$build/LOGFILE.DAT
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEPHLOG_BUILD_TESTS=OFF \
  -DZEPHLOG_LOG_PATH="$log_file" >/dev/null
cmake --build "$build" -j "$(nproc)"
zephlog=$build/tools/zephlog
# The example names its types itself; the reader is told the same names.
export ZEPHLOG_LABELS=INFO,NOTICE,WARNING,ERROR,CRITICAL,FATAL

rm -f "$log_file"  # a fresh ring, so that the demo shows one run
if [ -t 1 ]; then bold=$'\033[1m' plain=$'\033[0m'; else bold='' plain=''; fi
step() { printf '\n%s$ %s%s\n' "$bold" "$*" "$plain"; }

step "$build/examples/zephlog_example"
"$build/examples/zephlog_example"

step zephlog show
"$zephlog" show

step zephlog show -o json -n 2
"$zephlog" show -o json -n 2

step zephlog log 2 7 "Disk %1% is %2% full" /dev/sda 97%
"$zephlog" log 2 7 "Disk %1% is %2% full" /dev/sda 97%
"$zephlog" show -r -n 1

step zephlog verify
"$zephlog" verify

step "$build/examples/zephlog_example --fatal   # the box text goes to standard error, the entry is not stored"
status=0
"$build/examples/zephlog_example" --fatal || status=$?
echo "exit status $status"
step "zephlog show -n 1   # the newest entry is still the last one before the fatal entry"
"$zephlog" show -n 1
