#!/usr/bin/env bash
# The main job: build everything, log entries from the example application into a log file in the build tree,
# and show them with the reader.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build

build=build/demo
log_file=$PWD/$build/LOGFILE.DAT
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEPHLOG_BUILD_TESTS=OFF \
  -DZEPHLOG_LOG_PATH="$log_file"
cmake --build "$build"

"$build/examples/zephlog_example"
echo "--- a fatal entry: its box text goes to standard error, the process ends with status 255"
status=0
"$build/examples/zephlog_example" --fatal || status=$?
echo "--- exit status $status"
