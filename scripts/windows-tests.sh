#!/usr/bin/env bash
# Builds the Windows DLLs (i686 and x86-64) with mingw-w64, checks what the
# DLLs export and import, makes the Windows bundle
# (scripts/windows-bundle.sh, into NATIVE_BUILD_DIR/packages) and checks it
# (tests/windows/check_bundle.sh), and runs the tests and the bundle's lane
# programs under Wine against virtual readers (vqhw-sim) on COM ports mapped
# to pseudo-terminals, and the bundle's vqhw.exe against them; then the
# bundle's vqhw-sim.exe and vqhw.exe --sim (tests/windows/sim_exe_checks.sh). Exits non-zero
# on any failure. Where Wine has no
# 32-bit loader (package wine32:i386), the 32-bit Wine runs are skipped with
# a message, decided before the builds: each cross build makes what the
# bundle takes (the DLL, vqhw.exe, vqhw-sim.exe) and, only for an
# architecture that runs under Wine here, the test programs of
# tests/windows; everything else still runs.
#
# Usage: scripts/windows-tests.sh [NATIVE_BUILD_DIR]
#   NATIVE_BUILD_DIR  a native build tree, configured if it is not (default: build);
#                     vqhw-sim and the HTML reference are built there
# Environment:
#   VQHW_WIN32_BUILD, VQHW_WIN64_BUILD  the cross build trees, both always built
#                     (default: NATIVE_BUILD_DIR-win32, NATIVE_BUILD_DIR-win64)
#   VQHW_WINE_ARCHES  which of them to run under Wine (default: "win32 win64");
#                     the others build no test programs
#   VQHW_SIM          a vqhw-sim to use instead of building one
#
# Needs: g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 gcc-multilib
#        doxygen clang lld llvm zip unzip jq.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
native=$(realpath -m "${1:-$repo/build}")
arches=${VQHW_WINE_ARCHES:-win32 win64}
jobs=2
started=$SECONDS

work=$(mktemp -d /tmp/vqhw-wine-XXXXXX)
sim_pids=()
server_prefix=""
failures=0
skipped=()

log() { printf '== %s\n' "$*"; }
fail() { printf 'FAILED: %s\n' "$*"; failures=$((failures + 1)); }

stop_sims() {
  local pid
  for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${sim_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  sim_pids=()
}

stop_server() {
  if [ -n "$server_prefix" ]; then
    WINEPREFIX=$server_prefix timeout -k 5 20 wineserver -k 2>/dev/null || true
    server_prefix=""
  fi
}

cleanup() {
  stop_sims
  stop_server
  rm -rf "$work"
}
trap cleanup EXIT

# --- Which architectures run under Wine -----------------------------------------

# Debian's wine runs 32-bit programs with this loader, from wine32:i386;
# a kernel without 32-bit support refuses to start it (exec format error).
declare -A under_wine=()
for arch in $arches; do
  case $arch in
    win32 | win64) ;;
    *) echo "VQHW_WINE_ARCHES: '$arch' is neither win32 nor win64"; exit 2 ;;
  esac
  if [ "$arch" = win32 ] && [ ! -x /usr/lib/wine/wine ]; then
    skipped+=("win32 under Wine: wine cannot run 32-bit programs here (no /usr/lib/wine/wine; install wine32:i386)")
    printf 'SKIPPED: %s\n' "${skipped[-1]}"
    continue
  fi
  if [ "$arch" = win32 ] && ! /usr/lib/wine/wine --version > /dev/null 2>&1; then
    skipped+=("win32 under Wine: this kernel does not run 32-bit programs (/usr/lib/wine/wine does not start)")
    printf 'SKIPPED: %s\n' "${skipped[-1]}"
    continue
  fi
  under_wine[$arch]=yes
done

# --- Builds -------------------------------------------------------------------

phase=$SECONDS
sim=${VQHW_SIM:-$native/sim/vqhw-sim}
if [ -z "${VQHW_SIM:-}" ]; then
  if [ ! -f "$native/CMakeCache.txt" ]; then
    cmake -S "$repo" -B "$native" > "$work/native-configure.log"
  fi
  cmake --build "$native" --target vqhw-sim vqhw -j"$jobs" > "$work/native-build.log" ||
    { cat "$work/native-build.log"; exit 1; }
fi
if [ ! -f "$native/CMakeCache.txt" ]; then
  cmake -S "$repo" -B "$native" > "$work/native-configure.log"
fi
cmake --build "$native" --target docs > "$work/native-docs.log" || { cat "$work/native-docs.log"; exit 1; }
# The Linux library, for the bundle's NuGet package and jar.
cmake --build "$native" --target VqhwLib -j"$jobs" > "$work/native-library.log" || { cat "$work/native-library.log"; exit 1; }

# The modem-line helper, one copy per architecture where '$LIB' finds it.
helper_dir=$work/fake-modem-lines
mkdir -p "$helper_dir/lib/i386-linux-gnu" "$helper_dir/lib/x86_64-linux-gnu"
gcc -m32 -shared -fPIC -O2 -Wall -Wextra -Werror -o "$helper_dir/lib/i386-linux-gnu/libvqhw_fake_modem_lines.so" \
  "$repo/tests/windows/fake_modem_lines.c" -ldl
gcc -m64 -shared -fPIC -O2 -Wall -Wextra -Werror -o "$helper_dir/lib/x86_64-linux-gnu/libvqhw_fake_modem_lines.so" \
  "$repo/tests/windows/fake_modem_lines.c" -ldl
helper_preload="$helper_dir/\$LIB/libvqhw_fake_modem_lines.so"

declare -A build_dir triplet
build_dir[win32]=${VQHW_WIN32_BUILD:-$native-win32}
build_dir[win64]=${VQHW_WIN64_BUILD:-$native-win64}
triplet[win32]=i686-w64-mingw32
triplet[win64]=x86_64-w64-mingw32
declare -A bundle_dir=([win32]=x86 [win64]=x64)
for arch in win32 win64; do
  dir=${build_dir[$arch]}
  cmake -S "$repo" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-${triplet[$arch]}.cmake" > "$work/$arch-configure.log" ||
    { cat "$work/$arch-configure.log"; exit 1; }
  # The bundle's programs (CMakeLists.txt) always; the test programs
  # (tests/windows/CMakeLists.txt) only where they run. Each set is one
  # target, whose programs make builds in parallel: the goals named on its
  # command line it builds one after the other.
  targets=(vqhw_windows_bundle_programs)
  [ -n "${under_wine[$arch]:-}" ] && targets+=(vqhw_wine_test_programs)
  cmake --build "$dir" --target "${targets[@]}" -j"$jobs" > "$work/$arch-build.log" ||
    { cat "$work/$arch-build.log"; exit 1; }
  log "$arch: built ${targets[*]}"
done
log "builds: $((SECONDS - phase)) s"

# --- What the DLLs export and import -----------------------------------------

expected_exports=$(grep -E '^[A-Za-z_]' "$repo/src/api/exports.list" | awk '{print $1}' | sort)
for arch in win32 win64; do
  dll=${build_dir[$arch]}/src/VqhwLib.dll
  dump=$("${triplet[$arch]}-objdump" -p "$dll")
  exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    awk '/^\t\[/{print $NF}' | sort)
  imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/{print $3}' | sort -u)
  if [ "$exports" != "$expected_exports" ]; then
    fail "$arch: the DLL's exports differ from src/api/exports.list"
    diff <(printf '%s\n' "$expected_exports") <(printf '%s\n' "$exports") || true
  fi
  for import in $imports; do
    case ${import,,} in
      kernel32.dll | msvcrt.dll | ntdll.dll | user32.dll | advapi32.dll | ws2_32.dll) ;;
      *) fail "$arch: the DLL imports $import, which Windows does not bring" ;;
    esac
  done
  log "$arch: $(printf '%s\n' "$exports" | wc -l) exports by plain name; imports:" $imports
done

# --- The Windows bundle --------------------------------------------------------

phase=$SECONDS
# The port of the virtual reader with the lane field file (see below).
lane_port=6
bundle=$("$repo/scripts/windows-bundle.sh" "${build_dir[win32]}" "${build_dir[win64]}" \
  "$native/packages" "$native/docs/html" "$native/src/libVqhwLib.so.0")
if "$repo/tests/windows/check_bundle.sh" "$bundle" "$work/bundle" "$lane_port"; then
  log "bundle: $bundle, checked in $((SECONDS - phase)) s"
else
  fail "the Windows bundle"
fi

# --- Wine ---------------------------------------------------------------------

export WINEDEBUG=-all
# Both DLLs read VQHW_COM<n> as the library does on Linux: a port named in
# the caller's environment would take the place of the mapped COM port.
for variable in $(compgen -e | grep '^VQHW_COM' || true); do unset "$variable"; done
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

# Virtual readers, one per kind, each behind its COM port (see setup.h);
# some with the cards of a field file in tests/windows.
sim_ports="1 2 3 4 6 7"
declare -A sim_options=([1]="" [2]="--no-psam" [3]="--silent 1000000" [4]="--silent 2" [6]="" [7]="")
# vqhw-sim alone serves a card: the readers whose field is empty say so.
declare -A sim_field=([1]=empty_field.json [2]=empty_field.json [3]=empty_field.json [4]=empty_field.json
  [6]=lane_field.json [7]=cpu_card_field.json)
missing_port=5
test_ports="--reader 1 --no-psam-reader 2 --silent-reader 3 --retry-reader 4 --missing-port $missing_port"
test_ports+=" --lane-reader 6 --cpu-card-reader 7"

start_sims() {
  local ports=$1 port out line field
  for port in $sim_ports; do
    out=$work/sim-com$port
    field=()
    [ -n "${sim_field[$port]:-}" ] && field=(--field "$repo/tests/windows/${sim_field[$port]}")
    # The previous run's file would name the previous reader's pty, which
    # another reader may have by now.
    rm -f "$out.out" "$out.err"
    # shellcheck disable=SC2086
    "$sim" --timing instant ${sim_options[$port]} "${field[@]}" > "$out.out" 2> "$out.err" &
    sim_pids+=($!)
    line=""
    for _ in $(seq 50); do
      line=$(head -n 1 "$out.out" 2>/dev/null || true)
      [ -n "$line" ] && break
      sleep 0.1
    done
    [ -n "$line" ] || { cat "$out.err"; echo "vqhw-sim did not start"; return 1; }
    ln -sfn "$line" "$ports/com$port"
  done
}

# A fresh prefix with its own server. Wine gives COM names to the host's
# serial devices; the registry entries keep COM1-COM7 for our links, and
# COM5 leads nowhere: the missing port.
prepare_prefix() {
  local arch=$1 prefix=$2 ports=$3 loader=wine
  # The 64-bit loader itself: Debian's wine script starts the 32-bit one
  # first when it is installed, which a kernel without 32-bit support refuses.
  [ "$arch" = win64 ] && loader=/usr/lib/wine/wine64
  mkdir -p "$ports"
  WINEPREFIX=$prefix wineserver -f -p > "$work/$arch-wineserver.log" 2>&1 &
  server_prefix=$prefix
  WINEPREFIX=$prefix WINEARCH=$arch timeout -k 5 120 "$loader" wineboot -u > "$work/$arch-wineboot.log" 2>&1 < /dev/null ||
    { cat "$work/$arch-wineboot.log"; return 1; }
  {
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
    for port in $sim_ports $missing_port; do printf '"COM%d"="%s/com%d"\n' "$port" "$ports" "$port"; done
  } > "$prefix/drive_c/ports.reg"
  WINEPREFIX=$prefix timeout -k 5 60 "$loader" regedit /s 'C:\ports.reg' > /dev/null 2>&1 < /dev/null
  for port in $sim_ports $missing_port; do ln -sfn "$ports/com$port" "$prefix/dosdevices/com$port"; done
}

# run_wine ARCH PREFIX LOG [env...] -- program args...
run_wine() {
  local arch=$1 prefix=$2 out=$3
  shift 3
  local environment=()
  while [ "$1" != "--" ]; do environment+=("$1"); shift; done
  shift
  local loader=wine
  [ "$arch" = win64 ] && loader=/usr/lib/wine/wine64
  env WINEPREFIX="$prefix" WINEARCH="$arch" "${environment[@]}" \
    timeout -k 5 180 "$loader" "$@" > "$out" 2>&1 < /dev/null
}

# The bundle's two lane programs against the lane reader: the MinGW one
# prints what lane_check.c prints, the one linked with VqhwLib.lib exits 0.
# check_lane_programs ARCH PREFIX LABEL [VAR=value ...]: with that environment.
check_lane_programs() {
  local arch=$1 prefix=$2 label=$3 dir=$work/bundle/${bundle_dir[$1]} output
  shift 3
  local expected="library $version
card 3A5F0C2108
block 4 4C414E45303720454E54525920202020"
  if [ -f "$dir/lane_check_mingw.exe" ] &&
     run_wine "$arch" "$prefix" "$work/$arch-bundle-mingw.out" "$@" -- "$dir/lane_check_mingw.exe" "$lane_port"; then
    output=$(tr -d '\r' < "$work/$arch-bundle-mingw.out")
    if [ "$(printf '%s\n' "$output" | grep -v '^reader ')" = "$expected" ] &&
       grep -q '^reader .' <<< "$output"; then
      log "$arch: the bundle's MinGW lane program passed$label"
    else
      printf '%s\n' "$output"; fail "$arch: the bundle's MinGW lane program printed the above$label"
    fi
  else
    cat "$work/$arch-bundle-mingw.out" 2>/dev/null || true; fail "$arch: the bundle's MinGW lane program$label"
  fi
  if [ -f "$dir/lane_check_msvc.exe" ] &&
     run_wine "$arch" "$prefix" "$work/$arch-bundle-msvc.out" "$@" -- "$dir/lane_check_msvc.exe"; then
    log "$arch: the bundle's lane program linked with VqhwLib.lib passed$label"
  else
    cat "$work/$arch-bundle-msvc.out" 2>/dev/null || true
    fail "$arch: the bundle's lane program linked with VqhwLib.lib$label (exit code: the failed step, see tests/windows/msvc_caller.c)"
  fi
}

run_bundle_programs() {
  start_sims "$3"
  check_lane_programs "$1" "$2" ""
  stop_sims
}

# A loopback port where nothing listens now.
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# The same programs through a real serial device server: ser2net in front of
# the lane reader's pty, the DLL reaching it as VQHW_COM<n>=rfc2217://... and
# socket://..., with no COM port on its side.
run_network_programs() {
  local arch=$1 prefix=$2 ports=$3 rfc2217 raw device ser2net_pid url
  start_sims "$ports"
  device=$(readlink "$ports/com$lane_port")
  rfc2217=$(free_port)
  raw=$(free_port)
  "$repo/tests/network/ser2net-front.sh" "$device" "$rfc2217" "$raw" "$work/ser2net-$arch" \
    > "$work/ser2net-$arch.log" 2>&1 &
  ser2net_pid=$!
  for _ in $(seq 100); do
    (exec 3<> "/dev/tcp/127.0.0.1/$raw") 2> /dev/null && break
    sleep 0.05
  done
  local network_port=8 tests=${build_dir[$arch]}/tests/windows
  for url in "rfc2217://127.0.0.1:$rfc2217" "socket://127.0.0.1:$raw"; do
    check_lane_programs "$arch" "$prefix" " over $url" "VQHW_COM$lane_port=$url"
    rm -f "$prefix/drive_c/network-trace.log"
    if run_wine "$arch" "$prefix" "$work/$arch-network-unload.out" "VQHW_COM$network_port=$url" \
         'VQHW_TRACE=C:\network-trace.log' -- \
         "$tests/vqhw_wine_tests.exe" --network-reader "$network_port" --only unload_with_a_network_port_open; then
      grep -v '^\[ RUN' "$work/$arch-network-unload.out" || true
    else
      cat "$work/$arch-network-unload.out" "$prefix/drive_c/network-trace.log"
      fail "$arch: unload with a network port open over $url"
    fi
  done
  kill "$ser2net_pid" 2> /dev/null || true
  wait "$ser2net_pid" 2> /dev/null || true
  stop_sims
}

# The bundle's vqhw.exe as people run it on a lane PC: the exit code and
# what it prints (stdout and stderr apart), checked for the bytes that must
# be there rather than for the wording.
# tool_run ARCH PREFIX NAME args...: the files $work/ARCH-tool-NAME.{out,err,status};
# the environment has tool_environment (VAR=value ...) besides Wine's.
tool_environment=()
tool_run() {
  local arch=$1 prefix=$2 name=$3 status=0
  shift 3
  local loader=wine out=$work/$arch-tool-$name
  [ "$arch" = win64 ] && loader=/usr/lib/wine/wine64
  env WINEPREFIX="$prefix" WINEARCH="$arch" "${tool_environment[@]}" timeout -k 5 60 "$loader" "$work/bundle/${bundle_dir[$arch]}/vqhw.exe" "$@" \
    > "$out.out" 2> "$out.err" < /dev/null || status=$?
  tr -d '\r' < "$out.out" > "$out.text"
  echo "$status" > "$out.status"
}

# tool_check ARCH PREFIX NAME EXIT TEXT args...: vqhw.exe args exits with
# EXIT ("failure": any code but 0 and the usage code 64) and prints TEXT
# (blanks ignored) on stdout, or on stderr where it fails. Sets tool_passed.
tool_passed=no
tool_check() {
  local arch=$1 prefix=$2 name=$3 expected=$4 text=$5 status printed
  shift 5
  tool_passed=no
  tool_run "$arch" "$prefix" "$name" "$@"
  status=$(cat "$work/$arch-tool-$name.status")
  printed=$(cat "$work/$arch-tool-$name.text" "$work/$arch-tool-$name.err" | tr -d ' \r')
  if { [ "$expected" = failure ] && { [ "$status" -eq 0 ] || [ "$status" -eq 64 ]; }; } ||
     { [ "$expected" != failure ] && [ "$status" -ne "$expected" ]; } ||
     [[ "$printed" != *"${text// /}"* ]]; then
    printf 'vqhw.exe %s: exit code %s (expected %s), output:\n' "$*" "$status" "$expected"
    cat "$work/$arch-tool-$name.out" "$work/$arch-tool-$name.err"
    fail "$arch: vqhw.exe $name"
    return 0
  fi
  tool_passed=yes
}

# tool_check_json ARCH PREFIX NAME EXIT TEXT args...: the same for a --json
# run, whose stdout must be one JSON document.
tool_check_json() {
  local arch=$1 name=$3
  tool_check "$@"
  [ "$tool_passed" = yes ] || return 0
  jq -e . "$work/$arch-tool-$name.text" > /dev/null 2>&1 || fail "$arch: vqhw.exe $name: stdout is no JSON document"
}

run_tool_checks() {
  local arch=$1 prefix=$2 ports=$3 lane=$lane_port cpu=7 silent=3 keys frames temporary
  keys=(-k FFFFFFFFFFFF -k A0A1A2A3A4A5 -k C0C1C2C3C4C5)
  start_sims "$ports"
  # The reader's information line holds GBK text; as UTF-8 it names the speed.
  tool_check "$arch" "$prefix" info 0 "通讯速率" --port "$lane" info
  tool_check "$arch" "$prefix" status 0 "天线范围内无卡" status -101
  tool_check "$arch" "$prefix" card 0 3A5F0C21 --port "$lane" card
  tool_check "$arch" "$prefix" read 0 4C414E45303720454E54525920202020 --port "$lane" read 4 5 -k A0A1A2A3A4A5
  tool_check "$arch" "$prefix" read-refused 103 -103 --port "$lane" read 4
  tool_check "$arch" "$prefix" write 0 "" --port "$lane" write 13 0102030405060708090A0B0C0D0E0F10 -k C0C1C2C3C4C5
  tool_check "$arch" "$prefix" read-back 0 0102030405060708090A0B0C0D0E0F10 --port "$lane" read 13 -k C0C1C2C3C4C5
  tool_check "$arch" "$prefix" file-read 0 4C414E45303720454E54525920202020 --port "$lane" file read 1 -k A0A1A2A3A4A5
  tool_check "$arch" "$prefix" dump 0 00112233445566778899AABBCCDDEEFF --port "$lane" dump "${keys[@]}"
  tool_check_json "$arch" "$prefix" json-read 0 4C414E45303720454E54525920202020 \
    --port "$lane" --json read 4 -k A0A1A2A3A4A5
  tool_check_json "$arch" "$prefix" json-card 0 3A5F0C21 --port "$lane" --json card
  tool_check "$arch" "$prefix" apdu-pro 0 6F088406A000000999019000 --port "$cpu" apdu pro 00A4040006A00000099901
  tool_check_json "$arch" "$prefix" json-apdu-sam 0 9000 --port "$cpu" --json apdu sam 0084000008
  tool_check "$arch" "$prefix" missing-port failure "" --port "$missing_port" card
  tool_check "$arch" "$prefix" silent-reader failure "" --port "$silent" card
  # trace: the library's frames both ways, the card's answer among them; its
  # file in the temporary directory, where an earlier run's is removed.
  temporary=$(find "$prefix/drive_c/users" -mindepth 2 -maxdepth 2 -name Temp -print -quit)
  [ -n "$temporary" ] && touch "$temporary/vqhw-trace-1.log"
  tool_check "$arch" "$prefix" trace 0 "3A 5F 0C 21 08" --port "$lane" trace card
  if [ -z "$temporary" ] || [ -e "$temporary/vqhw-trace-1.log" ] ||
     [ "$(find "$temporary" -name 'vqhw-trace-*.log' | wc -l)" -ne 1 ]; then
    fail "$arch: vqhw.exe trace did not leave exactly its own trace file in ${temporary:-the temporary directory}"
  fi
  if [ "$tool_passed" = yes ]; then
    frames=$(grep -c -e 'host -> reader' -e 'reader -> host' "$work/$arch-tool-trace.text" || true)
    [ "$frames" -ge 6 ] || { cat "$work/$arch-tool-trace.text"; fail "$arch: vqhw.exe trace card showed $frames frames, not 6"; }
  fi
  # A trace that VQHW_TRACE already names is followed, and keeps its frames.
  tool_environment=('VQHW_TRACE=C:\lane-trace.log')
  tool_check "$arch" "$prefix" trace-named 0 "3A 5F 0C 21 08" --port "$lane" trace card
  tool_environment=()
  frames=$(grep -c -e ' >> FF' -e ' << FF' "$prefix/drive_c/lane-trace.log" 2>/dev/null || true)
  [ "${frames:-0}" -ge 6 ] || fail "$arch: vqhw.exe trace with VQHW_TRACE named left ${frames:-no} frames in that file, not 6"
  # The built-in virtual reader, on a loopback port of the tool's own; a
  # port named by --device; what Windows cannot have is refused with a reason.
  tool_check "$arch" "$prefix" sim 0 "A1B2C3D4" --sim card
  tool_check "$arch" "$prefix" sim-field 0 4C414E45303720454E54525920202020 \
    --sim-field "Z:${repo//\//\\}\\tests\\windows\\lane_field.json" --sim-timing instant read 4 -k A0A1A2A3A4A5
  tool_check "$arch" "$prefix" device 0 3A5F0C21 --device COM6 card
  tool_check "$arch" "$prefix" demo-port 64 "demo --port" demo --port "$lane" --amount 5
  stop_sims
}

version=$(sed -n 's/^project(VqhwLib VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
for arch in $arches; do
  [ -n "${under_wine[$arch]:-}" ] || continue
  phase=$SECONDS
  prefix=$work/prefix-$arch
  ports=$work/ports-$arch
  prepare_prefix "$arch" "$prefix" "$ports"
  log "$arch: prefix ready in $((SECONDS - phase)) s"
  tests=${build_dir[$arch]}/tests/windows

  if run_wine "$arch" "$prefix" "$work/$arch-import.out" -- "$tests/vqhw_import_caller.exe"; then
    log "$arch: import library caller passed"
  else
    cat "$work/$arch-import.out"; fail "$arch: import library caller"
  fi

  # Once with Wine refusing the port event wait on a pty (the worker waits
  # on a pending read), once with the modem lines faked so that it works.
  for mode in fallback event; do
    phase=$SECONDS
    start_sims "$ports"
    environment=()
    expected=no
    isolate=no
    if [ "$mode" = event ]; then
      environment=("LD_PRELOAD=$helper_preload")
      expected=yes
      isolate=yes  # see RunIsolated in tests/windows/wine_tests_main.cpp
    fi
    out=$work/$arch-$mode.out
    # shellcheck disable=SC2086
    status=0
    run_wine "$arch" "$prefix" "$out" "${environment[@]}" -- \
      "$tests/vqhw_wine_tests.exe" $test_ports --event-wait "$expected" --isolate "$isolate" || status=$?
    if [ "$status" -eq 0 ]; then
      grep -v '^\[ RUN' "$out" || true
      log "$arch, $mode wait: passed in $((SECONDS - phase)) s"
    else
      cat "$out"
      fail "$arch, $mode wait (exit code $status)"
    fi
    stop_sims
  done
  phase=$SECONDS
  run_bundle_programs "$arch" "$prefix" "$ports"
  log "$arch: bundle programs in $((SECONDS - phase)) s"
  phase=$SECONDS
  run_network_programs "$arch" "$prefix" "$ports"
  log "$arch: bundle programs over the network in $((SECONDS - phase)) s"
  phase=$SECONDS
  failures_before=$failures
  run_tool_checks "$arch" "$prefix" "$ports"
  [ "$failures" -eq "$failures_before" ] && log "$arch: vqhw.exe passed in $((SECONDS - phase)) s"
  phase=$SECONDS
  mkdir -p "$work/$arch-sim-exe"
  if VQHW_FAKE_MODEM_LINES=$helper_preload "$repo/tests/windows/sim_exe_checks.sh" "$arch" "$work/bundle/${bundle_dir[$arch]}" "$tests" "$prefix" \
       "$native" "$work/$arch-sim-exe" "$lane_port"; then
    log "$arch: vqhw-sim.exe and vqhw.exe --sim passed in $((SECONDS - phase)) s"
  else
    fail "$arch: vqhw-sim.exe and vqhw.exe --sim (above)"
  fi
  stop_server
done

log "Windows tests took $((SECONDS - started)) s in all"
for reason in "${skipped[@]}"; do printf 'SKIPPED: %s\n' "$reason"; done
[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
