#!/usr/bin/env bash
# Builds and runs every test: the normal build and the TSan build (gcc), the
# ASan+UBSan build (clang) of the whole suite, the bindings' tests and a
# short fuzz run after the normal build, then the Windows DLLs under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
builds=${VQHW_BUILD_ROOT:-$root/build}

# Each phase ends with a line of its wall time and the processor time of
# the programs it ran, so a CI log shows where its minutes go.
phase_started=$SECONDS
phase_cpu=0
phase_name=
times_file=$(mktemp)
trap 'rm -f "$times_file"' EXIT
phase() {
  local cpu
  # times in a pipe or $(...) would run in a child, which has no children yet
  times >"$times_file"
  cpu=$(awk 'NR == 2 { split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%d", u[1] * 60 + u[2] + s[1] * 60 + s[2] }' "$times_file")
  if [ -n "$phase_name" ]; then
    echo "--- $phase_name: $((SECONDS - phase_started)) s, $((cpu - phase_cpu)) s of processor time"
  fi
  phase_name=$1
  phase_started=$SECONDS
  phase_cpu=$cpu
  [ -z "$phase_name" ] || echo "=== $phase_name ==="
}

run_suite() {
  local name=$1
  shift
  phase "$name build"
  cmake -S "$root" -B "$builds/$name" "$@" >/dev/null
  cmake --build "$builds/$name" -j"$(nproc)"
  phase "$name tests"
  (cd "$builds/$name" && ctest --output-on-failure -j2)
}

run_suite release -DCMAKE_BUILD_TYPE=Release
phase "bindings: Python, C#, Java and Pascal against the release library and vqhw-sim"
"$root/bindings/run-tests.sh" "$builds/release"
phase "release: install, packages, reference"
"$root/scripts/release-checks.sh" "$builds/release"
phase "fuzz: about 30 s a target under libFuzzer"
VQHW_FUZZ_BUILD="$builds/fuzz" "$root/scripts/fuzz.sh" 30
# clang builds the ASan+UBSan build in about half the time gcc takes, and
# the other builds stay gcc's: two compilers' warnings. TSan stays gcc's:
# clang 14's runtime fails its own check when a forked child detaches the
# thread its parent ran, which the library does after a fork.
run_suite asan -DCMAKE_BUILD_TYPE=Debug -DVQHW_SANITIZER=asan -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
run_suite tsan -DCMAKE_BUILD_TYPE=Debug -DVQHW_SANITIZER=tsan

if [ -x "$root/scripts/windows-tests.sh" ]; then
  phase "Windows DLLs under Wine"
  "$root/scripts/windows-tests.sh" "$builds/release"
fi
phase ""
echo "--- all: $SECONDS s"
