#!/usr/bin/env bash
# Makes the Windows bundle, VqhwLib-VERSION-windows.zip, from the two mingw-w64
# release builds:
#   include/   VqhwLib.h, VqhwLibVersion.h
#   x86/ x64/  VqhwLib.dll (stripped), libVqhwLib.dll.a (MinGW import library),
#              VqhwLib.lib (import library for the Microsoft linker), VqhwLib.def,
#              vqhw.exe (the command-line tool, stripped, beside the DLL it uses),
#              vqhw-sim.exe (the virtual reader, stripped)
#   examples/  field and scenario files for vqhw-sim.exe (sim/examples)
#   docs/      README.md, CHANGELOG.md, html/ (the reference, when given),
#              bindings/ (the bindings' guides)
#   bindings/  dotnet/VqhwLib.VERSION.nupkg (both DLLs and the Linux library),
#              java/vqhw-VERSION.jar with its -javadoc.jar and .pom (the same three),
#              pascal/VqhwLib.pas with VqhwLibStatus.inc and example.pas;
#              the first two when the Linux library is given
#   LICENSE
# VqhwLib.lib is made by llvm-dlltool from the .def. On x86 the .def spells
# each name with its argument bytes (open_reader@8): callers compiled with
# the header's __stdcall refer to _open_reader@8. -k makes the import library
# import the plain name the DLL exports (open_reader) for that reference.
#
# Usage: scripts/windows-bundle.sh WIN32_BUILD WIN64_BUILD OUT_DIR [REFERENCE_HTML_DIR [LINUX_LIBRARY]]
#   LINUX_LIBRARY  libVqhwLib.so.0 of a Linux x86-64 build, for the NuGet package and the jar
# Prints the path of the zip. Needs: binutils-mingw-w64, llvm (llvm-dlltool), zip;
# for the packages mono-devel, nuget, default-jdk-headless, libjna-java.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
win32=$(realpath "${1:?usage: windows-bundle.sh WIN32_BUILD WIN64_BUILD OUT_DIR [REFERENCE_HTML_DIR]}")
win64=$(realpath "${2:?usage}")
out=$(realpath -m "${3:?usage}")
reference=${4:-}
linux_library=${5:-}

version=$(sed -n 's/^#define VQHW_VERSION_STRING "\(.*\)"$/\1/p' "$win64/include/VqhwLibVersion.h")
[ -n "$version" ] || { echo "no version in $win64/include/VqhwLibVersion.h"; exit 1; }
cmp -s "$win32/include/VqhwLibVersion.h" "$win64/include/VqhwLibVersion.h" ||
  { echo "the two builds have different versions"; exit 1; }

name=VqhwLib-$version-windows
work=$(mktemp -d /tmp/vqhw-bundle-XXXXXX)
trap 'rm -rf "$work"' EXIT
root=$work/$name
mkdir -p "$root/include" "$root/docs"

# directory, build tree, mingw-w64 triplet, llvm-dlltool machine
for row in "x86 $win32 i686-w64-mingw32 i386" "x64 $win64 x86_64-w64-mingw32 i386:x86-64"; do
  read -r dir build triplet machine <<< "$row"
  mkdir -p "$root/$dir"
  "$triplet-strip" --strip-all -o "$root/$dir/VqhwLib.dll" "$build/src/VqhwLib.dll"
  "$triplet-strip" --strip-all -o "$root/$dir/vqhw.exe" "$build/tools/vqhw.exe"
  "$triplet-strip" --strip-all -o "$root/$dir/vqhw-sim.exe" "$build/sim/vqhw-sim.exe"
  cp "$build/src/VqhwLib.dll.a" "$root/$dir/libVqhwLib.dll.a"
  cp "$build/src/VqhwLib.def" "$root/$dir/VqhwLib.def"
  llvm-dlltool -m "$machine" -k -D VqhwLib.dll -d "$build/src/VqhwLib.def" -l "$root/$dir/VqhwLib.lib"
done

cp "$repo/include/VqhwLib.h" "$win64/include/VqhwLibVersion.h" "$root/include/"
cp "$repo/README.md" "$repo/CHANGELOG.md" "$root/docs/"
cp "$repo/LICENSE" "$root/"
mkdir -p "$root/examples/scenarios"
cp "$repo"/sim/examples/*.json "$repo/sim/examples/README.md" "$root/examples/"
cp "$repo"/sim/examples/scenarios/*.json "$root/examples/scenarios/"
mkdir -p "$root/docs/bindings" "$root/bindings/pascal"
cp "$repo"/docs/bindings/*.md "$root/docs/bindings/"
cp "$repo/bindings/pascal/VqhwLib.pas" "$repo/bindings/pascal/VqhwLibStatus.inc" "$repo/bindings/pascal/example.pas" \
  "$root/bindings/pascal/"
if [ -n "$linux_library" ]; then
  mkdir -p "$root/bindings/dotnet" "$root/bindings/java"
  "$repo/bindings/dotnet/pack.sh" "$root/bindings/dotnet" "$linux_library" "$root/x86/VqhwLib.dll" "$root/x64/VqhwLib.dll" > /dev/null
  jar=$("$repo/bindings/java/build.sh" "$work/maven" "$linux_library" "$root/x86/VqhwLib.dll" "$root/x64/VqhwLib.dll")
  cp "$(dirname "$jar")"/* "$root/bindings/java/"
fi
if [ -n "$reference" ]; then
  [ -f "$reference/index.html" ] || { echo "no reference in $reference"; exit 1; }
  cp -r "$reference" "$root/docs/html"
fi

# Sorted names, no extra file attributes.
mkdir -p "$out"
rm -f "$out/$name.zip"
(cd "$work" && find "$name" -print | LC_ALL=C sort | zip -q -X -@ "$out/$name.zip")
echo "$out/$name.zip"
