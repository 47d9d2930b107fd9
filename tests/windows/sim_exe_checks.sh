#!/usr/bin/env bash
# The bundle's vqhw-sim.exe and vqhw.exe --sim under Wine, as a lane
# developer on Windows uses them. Called by scripts/windows-tests.sh with a
# prefix whose wineserver runs. Few Wine processes: one vqhw-sim.exe serves
# four readers for the lane programs, the Linux library's lane and live
# control; then one a scenario, two a replay, and vqhw.exe runs the demo.
#   - the cards' cipher (CNG) gives the known answers (vqhw_sim_cipher_test.exe);
#   - the bundle's two lane programs reach a reader over socket:// and
#     rfc2217://, the field file named with Windows separators;
#   - the Linux library reaches a reader (vqhw, and a lane in Python);
#   - ctl remove and ctl present while that lane holds its port;
#   - the panel (--http): the page and the readers served, a foreign origin
#     and a rebinding name refused, a lane's frames in its event stream, a
#     card removed through its API;
#   - a second vqhw-sim.exe on that control file is refused (69) and leaves it;
#   - a block read takes at least its line and card time and at most 5 ms more;
#   - a scenario: the card torn away during a purchase's DEBIT, which the
#     lane recovers once (the purse's record shows one debit);
#   - a session recorded from it replays, and a changed command is reported (79);
#   - vqhw.exe --sim demo completes its three transactions; their times are
#     printed beside the Linux tool's.
#
# Usage: sim_exe_checks.sh ARCH BUNDLE_DIR TESTS_DIR PREFIX NATIVE_BUILD WORK LANE_PORT
#   BUNDLE_DIR  the checked bundle's directory of this ARCH (x64/ or x86/, with
#               the two lane programs beside vqhw-sim.exe)
#   TESTS_DIR   the cross build's tests/windows (vqhw_sim_cipher_test.exe)
# Exits 1 when any check failed.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
arch=$1 dir=$2 tests=$3 prefix=$4 native=$5 work=$6 lane_port=$7
failures=0
sim_pid=""
fail() { printf 'FAILED: %s: %s\n' "$arch" "$*"; failures=$((failures + 1)); }
log() { printf '== %s: %s (at %d s)\n' "$arch" "$*" "$SECONDS"; }

loader=wine
[ "$arch" = win64 ] && loader=/usr/lib/wine/wine64
wine_run() { env WINEPREFIX="$prefix" WINEARCH="$arch" timeout -k 5 120 "$loader" "$@" < /dev/null; }
# A Linux path as Windows names it, backslashes and all.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# start_sim NAME LINES args...: vqhw-sim.exe in the background (its
# environment has sim_env besides Wine's), once it has printed its LINES
# port names into $work/NAME.out.
sim_env=()
start_sim() {
  local name=$1 lines=$2
  shift 2
  rm -f "$work/$name.out" "$work/$name.err"
  env WINEPREFIX="$prefix" WINEARCH="$arch" "${sim_env[@]}" timeout -k 5 300 "$loader" "$dir/vqhw-sim.exe" "$@" \
    > "$work/$name.out" 2> "$work/$name.err" < /dev/null &
  sim_pid=$!
  for _ in $(seq 200); do
    [ "$(tr -d '\r' < "$work/$name.out" | grep -c .)" -ge "$lines" ] && return 0
    kill -0 "$sim_pid" 2> /dev/null || break
    sleep 0.05
  done
  cat "$work/$name.err"
  fail "vqhw-sim.exe $* did not start"
  return 1
}

# stop_sim: Ctrl+C (Wine hands SIGINT to the console handler); the exit code.
stop_sim() {
  local status=0
  kill -INT "$sim_pid" 2> /dev/null || true
  wait "$sim_pid" || status=$?
  sim_pid=""
  return "$status"
}
trap '[ -z "$sim_pid" ] || kill "$sim_pid" 2> /dev/null || true' EXIT

port_name() { tr -d '\r' < "$work/$1.out" | sed -n "${2}p"; }

# --- The cipher -----------------------------------------------------------------

if wine_run "$tests/vqhw_sim_cipher_test.exe" > "$work/cipher.out" 2>&1; then
  log "the cards' cipher (CNG): $(tr -d '\r' < "$work/cipher.out" | tail -n 1)"
else
  cat "$work/cipher.out"; fail "the cards' cipher differs from the known answers"
fi

# --- One vqhw-sim.exe, four readers -----------------------------------------------

control='C:\vqhw-sim-tests.ctl'
record=$work/session.record  # the Linux tool's session with reader 3, for the replay
field=$(windows_path "$repo/tests/windows/lane_field.json")
phase=$SECONDS
if start_sim plaza 4 --field "$field" --control "$control" --http 127.0.0.1:0 --listen socket://127.0.0.1:0 \
     --listen rfc2217://127.0.0.1:0 --listen socket://127.0.0.1:0 --listen socket://:0; then
  expected="card 3A5F0C2108
block 4 4C414E45303720454E54525920202020"
  for reader in 1 2; do
    url=$(port_name plaza "$reader")
    if env WINEPREFIX="$prefix" WINEARCH="$arch" "VQHW_COM$lane_port=$url" timeout -k 5 60 "$loader" \
         "$dir/lane_check_mingw.exe" "$lane_port" > "$work/mingw-$reader.out" 2>&1 < /dev/null &&
       [ "$(tr -d '\r' < "$work/mingw-$reader.out" | grep -e '^card' -e '^block')" = "$expected" ]; then
      log "the MinGW lane program passed on vqhw-sim.exe over ${url%%:*}://"
    else
      cat "$work/mingw-$reader.out"; fail "the MinGW lane program on vqhw-sim.exe over $url"
    fi
    if env WINEPREFIX="$prefix" WINEARCH="$arch" "VQHW_COM$lane_port=$url" timeout -k 5 60 "$loader" \
         "$dir/lane_check_msvc.exe" > "$work/msvc-$reader.out" 2>&1 < /dev/null; then
      log "the lane program linked with VqhwLib.lib passed on vqhw-sim.exe over ${url%%:*}://"
    else
      cat "$work/msvc-$reader.out"; fail "the lane program linked with VqhwLib.lib on vqhw-sim.exe over $url"
    fi
  done

  # The Linux library's tool; then vqhw.exe records its session for the replay below.
  url=$(port_name plaza 3)
  if VQHW_COM1=$url timeout -k 5 60 "$native/tools/vqhw" --port 1 read 4 -k A0A1A2A3A4A5 \
       > "$work/linux-read.out" 2>&1 && grep -q "4C 41 4E 45 30 37 20 45 4E 54 52 59 20 20 20 20" "$work/linux-read.out"; then
    log "the Linux library read the block from vqhw-sim.exe over socket://"
  else
    cat "$work/linux-read.out"; fail "the Linux library's vqhw read 4 on vqhw-sim.exe over $url"
  fi
  wine_run "$dir/vqhw.exe" --device "$url" trace --record "$(windows_path "$record")" read 4 -k A0A1A2A3A4A5 \
    > "$work/record.out" 2>&1 || { cat "$work/record.out"; fail "vqhw.exe trace --record on vqhw-sim.exe"; }
  ctl="env WINEPREFIX=$prefix WINEARCH=$arch $loader $dir/vqhw-sim.exe ctl --socket '$control'"
  if VQHW_COM1=$url SIM_CTL="$ctl --reader 3" timeout -k 5 120 python3 "$repo/tests/windows/sim_lane.py" \
       "$native/src/libVqhwLib.so.0" present-remove "$(windows_path "$repo/tests/windows/cpu_card_field.json")" \
       > "$work/present-remove.out" 2>&1; then
    log "ctl remove and present while the Linux library's lane runs: $(tr '\n' ';' < "$work/present-remove.out")"
  else
    cat "$work/present-remove.out"; fail "ctl remove and present while a lane runs"
  fi
  if VQHW_COM1=$(port_name plaza 4) SIM_CTL="$ctl --reader 4" timeout -k 5 120 python3 \
       "$repo/tests/windows/sim_lane.py" "$native/src/libVqhwLib.so.0" paced-read > "$work/paced.out" 2>&1; then
    log "$(tail -n 1 "$work/paced.out")"
  else
    cat "$work/paced.out"; fail "paced block reads"
  fi
  panel=$(tr -d '\r' < "$work/plaza.err" | sed -n 's/^vqhw-sim: panel at //p')
  if python3 "$repo/tests/windows/panel_check.py" "$panel" 4 "$(port_name plaza 1)" "$native/tools/vqhw" \
       > "$work/panel.out" 2>&1; then
    log "the panel: $(tr '\n' ';' < "$work/panel.out")"
  else
    cat "$work/panel.out"; fail "the panel of vqhw-sim.exe"
  fi
  # A request without the control file's token is refused.
  port=$(tr -d '\r' < "$prefix/drive_c/vqhw-sim-tests.ctl" | sed -n '2s/ .*//p')
  reply=$(python3 -c 'import socket,sys; s=socket.create_connection(("127.0.0.1",int(sys.argv[1]))); s.sendall(b"state\n"); print(s.recv(200).decode())' "$port")
  [[ "$reply" == "error not allowed"* ]] || fail "a control request without the token was answered: $reply"
  # A second vqhw-sim.exe on the control path of a running one is refused, and the file stays the first one's.
  held=$(cat "$prefix/drive_c/vqhw-sim-tests.ctl")
  status=0
  env WINEPREFIX="$prefix" WINEARCH="$arch" timeout -k 5 30 "$loader" "$dir/vqhw-sim.exe" --control "$control" \
    > "$work/second-control.out" 2> "$work/second-control.err" < /dev/null || status=$?
  if [ "$status" = 69 ] && grep -q "is in use by another vqhw-sim" "$work/second-control.err" &&
     [ "$(cat "$prefix/drive_c/vqhw-sim-tests.ctl")" = "$held" ]; then
    log "a second vqhw-sim.exe on the control path was refused"
  else
    cat "$work/second-control.err"; fail "a second vqhw-sim.exe on the control path: exit $status, not 69 with the file kept"
  fi
  stop_sim || fail "vqhw-sim.exe exited $? at Ctrl+C, not 0"
  [ ! -e "$prefix/drive_c/vqhw-sim-tests.ctl" ] || fail "vqhw-sim.exe left its control file"
  log "one vqhw-sim.exe, four readers: $((SECONDS - phase)) s"
fi

# --- A serial port ------------------------------------------------------------------

# --device COM9, a pty joined by a null modem to another, where the Linux
# library's lane is; the modem lines faked so that Wine's port event wait
# works on a pty (VQHW_FAKE_MODEM_LINES, the preload of windows-tests.sh).
phase=$SECONDS
python3 "$repo/tests/windows/null_modem.py" > "$work/null-modem.out" 2>&1 &
modem_pid=$!
for _ in $(seq 100); do [ "$(grep -c . "$work/null-modem.out")" -ge 2 ] && break; sleep 0.05; done
ln -sfn "$(sed -n 1p "$work/null-modem.out")" "$prefix/dosdevices/com9"
[ -n "${VQHW_FAKE_MODEM_LINES:-}" ] && sim_env=("LD_PRELOAD=$VQHW_FAKE_MODEM_LINES")
if start_sim device 1 --device COM9 --field "$field"; then
  if VQHW_COM1=$(sed -n 2p "$work/null-modem.out") timeout -k 5 60 "$native/tools/vqhw" --port 1 card \
       > "$work/device-card.out" 2>&1 && grep -q 3A5F0C21 "$work/device-card.out"; then
    log "vqhw-sim.exe --device COM9 (a null modem to the Linux library) answered in $((SECONDS - phase)) s"
  else
    cat "$work/device-card.out" "$work/device.err"; fail "vqhw-sim.exe --device COM9 did not answer the Linux library"
  fi
  stop_sim || fail "vqhw-sim.exe --device exited $? at Ctrl+C, not 0"
fi
sim_env=()
kill "$modem_pid" 2> /dev/null || true
wait "$modem_pid" 2> /dev/null || true
rm -f "$prefix/dosdevices/com9"

# --- A torn purchase, recovered once ----------------------------------------------

phase=$SECONDS
if start_sim scenario 1 --scenario "$(windows_path "$repo/sim/examples/scenarios/torn-purchase.json")" \
     --listen socket://127.0.0.1:0; then
  if env WINEPREFIX="$prefix" WINEARCH="$arch" "VQHW_COM1=$(port_name scenario 1)" timeout -k 5 60 "$loader" \
       "$tests/vqhw_torn_purchase_lane.exe" 1 > "$work/torn.out" 2>&1 < /dev/null; then
    log "torn purchase scenario: $(tr -d '\r' < "$work/torn.out" | tr '\n' ';') in $((SECONDS - phase)) s"
  else
    cat "$work/torn.out"; fail "the lane's torn purchase on vqhw-sim.exe --scenario torn-purchase.json"
  fi
  stop_sim || fail "vqhw-sim.exe --scenario exited $? at Ctrl+C, not 0"
fi

# --- Replay -------------------------------------------------------------------------

phase=$SECONDS
if [ -s "$record" ] && start_sim replay 1 --replay "$(windows_path "$record")" --listen socket://127.0.0.1:0; then
  VQHW_COM1=$(port_name replay 1) timeout -k 5 60 "$native/tools/vqhw" --port 1 read 4 -k A0A1A2A3A4A5 \
    > "$work/replayed.out" 2>&1 || { cat "$work/replayed.out"; fail "the lane on the replay of its own session"; }
  if stop_sim; then
    log "replay: $(tr -d '\r' < "$work/replay.err" | tail -n 1)"
  else
    cat "$work/replay.err"; fail "the replay of the session as recorded exited non-zero"
  fi
fi
if [ -s "$record" ] && start_sim replay-changed 1 --replay "$(windows_path "$record")" --listen socket://127.0.0.1:0; then
  VQHW_COM1=$(port_name replay-changed 1) timeout -k 5 60 "$native/tools/vqhw" --port 1 read 5 -k A0A1A2A3A4A5 \
    > "$work/replay-changed.out" 2>&1 || true
  status=0
  wait "$sim_pid" || status=$?
  sim_pid=""
  if [ "$status" -eq 79 ] && grep -q "differs" "$work/replay-changed.err"; then
    log "replay of a changed command: exit 79, $(tr -d '\r' < "$work/replay-changed.err" | grep differs)"
  else
    cat "$work/replay-changed.err"; fail "the replay of a changed command exited $status, not 79"
  fi
  log "replay: $((SECONDS - phase)) s"
fi

# --- The demo -------------------------------------------------------------------------

phase=$SECONDS
demo_ms() { jq -r '[.transactions[] | "\(.transaction | split(": ") | last) \(.ms | floor) ms"] | join(", ")' "$1"; }
status=0
wine_run "$dir/vqhw.exe" --json --sim demo > "$work/demo.json" 2> "$work/demo.err" || status=$?
tr -d '\r' < "$work/demo.json" > "$work/demo.text"
if [ "$status" -eq 0 ] && [ "$(jq -r '[.mifare_one, .cpu_card, .torn_purchase] | join(" ")' \
     "$work/demo.text")" = "completed completed completed" ]; then
  "$native/tools/vqhw" --json --sim demo > "$work/demo-linux.json" 2>&1 || true
  log "vqhw.exe --sim demo completed its three transactions in $((SECONDS - phase)) s"
  log "demo under Wine: $(demo_ms "$work/demo.text")"
  log "demo on Linux:   $(demo_ms "$work/demo-linux.json")"
else
  cat "$work/demo.text" "$work/demo.err"; fail "vqhw.exe --sim demo exited $status"
fi

[ "$failures" -eq 0 ] || exit 1
