#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (build/fuzz) and runs
# each for SECONDS (default 3600) on a scratch copy of its checked-in
# corpus, JOBS targets at a time (VQHW_FUZZ_JOBS, default 2: one a core).
# With --merge, the inputs that reach new code are merged into
# tests/fuzz/corpus. A finding stops that target's run and leaves its input
# in build/fuzz/findings/<target>, its log in build/fuzz/<target>.log; the
# script ends non-zero if any target found something. VQHW_FUZZ_TARGETS
# (names, as the corpus folders are named) runs only those.
# Usage: scripts/fuzz.sh [--merge] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VQHW_FUZZ_BUILD:-$root/build/fuzz}
jobs=${VQHW_FUZZ_JOBS:-2}
merge=0
if [ "${1:-}" = "--merge" ]; then
  merge=1
  shift
fi
seconds=${1:-3600}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVQHW_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVQHW_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" --target fuzz_targets -j2

# One target's run; its summary goes out in one piece, after it ends, so
# that the lines of two targets running side by side do not mix.
run_target() {
  local name=$1 corpus=$2
  local program="$build/tests/fuzz/${name}_fuzz"
  local work="$build/work/$name" findings="$build/findings/$name" log="$build/$name.log"
  local failed=0 summary
  rm -rf "$work"
  mkdir -p "$work" "$findings"
  cp "$corpus"* "$work"/
  if ! "$program" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$findings/" "$work" 2>"$log"; then
    failed=1
  fi
  summary="=== $name: ${seconds}s"$'\n'
  [ "$failed" = 0 ] || summary+="finding in $name: see $findings and $log"$'\n'
  summary+=$(grep -E 'stat::number_of_executed_units|stat::new_units_added|^#[0-9]+ +DONE' "$log" || true)
  echo "$summary"
  if [ "$merge" = 1 ]; then
    "$program" -merge=1 "$corpus" "$work" 2>>"$log" >/dev/null
  fi
  return "$failed"
}

failed=0
running=0
for corpus in "$root"/tests/fuzz/corpus/*/; do
  name=$(basename "$corpus")
  if [ -n "${VQHW_FUZZ_TARGETS:-}" ] && [[ " $VQHW_FUZZ_TARGETS " != *" $name "* ]]; then
    continue
  fi
  if [ ! -x "$build/tests/fuzz/${name}_fuzz" ]; then
    echo "=== $name: not built here, skipped"
    continue
  fi
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  run_target "$name" "$corpus" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
