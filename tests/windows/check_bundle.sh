#!/usr/bin/env bash
# Checks the Windows bundle that scripts/windows-bundle.sh made: its file
# list; for x86 and x64 the DLL's exports, imports, version resource and
# stripping, the .def; vqhw.exe's imports (the system's DLLs and names that
# VqhwLib.dll exports) and stripping, vqhw-sim.exe's (the system's DLLs alone); then links two lane programs against
# each directory, which scripts/windows-tests.sh runs under Wine with vqhw.exe:
#   lane_check_mingw.exe  tests/install/lane_check.c, built by mingw-w64 gcc
#                         with the bundle's libVqhwLib.dll.a
#   lane_check_msvc.exe   tests/windows/msvc_caller.c, compiled by clang for
#                         the MSVC ABI and linked by lld-link with the bundle's
#                         VqhwLib.lib alone
# and checks that both import from VqhwLib.dll the plain names it exports; the
# NuGet package and the jar carry the same DLLs, and the package's targets put
# the right one beside a .NET Framework program of each platform.
#
# Usage: check_bundle.sh ZIP OUT_DIR LANE_PORT
#   OUT_DIR    receives x86/ and x64/, each with VqhwLib.dll, vqhw.exe, vqhw-sim.exe and the two programs
#   LANE_PORT  the COM port number at which the programs will find a virtual
#              reader with tests/windows/lane_field.json
# Needs: g++-mingw-w64, clang, lld, llvm, unzip; mono-devel, mono-xbuild, nuget for the NuGet package.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
zip=$(realpath "${1:?usage: check_bundle.sh ZIP OUT_DIR LANE_PORT}")
out=$(realpath -m "${2:?usage}")
port=${3:?usage}
failures=0
fail() { printf 'FAILED: bundle: %s\n' "$*"; failures=$((failures + 1)); }

version=$(sed -n 's/^project(VqhwLib VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
name=VqhwLib-$version-windows
[ "$(basename "$zip")" = "$name.zip" ] || fail "the zip is named $(basename "$zip"), not $name.zip"
rm -rf "$out"
mkdir -p "$out"
unzip -q "$zip" -d "$out/unpacked"
bundle=$out/unpacked/$name

# --- File list ------------------------------------------------------------------

expected_files="LICENSE
docs/CHANGELOG.md
docs/README.md
include/VqhwLib.h
include/VqhwLibVersion.h"
for dir in x64 x86; do
  for file in VqhwLib.def VqhwLib.dll VqhwLib.lib libVqhwLib.dll.a vqhw.exe vqhw-sim.exe; do
    expected_files+=$'\n'"$dir/$file"
  done
done
for example in "$repo"/sim/examples/*.json "$repo"/sim/examples/README.md "$repo"/sim/examples/scenarios/*.json; do
  expected_files+=$'\n'"examples/${example#"$repo"/sim/examples/}"
done
for file in dotnet/VqhwLib.$version.nupkg java/vqhw-$version.jar java/vqhw-$version-javadoc.jar java/vqhw-$version.pom \
            pascal/VqhwLib.pas pascal/VqhwLibStatus.inc pascal/example.pas; do
  expected_files+=$'\n'"bindings/$file"
done
for page in "$repo"/docs/bindings/*.md; do expected_files+=$'\n'"docs/bindings/$(basename "$page")"; done
files=$(unzip -Z1 "$zip" | grep -v '/$' | sed "s|^$name/||" | grep -v '^docs/html/' | LC_ALL=C sort)
if [ "$files" != "$(printf '%s\n' "$expected_files" | LC_ALL=C sort)" ]; then
  fail "file list"
  diff <(printf '%s\n' "$expected_files" | LC_ALL=C sort) <(printf '%s\n' "$files") || true
fi
for page in index.html status_codes.html; do
  [ -f "$bundle/docs/html/$page" ] || fail "no docs/html/$page"
done
cmp -s "$bundle/include/VqhwLib.h" "$repo/include/VqhwLib.h" || fail "include/VqhwLib.h is not the header of this tree"
grep -q "^#define VQHW_VERSION_STRING \"$version\"$" "$bundle/include/VqhwLibVersion.h" ||
  fail "include/VqhwLibVersion.h does not say $version"

# --- The bindings: each package carries the bundle's own DLLs ------------------

for file in VqhwLib.pas VqhwLibStatus.inc example.pas; do
  cmp -s "$bundle/bindings/pascal/$file" "$repo/bindings/pascal/$file" || fail "bindings/pascal/$file is not this tree's"
done
# package ENTRY BUNDLE_FILE: the package's entry and the bundle's file are the same bytes.
same_in() {
  local package=$1 entry=$2 file=$3
  unzip -p "$package" "$entry" 2>/dev/null | cmp -s - "$file" || fail "$(basename "$package"): $entry is not $file"
}
nupkg=$bundle/bindings/dotnet/VqhwLib.$version.nupkg
if [ -f "$nupkg" ]; then
  same_in "$nupkg" runtimes/win-x86/native/VqhwLib.dll "$bundle/x86/VqhwLib.dll"
  same_in "$nupkg" runtimes/win-x64/native/VqhwLib.dll "$bundle/x64/VqhwLib.dll"
  entries=$(unzip -Z1 "$nupkg")
  for entry in lib/net461/Vqhw.dll lib/net461/Vqhw.xml lib/net461/Vqhw.dll.config build/VqhwLib.targets \
               runtimes/linux-x64/native/libVqhwLib.so VqhwLib.nuspec; do
    grep -qx "$entry" <<< "$entries" || fail "the NuGet package lacks $entry"
  done
  unzip -p "$nupkg" VqhwLib.nuspec | grep -q "<version>$version</version>" || fail "the NuGet package is not version $version"
  # A .NET Framework project on Windows (xbuild told it is Windows_NT): the
  # package's targets put the DLL of each platform beside the program, and
  # the assembly, Vqhw.dll, beside it.
  consumer=$out/dotnet-consumer
  cp -r "$repo/bindings/dotnet/consumer" "$consumer"
  if (cd "$consumer" && nuget install packages.config -Source "$(dirname "$nupkg")" -OutputDirectory packages \
        -NonInteractive -NoCache > nuget.log 2>&1); then
    for row in "AnyCPU x86/VqhwLib.dll:x86 x64/VqhwLib.dll:x64" "x86 VqhwLib.dll:x86" "x64 VqhwLib.dll:x64"; do
      read -r platform copies <<< "$row"
      rm -rf "$consumer/bin" "$consumer/obj"
      (cd "$consumer" && xbuild /nologo /verbosity:quiet /p:OS=Windows_NT /p:PlatformTarget="$platform" Lane.csproj \
        > xbuild.log 2>&1) || { cat "$consumer/xbuild.log"; fail "the NuGet package's project does not build for $platform"; continue; }
      [ -f "$consumer/bin/Release/Vqhw.dll" ] || fail "$platform: the assembly Vqhw.dll is not beside the program"
      for copy in $copies; do
        cmp -s "$consumer/bin/Release/${copy%:*}" "$bundle/${copy#*:}/VqhwLib.dll" ||
          fail "$platform: bin/Release/${copy%:*} is not the ${copy#*:} DLL"
      done
    done
  else
    cat "$consumer/nuget.log"; fail "the NuGet package does not install from a folder"
  fi
fi
jar=$bundle/bindings/java/vqhw-$version.jar
if [ -f "$jar" ]; then
  same_in "$jar" win32-x86/VqhwLib.dll "$bundle/x86/VqhwLib.dll"
  same_in "$jar" win32-x86-64/VqhwLib.dll "$bundle/x64/VqhwLib.dll"
  entries=$(unzip -Z1 "$jar")
  for entry in linux-x86-64/libVqhwLib.so org/vqhwlib/Reader.class org/vqhwlib/VqhwLibrary\$StdCall.class \
               META-INF/maven/org.vqhwlib/vqhw/pom.xml; do
    grep -qxF "$entry" <<< "$entries" || fail "the jar lacks $entry"
  done
  entries=$(unzip -Z1 "$bundle/bindings/java/vqhw-$version-javadoc.jar")
  grep -qx org/vqhwlib/Reader.html <<< "$entries" || fail "the javadoc jar has no page of Reader"
  grep -q "<version>$version</version>" "$bundle/bindings/java/vqhw-$version.pom" || fail "the pom is not version $version"
fi

# --- Each architecture ----------------------------------------------------------

export_names=$(awk '/^[A-Za-z_]/{print $1}' "$repo/src/api/exports.list" | LC_ALL=C sort)

# The names an executable or DLL imports from VqhwLib.dll, one per line.
imported_names() {
  "$1-objdump" -p "$2" | awk '
    /DLL Name:/ { inside = ($3 == "VqhwLib.dll"); next }
    NF == 0 { inside = 0 }
    inside && /^\t[0-9a-f]+\t *[0-9]+ +[A-Za-z_]/ { print $NF }' | LC_ALL=C sort
}

# directory, mingw-w64 triplet, clang MSVC target, .def suffix rule, description
for row in "x86 i686-w64-mingw32 i686-pc-windows-msvc stdcall 32-bit, __stdcall" \
            "x64 x86_64-w64-mingw32 x86_64-pc-windows-msvc plain 64-bit"; do
  read -r dir triplet msvc_target def_rule description <<< "$row"
  dll=$bundle/$dir/VqhwLib.dll
  dump=$("$triplet-objdump" -p "$dll")

  exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    awk '/^\t\[/{print $NF}' | LC_ALL=C sort)
  [ "$exports" = "$export_names" ] || { fail "$dir: the DLL's exports differ from src/api/exports.list";
    diff <(printf '%s\n' "$export_names") <(printf '%s\n' "$exports") || true; }
  imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/{print $3}' | LC_ALL=C sort -u | tr '\n' ' ')
  [ "$imports" = "ADVAPI32.dll KERNEL32.dll WS2_32.dll msvcrt.dll " ] ||
    fail "$dir: the DLL imports $imports(ADVAPI32.dll, KERNEL32.dll, WS2_32.dll and msvcrt.dll only)"
  if "$triplet-objdump" -h "$dll" | grep ' \.debug' >/dev/null; then fail "$dir: the DLL has debug sections"; fi
  "$triplet-objdump" -t "$dll" | grep '^\[' >/dev/null && fail "$dir: the DLL has a symbol table"

  resource=$("$triplet-windres" -i "$dll" -O rc)
  for line in "FILEVERSION ${version//./, }, 0" "VALUE \"FileVersion\", \"$version\"" \
              "VALUE \"ProductVersion\", \"$version\"" "VALUE \"OriginalFilename\", \"VqhwLib.dll\"" \
              "($description)\""; do
    grep -qF -- "$line" <<< "$resource" || fail "$dir: the version resource lacks: $line"
  done

  def_names=$(sed -n 's/^  \([A-Za-z_0-9@]*\)$/\1/p' "$bundle/$dir/VqhwLib.def" | LC_ALL=C sort)
  if [ "$def_rule" = stdcall ]; then
    expected_def=$(awk '/^[A-Za-z_]/{print $1 "@" 4 * $2}' "$repo/src/api/exports.list" | LC_ALL=C sort)
  else
    expected_def=$export_names
  fi
  [ "$def_names" = "$expected_def" ] || fail "$dir: VqhwLib.def does not list the exports as $def_rule names"

  # The tool: what a lane PC has besides the DLL, and only names the DLL exports.
  tool=$bundle/$dir/vqhw.exe
  # Its virtual reader needs Winsock, the multimedia timer and CNG; libstdc++,
  # libgcc and winpthreads are linked in.
  # Names compared in lower case: the i686 import library spells WINMM.DLL.
  tool_imports=$("$triplet-objdump" -p "$tool" | awk '/DLL Name:/{print tolower($3)}' | LC_ALL=C sort -u | tr '\n' ' ')
  [ "$tool_imports" = "bcrypt.dll kernel32.dll msvcrt.dll vqhwlib.dll winmm.dll ws2_32.dll " ] ||
    fail "$dir: vqhw.exe imports $tool_imports(the system's KERNEL32, WINMM, WS2_32, bcrypt, msvcrt and VqhwLib.dll only)"
  tool_names=$(imported_names "$triplet" "$tool")
  grep -x open_reader <<< "$tool_names" >/dev/null || fail "$dir: vqhw.exe does not import open_reader by its plain name"
  unknown=$(LC_ALL=C comm -23 <(printf '%s\n' "$tool_names") <(printf '%s\n' "$export_names"))
  [ -z "$unknown" ] || fail "$dir: vqhw.exe imports from VqhwLib.dll what it does not export: $unknown"
  if "$triplet-objdump" -h "$tool" | grep ' \.debug' >/dev/null; then fail "$dir: vqhw.exe has debug sections"; fi
  # The virtual reader: the system's DLLs alone (ADVAPI32 for its control file's access list,
  # MSWSOCK for the panel's server, whose Asio accepts with AcceptEx).
  sim=$bundle/$dir/vqhw-sim.exe
  sim_imports=$("$triplet-objdump" -p "$sim" | awk '/DLL Name:/{print tolower($3)}' | LC_ALL=C sort -u | tr '\n' ' ')
  [ "$sim_imports" = "advapi32.dll bcrypt.dll kernel32.dll msvcrt.dll mswsock.dll winmm.dll ws2_32.dll " ] ||
    fail "$dir: vqhw-sim.exe imports $sim_imports(the system's ADVAPI32, KERNEL32, MSWSOCK, WINMM, WS2_32, bcrypt and msvcrt only)"
  if "$triplet-objdump" -h "$sim" | grep ' \.debug' >/dev/null; then fail "$dir: vqhw-sim.exe has debug sections"; fi

  mkdir -p "$out/$dir"
  cp "$dll" "$tool" "$sim" "$out/$dir/"
  # MinGW: the import library by its usual name, found with -lVqhwLib.
  "$triplet-gcc" -std=c99 -Wall -Wextra -Werror -static-libgcc -I"$bundle/include" \
    -o "$out/$dir/lane_check_mingw.exe" "$repo/tests/install/lane_check.c" -L"$bundle/$dir" -lVqhwLib ||
    fail "$dir: lane_check.c does not link against libVqhwLib.dll.a"
  # The Microsoft linker's way: clang for the MSVC ABI, lld-link, VqhwLib.lib only.
  object=$out/$dir/msvc_caller.obj
  clang --target="$msvc_target" -O1 -ffreestanding -fno-builtin -Wall -Wextra -Werror -DLANE_PORT="$port" \
    -I"$bundle/include" -c "$repo/tests/windows/msvc_caller.c" -o "$object"
  if [ "$def_rule" = stdcall ]; then
    llvm-nm "$object" | grep ' U _open_reader@8$' >/dev/null || fail "$dir: the MSVC caller does not refer to _open_reader@8"
  fi
  lld-link /nologo /entry:lane_entry /subsystem:console /nodefaultlib "$object" "$bundle/$dir/VqhwLib.lib" \
    /out:"$out/$dir/lane_check_msvc.exe" || fail "$dir: msvc_caller.c does not link against VqhwLib.lib"

  # Both import plain names that the DLL exports.
  used_by_lane_check="close_reader getreaderinfo getvqicerror loadkey open_reader opencard_h readblock_h "
  used_by_msvc_caller="close_reader getvqicerror loadkey open_reader opencard_h readblock_h "
  for program in lane_check_mingw lane_check_msvc; do
    [ -f "$out/$dir/$program.exe" ] || continue
    names=$(imported_names "$triplet" "$out/$dir/$program.exe" | tr '\n' ' ')
    expected=$used_by_lane_check
    [ "$program" = lane_check_msvc ] && expected=$used_by_msvc_caller
    [ "$names" = "$expected" ] || fail "$dir: $program.exe imports '$names' from VqhwLib.dll, not '$expected'"
  done
  if [ -f "$out/$dir/lane_check_msvc.exe" ]; then
    others=$("$triplet-objdump" -p "$out/$dir/lane_check_msvc.exe" | awk '/DLL Name:/{print $3}' | grep -vx VqhwLib.dll || true)
    [ -z "$others" ] || fail "$dir: lane_check_msvc.exe, built without a C runtime, imports from $others"
  fi
done

[ "$failures" -eq 0 ] || { echo "bundle: $failures failure(s)"; exit 1; }
echo "bundle $name.zip: files, exports, imports, version resources, .def, both import libraries and vqhw.exe checked"
