#!/usr/bin/env bash
# Builds the Debian packages of a build tree with CPack, checks their file
# lists and dependencies with dpkg-deb and lintian (errors fail), unpacks
# them into a temporary root and builds and runs the lane program against it.
# Usage: check_packages.sh BUILD_DIR
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "$1")
work=$(mktemp -d /tmp/vqhw-packages-XXXXXX)
trap 'rm -rf "$work"' EXIT

rm -rf "$build/packages"
(cd "$build" && cpack -G DEB > "$work/cpack.log") || { cat "$work/cpack.log"; exit 1; }
version=$(sed -n 's/^project(VqhwLib VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
arch=$(dpkg --print-architecture)
declare -A expect=(
  [libvqhwlib0]="usr/lib/libVqhwLib.so.0 usr/lib/libVqhwLib.so.0.$(echo "$version" | cut -d. -f2-)"
  [libvqhwlib-dev]="usr/include/VqhwLib.h usr/include/VqhwLibVersion.h usr/lib/libVqhwLib.so usr/lib/pkgconfig/VqhwLib.pc usr/lib/cmake/VqhwLib/VqhwLibConfig.cmake usr/lib/cmake/VqhwLib/VqhwLibConfigVersion.cmake"
  [python3-vqhw]="usr/lib/python3/dist-packages/vqhw/__init__.py usr/lib/python3/dist-packages/vqhw/py.typed"
  [vqhw-tools]="usr/bin/vqhw usr/bin/vqhw-sim usr/share/man/man1/vqhw.1.gz usr/share/man/man1/vqhw-sim.1.gz usr/share/doc/vqhw-tools/examples/lane.json"
)
for package in libvqhwlib0 libvqhwlib-dev vqhw-tools python3-vqhw; do
  deb=$build/packages/${package}_${version}_${arch}.deb
  [ "$package" = python3-vqhw ] && deb=$build/packages/${package}_${version}_all.deb
  [ -f "$deb" ] || { echo "missing package: $deb"; exit 1; }
  files=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||')
  for file in ${expect[$package]} usr/share/doc/$package/copyright; do
    printf '%s\n' "$files" | grep -qx "$file" || { echo "$package lacks $file"; exit 1; }
  done
  dpkg-deb -x "$deb" "$work/root"
done
dpkg-deb -f "$build/packages/libvqhwlib0_${version}_${arch}.deb" Depends | grep -q 'libc6' ||
  { echo "libvqhwlib0 has no shared-library dependencies"; exit 1; }
dpkg-deb -f "$build/packages/vqhw-tools_${version}_${arch}.deb" Depends | grep -q "libvqhwlib0 (= $version)" ||
  { echo "vqhw-tools does not depend on libvqhwlib0"; exit 1; }
dpkg-deb -f "$build/packages/python3-vqhw_${version}_all.deb" Depends | grep -q "libvqhwlib0 (= $version)" ||
  { echo "python3-vqhw does not depend on libvqhwlib0"; exit 1; }
# The binding from the unpacked root finds the packaged library by its SONAME
# and carries the version the build set.
got=$(cd "$work" && PYTHONPATH="$work/root/usr/lib/python3/dist-packages" LD_LIBRARY_PATH="$work/root/usr/lib" \
  /usr/bin/python3 -c 'import vqhw; print(vqhw.__version__, vqhw.bytes_to_hex(b"\x0a\xbc"))')
[ "$got" = "$version 0ABC" ] || { echo "python3-vqhw from the package: got '$got'"; exit 1; }
# Errors fail; the remaining warnings are listed.
lintian --fail-on error "$build"/packages/*.deb 2>&1 | grep -v 'root privileges' || true
lintian --fail-on error "$build"/packages/*.deb > /dev/null 2>&1 || { echo "lintian reports errors"; exit 1; }
"$repo/tests/install/check_install.sh" "$build" "$work/root"
echo "Debian packages: contents, dependencies and lintian checked; lane program built against them"
