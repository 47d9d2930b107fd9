#!/usr/bin/env bash
# Builds the Debian packages of a build tree with CPack, checks their file
# lists, dependencies and control files with dpkg-deb and lintian (errors and
# warnings fail), unpacks them into a temporary root and builds and runs the
# lane program against it.
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
lib=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
declare -A expect=(
  [libvqhwlib0]="$lib/libVqhwLib.so.0 $lib/libVqhwLib.so.$version"
  [libvqhwlib-dev]="usr/include/VqhwLib.h usr/include/VqhwLibVersion.h $lib/libVqhwLib.so $lib/pkgconfig/VqhwLib.pc $lib/cmake/VqhwLib/VqhwLibConfig.cmake $lib/cmake/VqhwLib/VqhwLibConfigVersion.cmake usr/share/doc/libvqhwlib-dev/html/index.html usr/share/doc/libvqhwlib-dev/html/status_codes.html usr/share/man/man3/open_reader.3vqhw.gz usr/share/man/man3/readblock.3vqhw.gz usr/share/man/man3/mifare.3vqhw.gz"
  [python3-vqhw]="usr/lib/python3/dist-packages/vqhw/__init__.py usr/lib/python3/dist-packages/vqhw/py.typed"
  [vqhw-tools]="usr/bin/vqhw usr/bin/vqhw-sim usr/share/man/man1/vqhw.1.gz usr/share/man/man1/vqhw-sim.1.gz usr/share/doc/vqhw-tools/examples/lane.json"
)
for package in libvqhwlib0 libvqhwlib-dev vqhw-tools python3-vqhw; do
  deb=$build/packages/${package}_${version}_${arch}.deb
  [ "$package" = python3-vqhw ] && deb=$build/packages/${package}_${version}_all.deb
  [ -f "$deb" ] || { echo "missing package: $deb"; exit 1; }
  files=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||')
  for file in ${expect[$package]} usr/share/doc/$package/copyright usr/share/doc/$package/changelog.gz; do
    grep -qx "$file" <<< "$files" || { echo "$package lacks $file"; exit 1; }
  done
  dpkg-deb -x "$deb" "$work/root"
done
runtime=$build/packages/libvqhwlib0_${version}_${arch}.deb
dpkg-deb -f "$runtime" Depends | grep 'libc6' >/dev/null ||
  { echo "libvqhwlib0 has no shared-library dependencies"; exit 1; }
# ldconfig runs by trigger; the library package has no maintainer scripts.
dpkg-deb -e "$runtime" "$work/control"
control_files=$(cd "$work/control" && echo *)
[ "$control_files" = "control md5sums shlibs triggers" ] ||
  { echo "libvqhwlib0 control files: $control_files"; exit 1; }
grep -qx "libVqhwLib 0 libvqhwlib0 (= $version)" "$work/control/shlibs" ||
  { echo "libvqhwlib0 shlibs: $(cat "$work/control/shlibs")"; exit 1; }
dpkg-deb -f "$build/packages/vqhw-tools_${version}_${arch}.deb" Depends | grep "libvqhwlib0 (= $version)" >/dev/null ||
  { echo "vqhw-tools does not depend on libvqhwlib0"; exit 1; }
dpkg-deb -f "$build/packages/python3-vqhw_${version}_all.deb" Depends | grep "libvqhwlib0 (= $version)" >/dev/null ||
  { echo "python3-vqhw does not depend on libvqhwlib0"; exit 1; }
# The binding from the unpacked root finds the packaged library by its SONAME
# and carries the version the build set.
got=$(cd "$work" && PYTHONPATH="$work/root/usr/lib/python3/dist-packages" LD_LIBRARY_PATH="$work/root/$lib" \
  /usr/bin/python3 -c 'import vqhw; print(vqhw.__version__, vqhw.bytes_to_hex(b"\x0a\xbc"))')
[ "$got" = "$version 0ABC" ] || { echo "python3-vqhw from the package: got '$got'"; exit 1; }
# Errors and warnings fail; what lintian says is shown either way.
lintian_status=0
lintian --fail-on error,warning "$build"/packages/*.deb > "$work/lintian.log" 2>&1 || lintian_status=$?
grep -v 'root privileges' "$work/lintian.log" || true
[ "$lintian_status" -eq 0 ] || { echo "lintian reports errors or warnings"; exit 1; }
# The change log is the Debian one, made from CHANGELOG.md: its first entry
# is this version.
zcat "$work/root/usr/share/doc/libvqhwlib0/changelog.gz" | sed -n 1p | grep -x "vqhwlib ($version) unstable; urgency=medium" >/dev/null ||
  { echo "the packages' changelog does not begin with $version"; exit 1; }
"$repo/tests/install/check_install.sh" "$build" "$work/root"
echo "Debian packages: contents, dependencies and lintian checked; lane program built against them"
