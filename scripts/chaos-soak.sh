#!/bin/bash
# The chaos soak: TRANSACTIONS block transactions through the network port,
# in turns against ser2net in front of a virtual reader's pty and against
# the virtual reader's own TCP port (rfc2217:// and socket:// each), while
# the server is killed and started again at random moments and a proxy cuts
# connections mid-frame; ends non-zero on wrong data, a failure no outage
# explains, or descriptors and threads that did not come back to where they
# began. Needs ser2net. Not part of CI.
#
#   scripts/chaos-soak.sh BUILD_DIR [TRANSACTIONS [SEED]]     (default 1000000)
#
# BUILD_DIR is a native build (cmake --build BUILD_DIR --target chaos_soak).
set -euo pipefail
build=${1:?usage: chaos-soak.sh BUILD_DIR [TRANSACTIONS [SEED]]}
shift
program=$build/bench/chaos_soak
[[ -x $program ]] || { echo "chaos-soak: $program is not built" >&2; exit 2; }
exec "$program" "$@"
