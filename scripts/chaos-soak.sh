#!/bin/bash
# The chaos soak: TRANSACTIONS block transactions through the network port,
# in turns against ser2net in front of a virtual reader's pty and against
# the virtual reader's own TCP port (rfc2217:// and socket:// each), while
# the server is killed and started again at random moments and a proxy cuts
# connections mid-frame; ends non-zero on wrong data, a failure no outage
# explains, or descriptors and threads that did not come back to where they
# began. Needs ser2net. Not part of CI.
#
#   scripts/chaos-soak.sh BUILD_DIR [TRANSACTIONS [SEED [LANES]]]   (1000000, from the clock, 1)
#
# LANES lane processes share the transactions, each with servers, a killer
# and a proxy of its own, and lane K the seed SEED+K: a lane mostly waits
# for its reader, so several lanes reach a million in hours fewer. Each
# lane's report is kept in the work folder printed at the start; the totals
# come last.
#
# BUILD_DIR is a native build (cmake --build BUILD_DIR --target chaos_soak).
set -euo pipefail
build=${1:?usage: chaos-soak.sh BUILD_DIR [TRANSACTIONS [SEED [LANES]]]}
transactions=${2:-1000000}
seed=${3:-$(( $(date +%s) % 1000000 ))}
lanes=${4:-1}
program=$build/bench/chaos_soak
[[ -x $program ]] || { echo "chaos-soak: $program is not built" >&2; exit 2; }
(( lanes >= 1 )) || { echo "chaos-soak: LANES must be at least 1" >&2; exit 2; }
(( lanes > 1 )) || exec "$program" "$transactions" "$seed"

# A lane counts a write and its read as two transactions: an even share each.
share=$(( (transactions / lanes + 1) / 2 * 2 ))
work=$(mktemp -d /tmp/vqhw-chaos-soak.XXXXXX)
echo "chaos soak: $lanes lanes of $share transactions, seeds $seed to $(( seed + lanes - 1 )); reports in $work"
pids=()
# Each lane in a session of its own, so that an interrupt stops its servers too.
trap 'for p in "${pids[@]}"; do kill -- -"$p" 2>/dev/null || true; done; wait; exit 130' INT TERM
for k in $(seq 0 $(( lanes - 1 ))); do
  setsid "$program" "$share" $(( seed + k )) > "$work/lane-$k.log" 2>&1 &
  pids+=($!)
done
started=$SECONDS
failed=0
for k in "${!pids[@]}"; do
  if ! wait "${pids[$k]}"; then
    echo "chaos-soak: lane $k FAILED (seed $(( seed + k ))):"
    failed=1
  fi
  sed "s/^/lane $k: /" "$work/lane-$k.log" | tail -n 6
done
seconds=$(( SECONDS - started ))
cat "$work"/lane-*.log | awk -v seconds="$seconds" -v lanes="$lanes" '
  /^export calls/ {
    gsub(/[,()]/, "")
    calls += $3; failed += $5; unexplained += $6; wrong += $12
  }
  /^outages/ {
    gsub(/[,;]/, "")
    outages += $2; cuts += $4; turns += $6
    for (i = 10; i < NF; i += 2) { code = $i; sub(/:$/, "", code); byStatus[code] += $(i + 1) }
  }
  /^chaos soak:/ { transactions += $3 }
  END {
    printf "all %d lanes: %d transactions in %d s, %.0f a second\n", lanes, transactions, seconds, transactions / seconds
    printf "export calls %d, failed %d (%d of them unexplained), wrong data %d\n", calls, failed, unexplained, wrong
    printf "outages %d, cuts %d, turns %d; failures by status:", outages, cuts, turns
    for (code in byStatus) printf " %s: %d", code, byStatus[code]
    printf "\n"
  }'
exit "$failed"
