#!/usr/bin/env bash
# Installs a build tree into a temporary prefix, builds tests/install/lane_check.c
# against it once with pkg-config and once with find_package(VqhwLib), and
# runs both against vqhw-sim with the lane field file; builds and runs
# tests/install/output_sizes.c (C89) the same way. The HTML reference and the
# section 3 manual pages must be installed when the build tree has them.
# Usage: check_install.sh BUILD_DIR [ROOT]
#   ROOT  instead of installing, use this unpacked root (its usr/ is the prefix)
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "$1")
work=$(mktemp -d /tmp/vqhw-install-XXXXXX)
sim_pid=""
ser2net_pid=""
cleanup() {
  local pid
  for pid in $ser2net_pid $sim_pid; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

if [ $# -ge 2 ]; then
  prefix=$(realpath "$2")/usr
  pc_dir=$(dirname "$(find "$prefix" -name VqhwLib.pc)")
  export PKG_CONFIG_PATH=$pc_dir
else
  prefix=$work/prefix
  cmake --install "$build" --prefix "$prefix" > "$work/install.log"
  pc_dir=$(dirname "$(find "$prefix" -name VqhwLib.pc)")
  export PKG_CONFIG_PATH=$pc_dir
fi
libdir=$(dirname "$pc_dir")

for file in include/VqhwLib.h include/VqhwLibVersion.h; do
  [ -f "$prefix/$file" ] || { echo "missing: $file"; exit 1; }
done
# The reference goes with the development files once the docs target built it.
if [ -f "$build/docs/html/index.html" ] && [ ! -f "$prefix/share/doc/libvqhwlib-dev/html/index.html" ]; then
  echo "the HTML reference is not installed"; exit 1
fi
# So do the manual pages: every export answers `man 3 NAME`.
if [ -d "$build/docs/man-installed" ]; then
  for name in $(awk '/^[A-Za-z_]/{print $1}' "$repo/src/api/exports.list"); do
    page=$(MANPATH=$prefix/share/man man -w 3 "$name" 2>/dev/null) || { echo "no manual page: man 3 $name"; exit 1; }
    case $page in "$prefix"/share/man/man3/*) ;; *) echo "man 3 $name finds $page, not the installed page"; exit 1 ;; esac
  done
  MANPATH=$prefix/share/man MANWIDTH=100 man 3 readblock 2> "$work/man.err" | grep -q 'int32_t readblock (int32_t ignored, int32_t block' ||
    { cat "$work/man.err"; echo "man 3 readblock does not show readblock's entry"; exit 1; }
fi
[ "$(readlink "$libdir/libVqhwLib.so")" = libVqhwLib.so.0 ] || { echo "libVqhwLib.so is not a link to libVqhwLib.so.0"; exit 1; }
soname=$(objdump -p "$libdir/libVqhwLib.so.0" | awk '/SONAME/{print $2}')
[ "$soname" = libVqhwLib.so.0 ] || { echo "SONAME is '$soname'"; exit 1; }

# With pkg-config, in one line.
# shellcheck disable=SC2046
cc -Wall -Wextra -Werror -o "$work/lane_check_pkgconfig" "$repo/tests/install/lane_check.c" \
  $(pkg-config --cflags --libs VqhwLib)
# The output sizes the header promises, in C89 against the installed header.
# shellcheck disable=SC2046
cc -std=c89 -pedantic -Wall -Wextra -Werror -o "$work/output_sizes" "$repo/tests/install/output_sizes.c" \
  $(pkg-config --cflags --libs VqhwLib)
# With find_package.
cmake -S "$repo/tests/install/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" > "$work/consumer-configure.log" ||
  { cat "$work/consumer-configure.log"; exit 1; }
cmake --build "$work/consumer" > "$work/consumer-build.log" || { cat "$work/consumer-build.log"; exit 1; }

"$build/sim/vqhw-sim" --field "$repo/sim/examples/lane.json" > "$work/sim.out" 2> "$work/sim.err" &
sim_pid=$!
for _ in $(seq 50); do
  [ -s "$work/sim.out" ] && break
  sleep 0.1
done
export VQHW_COM1=$(head -n 1 "$work/sim.out")
[ -n "$VQHW_COM1" ] || { cat "$work/sim.err"; echo "vqhw-sim did not start"; exit 1; }

version=$(sed -n 's/^project(VqhwLib VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
expected="library $version
card 3A5F0C2108
block 4 4C414E45303720454E54525920202020"
for program in "$work/lane_check_pkgconfig" "$work/consumer/lane_check"; do
  output=$(LD_LIBRARY_PATH=$libdir "$program")
  # The reader's information line is the reader's; the rest is exact.
  if [ "$(printf '%s\n' "$output" | grep -v '^reader ')" != "$expected" ] ||
     ! grep -q '^reader .' <<< "$output"; then
    printf 'unexpected output of %s:\n%s\n' "$program" "$output"
    exit 1
  fi
  if [ "$(LD_LIBRARY_PATH=$libdir ldd "$program" | awk '/libVqhwLib/{print $3}')" != "$libdir/libVqhwLib.so.0" ]; then
    echo "$program does not load the installed library"; exit 1
  fi
done
# The same lane program through a real serial device server in front of the
# virtual reader: no pty on the lane's side, the port a URL.
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
rfc2217=$(free_port)
raw=$(free_port)
"$repo/tests/network/ser2net-front.sh" "$VQHW_COM1" "$rfc2217" "$raw" "$work/ser2net" > "$work/ser2net.log" 2>&1 &
ser2net_pid=$!
for _ in $(seq 100); do
  (exec 3<> "/dev/tcp/127.0.0.1/$raw") 2> /dev/null && break
  sleep 0.05
done
for url in "rfc2217://127.0.0.1:$rfc2217" "socket://127.0.0.1:$raw"; do
  output=$(VQHW_COM1=$url LD_LIBRARY_PATH=$libdir "$work/lane_check_pkgconfig")
  if [ "$(printf '%s\n' "$output" | grep -v '^reader ')" != "$expected" ]; then
    printf 'unexpected output of lane_check over %s:\n%s\n' "$url" "$output"
    exit 1
  fi
done
LD_LIBRARY_PATH=$libdir "$work/output_sizes"
VQHW_COM1=$work/absent VQHW_COM2=$work/absent LD_LIBRARY_PATH=$libdir "$work/output_sizes" no-reader
echo "installed VqhwLib: pkg-config and find_package builds both ran against vqhw-sim, the first also over rfc2217:// and socket://"
