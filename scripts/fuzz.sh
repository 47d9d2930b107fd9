#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (build/fuzz) and runs
# each for SECONDS (default 3600) on a scratch copy of its checked-in
# corpus. With --merge, the inputs that reach new code are merged into
# tests/fuzz/corpus. A finding stops that target's run and leaves its input
# in build/fuzz/findings/<target>; the script ends non-zero if any target
# found something.
# Usage: scripts/fuzz.sh [--merge] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VQHW_FUZZ_BUILD:-$root/build/fuzz}
merge=0
if [ "${1:-}" = "--merge" ]; then
  merge=1
  shift
fi
seconds=${1:-3600}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVQHW_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVQHW_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" --target fuzz_targets -j2

failed=0
for corpus in "$root"/tests/fuzz/corpus/*/; do
  name=$(basename "$corpus")
  program="$build/tests/fuzz/${name}_fuzz"
  [ -x "$program" ] || { echo "=== $name: not built here, skipped"; continue; }
  work="$build/work/$name"
  findings="$build/findings/$name"
  rm -rf "$work"
  mkdir -p "$work" "$findings"
  cp "$corpus"* "$work"/
  echo "=== $name: ${seconds}s"
  if ! "$program" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$findings/" "$work" 2>"$build/$name.log"; then
    echo "finding in $name: see $findings and $build/$name.log"
    failed=1
  fi
  grep -E 'stat::number_of_executed_units|stat::new_units_added' "$build/$name.log" || true
  if [ "$merge" = 1 ]; then
    "$program" -merge=1 "$corpus" "$work" 2>>"$build/$name.log" >/dev/null
  fi
done
exit "$failed"
