#!/usr/bin/env bash
# Builds and runs every test: the normal build, the ASan+UBSan build and the
# TSan build of the whole suite, the bindings' tests and a short fuzz run
# after the normal build, then the Windows DLLs under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
builds=${VQHW_BUILD_ROOT:-$root/build}

run_suite() {
  local name=$1
  shift
  echo "=== $name build ==="
  cmake -S "$root" -B "$builds/$name" "$@" >/dev/null
  cmake --build "$builds/$name" -j"$(nproc)"
  (cd "$builds/$name" && ctest --output-on-failure -j2)
}

run_suite release -DCMAKE_BUILD_TYPE=Release
echo "=== bindings: Python, C# and Pascal against the release library and vqhw-sim ==="
"$root/bindings/run-tests.sh" "$builds/release"
echo "=== release: install, packages, reference ==="
"$root/scripts/release-checks.sh" "$builds/release"
echo "=== fuzz: about 30 s a target under libFuzzer ==="
VQHW_FUZZ_BUILD="$builds/fuzz" "$root/scripts/fuzz.sh" 30
run_suite asan -DCMAKE_BUILD_TYPE=Debug -DVQHW_SANITIZER=asan
run_suite tsan -DCMAKE_BUILD_TYPE=Debug -DVQHW_SANITIZER=tsan

if [ -x "$root/scripts/windows-tests.sh" ]; then
  echo "=== Windows DLLs under Wine ==="
  "$root/scripts/windows-tests.sh" "$builds/release"
fi
