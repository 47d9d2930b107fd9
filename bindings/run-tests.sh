#!/usr/bin/env bash
# Runs the bindings' tests against a build's library and virtual reader:
# the name check, the Python package (pytest), the C# binding (mcs, mono)
# and the Pascal unit (fpc).   Usage: bindings/run-tests.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: run-tests.sh BUILD_DIR}" && pwd)
python=${PYTHON:-/usr/bin/python3}
work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export VQHW_LIB=$build/src/libVqhwLib.so VQHW_SIM=$build/sim/vqhw-sim VQHW_TOOL=$build/tools/vqhw
export VQHW_EXAMPLES=$root/sim/examples LD_LIBRARY_PATH=$build/src${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}

echo "--- binding names against the export list, and the Python package"
(cd "$root/bindings" && PYTHONPATH=python "$python" -m pytest -q -p no:cacheprovider tests python/tests)

echo "--- C# under mono"
mcs -nologo -warnaserror -target:library -out:"$work/VqhwLib.dll" "$root/bindings/dotnet/VqhwLib.cs"
mcs -nologo -warnaserror -out:"$work/VqhwLibTests.exe" -r:"$work/VqhwLib.dll" -r:System.Core.dll \
  "$root/bindings/dotnet/tests/VqhwLibTests.cs"
mono "$work/VqhwLibTests.exe"

# vqhw-sim with a field, as port 1 (VQHW_COM1) until the next one starts.
# Each start prints its pty path into a file of its own: with one file, the
# wait could read the previous reader's path before the new one's shell
# emptied it, and that pty may by then be somebody else's.
sims=0
start_sim() {
  [ -n "$sim_pid" ] && kill "$sim_pid" && wait "$sim_pid" 2>/dev/null || true
  sims=$((sims + 1))
  local out="$work/sim$sims.out"
  "$VQHW_SIM" --field "$1" > "$out" &
  sim_pid=$!
  for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
  VQHW_COM1=$(head -n1 "$out")
  export VQHW_COM1
}

echo "--- Pascal (fpc)"
fpc_build() { fpc -Sew -FU"$work" -Fu"$root/bindings/pascal" -Fl"$build/src" -o"$work/$2" "$1" > "$work/fpc.log" || { cat "$work/fpc.log"; exit 1; }; }
fpc_build "$root/bindings/pascal/tests/VqhwLibTest.pas" VqhwLibTest
fpc_build "$root/bindings/pascal/example.pas" example
start_sim "$VQHW_EXAMPLES/lane.json"
"$work/VqhwLibTest" | grep -v '^ok'
"$work/example" mifare
start_sim "$VQHW_EXAMPLES/cpu-card.json"
"$work/example" cpu
