#!/usr/bin/env bash
# The shared library's dynamic symbol table holds our two functions and the exception's type information only.
set -euo pipefail
library=$1
ours=$(nm -D --defined-only "$library" | awk '{print $3}' | sort)
expected=$(printf '%s\n' _ZTIN7zephlog15expansion_errorE _ZTSN7zephlog15expansion_errorE \
  dll_set_zeph_log_inst dll_zeph_log_error | sort)
if [ "$ours" != "$expected" ]; then
  echo "unexpected exports:"; diff <(echo "$expected") <(echo "$ours"); exit 1
fi
echo "exports: ok"
