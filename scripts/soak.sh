#!/bin/bash
# A long run of transactions against vqhw-sim on a pty, with the library's
# process figures (resident memory, descriptors, threads) at start and end.
# Not part of CI.
#
#   scripts/soak.sh BUILD_DIR [TRANSACTIONS]     (default 1000000)
#
# BUILD_DIR is a native build with the tests and the virtual reader
# (cmake --build BUILD_DIR --target soak_driver vqhw-sim).
set -euo pipefail

build=${1:?usage: soak.sh BUILD_DIR [TRANSACTIONS]}
transactions=${2:-1000000}
sim=$build/sim/vqhw-sim
driver=$build/bench/soak_driver
for program in "$sim" "$driver"; do
  [[ -x $program ]] || { echo "soak: $program is not built" >&2; exit 2; }
done

pty_file=$(mktemp)
"$sim" > "$pty_file" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; rm -f "$pty_file"' EXIT
for _ in $(seq 50); do
  [[ -s $pty_file ]] && break
  sleep 0.1
done
pty=$(head -n 1 "$pty_file")
[[ -n $pty ]] || { echo "soak: vqhw-sim gave no pty" >&2; exit 1; }

echo "soak: $transactions transactions against vqhw-sim on $pty"
VQHW_COM1=$pty "$driver" "$transactions"
