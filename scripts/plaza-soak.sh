#!/bin/bash
# The plaza soak: LANES lane processes (soak_driver, each its own library)
# run TRANSACTIONS transactions each against one vqhw-sim serving a reader
# a lane on TCP ports of 127.0.0.1, while the virtual reader's resident
# memory, descriptors and threads are sampled from /proc. Ends non-zero when
# a lane had a failure or the virtual reader's descriptors and threads,
# once the lanes are gone, are not where they were before the lanes came.
# Not part of CI.
#
#   scripts/plaza-soak.sh BUILD_DIR [LANES [TRANSACTIONS [LINE]]]   (16, 100000, socket)
#
# LINE is socket or rfc2217; VQHW_PLAZA_TIMING=real gives the readers
# their line and card time (default: instant). BUILD_DIR is a native build
# (cmake --build BUILD_DIR --target soak_driver vqhw-sim).
set -euo pipefail
build=${1:?usage: plaza-soak.sh BUILD_DIR [LANES [TRANSACTIONS [LINE]]]}
lanes=${2:-16}
transactions=${3:-100000}
line=${4:-socket}
timing=${VQHW_PLAZA_TIMING:-instant}
sim=$build/sim/vqhw-sim
driver=$build/bench/soak_driver
for program in "$sim" "$driver"; do
  [[ -x $program ]] || { echo "plaza-soak: $program is not built" >&2; exit 2; }
done

work=$(mktemp -d)
listens=()
for _ in $(seq "$lanes"); do listens+=(--listen "$line://127.0.0.1:0"); done
"$sim" --timing "$timing" "${listens[@]}" > "$work/ports" 2> "$work/sim.log" &
sim_pid=$!
lane_pids=()
stop() {
  for pid in "${lane_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap stop EXIT
for _ in $(seq 100); do
  [[ $(wc -l < "$work/ports") -ge $lanes ]] && break
  sleep 0.1
done
[[ $(wc -l < "$work/ports") -ge $lanes ]] || { echo "plaza-soak: vqhw-sim gave no ports" >&2; exit 1; }

figures() {  # rss kB, descriptors, threads of the virtual reader
  local rss threads
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$sim_pid/status")
  threads=$(awk '/^Threads:/ {print $2}' "/proc/$sim_pid/status")
  echo "rss $rss kB, descriptors $(ls "/proc/$sim_pid/fd" | wc -l), threads $threads"
}
before=$(figures)
echo "plaza-soak: $lanes lanes x $transactions transactions on $line://, $timing timing"
echo "vqhw-sim before the lanes: $before"
start=$(date +%s%N)
i=0
while read -r url; do
  i=$((i + 1))
  VQHW_COM1=$url "$driver" "$transactions" > "$work/lane-$i.log" 2>&1 &
  lane_pids+=($!)
done < "$work/ports"
failed=0
samples=0
while :; do
  running=0
  for pid in "${lane_pids[@]}"; do kill -0 "$pid" 2>/dev/null && running=$((running + 1)); done
  [[ $running -eq 0 ]] && break
  samples=$((samples + 1))
  (( samples % 10 == 0 )) && echo "vqhw-sim with $running lanes running: $(figures)"
  sleep 1
done
for pid in "${lane_pids[@]}"; do wait "$pid" || failed=$((failed + 1)); done
ms=$(( ($(date +%s%N) - start) / 1000000 ))
lane_pids=()
sleep 0.5  # the virtual reader sees the last lanes go
after=$(figures)
echo "vqhw-sim after the lanes:  $after"
grep -h "transactions in" "$work"/lane-*.log | awk '{n += $1; f += $(NF-1)} END {printf "lanes: %d transactions, %d failed\n", n, f}'
grep -h "^start\|^end" "$work/lane-1.log" | sed 's/^/lane 1 /'
echo "wall time: ${ms} ms; lanes that failed: $failed"
flat() { echo "$1" | sed 's/rss [0-9]* kB, //'; }
if [[ $failed -ne 0 || $(flat "$before") != $(flat "$after") ]]; then
  echo "plaza-soak: FAILED"
  exit 1
fi
echo "plaza-soak: passed"
