#!/usr/bin/env bash
# Builds the NuGet package VqhwLib.VERSION.nupkg with Debian's mono tools
# (mcs, nuget) and prints its path:
#   lib/net461/                Vqhw.dll (namespace Vqhw), its XML documentation, Vqhw.dll.config
#                              (mono's dllmap); not VqhwLib.dll, the native library's name beside it
#   build/VqhwLib.targets      the native library beside .NET Framework and mono programs
#   runtimes/<rid>/native/     VqhwLib.dll (win-x86, win-x64), libVqhwLib.so (linux-x64)
# net461, not netstandard2.0: Debian's mono has netstandard.dll only as a
# facade (an assembly built against it references mscorlib), and its nuget
# 2.8.7 writes a netstandard2.0 group as "Unsupported0.0". .NET 6 and later
# restore a net461 package with warning NU1701.
#
# Usage: bindings/dotnet/pack.sh OUT_DIR LINUX_X64_LIBRARY [WIN_X86_DLL WIN_X64_DLL]
#   Without the two DLLs the package has linux-x64 alone (the Linux tests);
#   the Windows bundle's package has all three.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
out=$(realpath -m "${1:?usage: pack.sh OUT_DIR LINUX_X64_LIBRARY [WIN_X86_DLL WIN_X64_DLL]}")
linux=$(realpath "${2:?usage: pack.sh OUT_DIR LINUX_X64_LIBRARY [WIN_X86_DLL WIN_X64_DLL]}")
win_x86=${3:+$(realpath "$3")}
win_x64=${4:+$(realpath "$4")}
if [ -n "$win_x86" ] && [ -z "$win_x64" ]; then echo "give both Windows DLLs or neither"; exit 64; fi
version=$(sed -n 's/^project(VqhwLib VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
work=$(mktemp -d /tmp/vqhw-nuget-XXXXXX)
trap 'rm -rf "$work"' EXIT

root=$work/package
mkdir -p "$root/lib/net461" "$root/build" "$root/runtimes/linux-x64/native"
cat > "$work/AssemblyInfo.cs" <<INFO
using System.Reflection;
[assembly: AssemblyTitle("Vqhw")]
[assembly: AssemblyDescription("The toll lane's contactless card reader from .NET")]
[assembly: AssemblyVersion("$version.0")]
[assembly: AssemblyInformationalVersion("$version")]
INFO
# net461's reference assemblies (mono-devel); -warnaserror, documented.
mcs -nologo -warnaserror -sdk:4.6.1 -target:library -optimize+ -out:"$root/lib/net461/Vqhw.dll" \
  -doc:"$root/lib/net461/Vqhw.xml" "$here/VqhwLib.cs" "$here/Errors.cs" "$here/LibraryLoader.cs" \
  "$here/StatusTable.cs" "$work/AssemblyInfo.cs"
cp "$here/Vqhw.dll.config" "$root/lib/net461/"
cp "$here/VqhwLib.targets" "$root/build/"
cp "$linux" "$root/runtimes/linux-x64/native/libVqhwLib.so"
if [ -n "$win_x86" ]; then
  mkdir -p "$root/runtimes/win-x86/native" "$root/runtimes/win-x64/native"
  cp "$win_x86" "$root/runtimes/win-x86/native/VqhwLib.dll"
  cp "$win_x64" "$root/runtimes/win-x64/native/VqhwLib.dll"
fi
cp "$repo/LICENSE" "$root/LICENSE.txt"
sed "s/\$version\\$/$version/" "$here/VqhwLib.package.xml" > "$root/VqhwLib.nuspec"
mkdir -p "$out"
(cd "$root" && nuget pack VqhwLib.nuspec -NoPackageAnalysis -NonInteractive -OutputDirectory "$out" > "$work/pack.log" 2>&1) ||
  { cat "$work/pack.log"; exit 1; }
package=$out/VqhwLib.$version.nupkg
[ -f "$package" ] || { cat "$work/pack.log"; echo "nuget made no $package"; exit 1; }
echo "$package"
