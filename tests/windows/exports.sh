#!/usr/bin/env bash
# zephlog.dll exports exactly our two functions, by their plain names (no leading underscore, no @n suffix).
#   exports.sh OBJDUMP DLL
set -euo pipefail
objdump=$1
dll=$2
names=$("$objdump" -p "$dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/ && NR > 1 {print $NF}' | sort)
expected=$(printf '%s\n' dll_set_zeph_log_inst dll_zeph_log_error)
if [ "$names" != "$expected" ]; then
  echo "unexpected exports of $dll:"; diff <(echo "$expected") <(echo "$names"); exit 1
fi
echo "exports of $(basename "$dll"): ok"
