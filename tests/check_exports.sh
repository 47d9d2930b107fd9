#!/bin/sh
# Usage: check_exports.sh LIBRARY NAME...
# Fails unless the dynamic symbols the library defines are exactly NAME...
library=$1
shift
expected=$(printf '%s\n' "$@" | sort)
actual=$(nm -D --defined-only "$library" | awk '{print $3}' | sort)
if [ "$expected" != "$actual" ]; then
  echo "defined dynamic symbols differ from the export list:"
  printf '%s\n' "$expected" > /tmp/vqhw_expected.$$
  printf '%s\n' "$actual" | diff /tmp/vqhw_expected.$$ - 
  rm -f /tmp/vqhw_expected.$$
  exit 1
fi
echo "$(printf '%s\n' "$actual" | wc -l) export names, nothing else"
