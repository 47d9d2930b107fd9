#!/usr/bin/env bash
# Builds the Java binding with Debian's JDK and jars (no registry): the jar
# with the native libraries it is given, its javadoc jar and its pom, laid
# out as a local Maven repository (OUT_DIR/org/vqhwlib/vqhw/VERSION/), and
# prints the jar's path. The jar carries each library where JNA looks for it
# on the class path: linux-x86-64/libVqhwLib.so, win32-x86/VqhwLib.dll,
# win32-x86-64/VqhwLib.dll.
# Usage: bindings/java/build.sh OUT_DIR LINUX_X64_LIBRARY [WIN_X86_DLL WIN_X64_DLL]
# Needs: default-jdk-headless (javac, jar, javadoc), libjna-java.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
out=$(realpath -m "${1:?usage: build.sh OUT_DIR LINUX_X64_LIBRARY [WIN_X86_DLL WIN_X64_DLL]}")
linux=$(realpath "${2:?usage: build.sh OUT_DIR LINUX_X64_LIBRARY [WIN_X86_DLL WIN_X64_DLL]}")
win_x86=${3:+$(realpath "$3")}
win_x64=${4:+$(realpath "$4")}
if [ -n "$win_x86" ] && [ -z "$win_x64" ]; then echo "give both Windows DLLs or neither"; exit 64; fi
jna=${VQHW_JNA_JAR:-/usr/share/java/jna.jar}
version=$(sed -n 's/^project(VqhwLib VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
pom_version=$(sed -n '0,/<version>/s|.*<version>\(.*\)</version>.*|\1|p' "$here/pom.xml")
[ "$pom_version" = "$version" ] || { echo "pom.xml gives version $pom_version, the project $version"; exit 1; }
work=$(mktemp -d /tmp/vqhw-java-XXXXXX)
trap 'rm -rf "$work"' EXIT
# Maven reads the pom as a model offline (coordinates, dependencies), where it is installed.
if command -v mvn > /dev/null; then
  mvn -o -q -B -Dmaven.repo.local="$work/m2" -f "$here/pom.xml" validate > "$work/mvn.log" 2>&1 ||
    { cat "$work/mvn.log"; echo "Maven refuses pom.xml"; exit 1; }
else
  echo "pom.xml not validated: no mvn (Debian: maven)" >&2
fi

sources=$(find "$here/src/main/java" -name '*.java' | LC_ALL=C sort)
# shellcheck disable=SC2086
javac -Xlint:all -Werror -encoding UTF-8 --release 11 -cp "$jna" -d "$work/classes" $sources
mkdir -p "$work/classes/linux-x86-64"
cp "$linux" "$work/classes/linux-x86-64/libVqhwLib.so"
if [ -n "$win_x86" ]; then
  mkdir -p "$work/classes/win32-x86" "$work/classes/win32-x86-64"
  cp "$win_x86" "$work/classes/win32-x86/VqhwLib.dll"
  cp "$win_x64" "$work/classes/win32-x86-64/VqhwLib.dll"
fi
mkdir -p "$work/classes/META-INF/maven/org.vqhwlib/vqhw"
cp "$here/pom.xml" "$work/classes/META-INF/maven/org.vqhwlib/vqhw/pom.xml"
cp "$repo/LICENSE" "$work/classes/META-INF/LICENSE"
# shellcheck disable=SC2086
javadoc -quiet -Xdoclint:all,-missing -Werror -encoding UTF-8 --release 11 -cp "$jna" -d "$work/javadoc" \
  -windowtitle "vqhw $version" $sources > "$work/javadoc.log" 2>&1 || { cat "$work/javadoc.log"; exit 1; }

target=$out/org/vqhwlib/vqhw/$version
mkdir -p "$target"
name=vqhw-$version
# A stable module name for module-path users; the version for tools that read it.
printf 'Automatic-Module-Name: org.vqhwlib\nImplementation-Title: vqhw\nImplementation-Version: %s\n' "$version" > "$work/manifest"
jar --create --file "$target/$name.jar" --manifest "$work/manifest" --date=2000-01-01T00:00:00Z -C "$work/classes" .
jar --create --file "$target/$name-javadoc.jar" --date=2000-01-01T00:00:00Z -C "$work/javadoc" .
cp "$here/pom.xml" "$target/$name.pom"
echo "$target/$name.jar"
