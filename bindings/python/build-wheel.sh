#!/usr/bin/env bash
# Builds the wheel of the Python binding with the shared library inside it,
# out of the source tree (nothing is written into bindings/python), and
# prints its path. The platform tag says what the library needs: manylinux
# with the oldest glibc that has every symbol version it uses.
# Usage: bindings/python/build-wheel.sh LIBRARY OUT_DIR
#   LIBRARY  libVqhwLib.so.0 of a Linux x86-64 build
# Needs: python3-setuptools, python3-wheel, python3-pip, binutils.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
library=$(realpath "${1:?usage: build-wheel.sh LIBRARY OUT_DIR}")
out=$(realpath -m "${2:?usage: build-wheel.sh LIBRARY OUT_DIR}")
python=${PYTHON:-/usr/bin/python3}
work=$(mktemp -d /tmp/vqhw-wheel-XXXXXX)
trap 'rm -rf "$work"' EXIT

[ "$(objdump -f "$library" | sed -n 's/.*file format //p')" = elf64-x86-64 ] ||
  { echo "$library is not a Linux x86-64 library"; exit 1; }
# Only what every manylinux platform has may be needed.
for needed in $(objdump -p "$library" | awk '/NEEDED/{print $2}'); do
  case $needed in
    libc.so.6 | libm.so.6 | libpthread.so.0 | libdl.so.2 | librt.so.1 | libgcc_s.so.1 | libstdc++.so.6) ;;
    *) echo "$library needs $needed, which no manylinux platform promises"; exit 1 ;;
  esac
done
versions=$(objdump -T "$library" | grep -oE '(GLIBC|GLIBCXX)_[0-9.]+' | sort -u)
newest() { grep "^$1_" <<< "$versions" | sed "s/^$1_//" | sort -V | tail -n 1; }
glibc=$(newest GLIBC)
[[ $glibc == 2.* ]] || { echo "no glibc symbol versions found in $library"; exit 1; }
floor=${glibc#2.}
# libstdc++'s symbol versions raise the floor to the oldest glibc whose
# distributions ship a libstdc++ that new (the manylinux policies' pairs).
glibcxx=$(newest GLIBCXX)
if [ -n "$glibcxx" ]; then
  needs=
  for pair in 3.4.19:17 3.4.24:28 3.4.28:31 3.4.29:34 3.4.30:35; do
    if [ "$(printf '%s\n%s\n' "$glibcxx" "${pair%:*}" | sort -V | tail -n 1)" = "${pair%:*}" ]; then
      needs=${pair#*:}
      break
    fi
  done
  [ -n "$needs" ] || { echo "$library needs GLIBCXX_$glibcxx, newer than any manylinux platform promises"; exit 1; }
  [ "$needs" -gt "$floor" ] && floor=$needs
fi
platform=manylinux_2_${floor}_x86_64

cp -r "$here" "$work/source"
rm -rf "$work/source/build" "$work/source"/*.egg-info "$work/source/tests"
find "$work/source" -name __pycache__ -prune -exec rm -rf {} +
cp "$library" "$work/source/vqhw/libVqhwLib.so.0"
mkdir -p "$out"
VQHW_WHEEL_PLATFORM=$platform "$python" -m pip wheel --quiet --no-deps --no-index --no-build-isolation \
  --wheel-dir "$work/wheel" "$work/source" > "$work/pip.log" 2>&1 || { cat "$work/pip.log"; exit 1; }
wheel=$(find "$work/wheel" -name "vqhw-*-py3-none-$platform.whl")
[ -n "$wheel" ] || { ls "$work/wheel"; echo "pip made no wheel tagged py3-none-$platform"; exit 1; }
cp "$wheel" "$out/"
echo "$out/$(basename "$wheel")"
