#!/usr/bin/env bash
# Runs a command and passes when its exit status is the expected one.
#   exit_status.sh STATUS COMMAND...
expected=$1
shift
"$@"
status=$?
if [ "$status" -ne "$expected" ]; then
  echo "exit status $status, expected $expected"; exit 1
fi
echo "exit status $status"
