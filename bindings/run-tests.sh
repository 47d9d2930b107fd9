#!/usr/bin/env bash
# Runs the bindings' tests against a build's library and virtual reader, each
# binding as its users install it, each with a lane transaction:
#   names      the declarations of every binding against the export list,
#              and the generated status tables against the tool
#   Python     the wheel (with the library inside) into a fresh venv; its
#              tests and the lane example there, with no other library
#   C#         the NuGet package from a local folder feed into a .NET Framework
#              project (packages.config, xbuild), its lane program and the
#              binding's tests under mono
#   Java       the jar on a plain class path with JNA, JUnit against vqhw-sim,
#              the lane example; the jar's own library, no other
#   Pascal     fpc: the tests, the example in Delphi mode and in objfpc mode
# Usage: bindings/run-tests.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: run-tests.sh BUILD_DIR}" && pwd)
python=${PYTHON:-/usr/bin/python3}
work=$(mktemp -d /tmp/vqhw-bindings-XXXXXX)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
version=$(sed -n 's/^project(VqhwLib VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
library=$build/src/libVqhwLib.so.0
phase=$SECONDS
took() { echo "    ($((SECONDS - phase)) s)"; phase=$SECONDS; }

export VQHW_LIB=$build/src/libVqhwLib.so VQHW_SIM=$build/sim/vqhw-sim VQHW_TOOL=$build/tools/vqhw
export VQHW_EXAMPLES=$root/sim/examples LD_LIBRARY_PATH=$build/src${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
# What a user's machine has: no library of this build on the loader's path.
as_user() { env -u LD_LIBRARY_PATH -u VQHW_LIB "$@"; }

# vqhw-sim with a field, as port 1 (VQHW_COM1) until the next one starts.
# Each start prints its pty path into a file of its own: with one file, the
# wait could read the previous reader's path before the new one's shell
# emptied it, and that pty may by then be somebody else's.
sims=0
start_sim() {
  [ -n "$sim_pid" ] && kill "$sim_pid" && wait "$sim_pid" 2>/dev/null || true
  sims=$((sims + 1))
  local out="$work/sim$sims.out"
  "$VQHW_SIM" --field "$1" > "$out" &
  sim_pid=$!
  for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
  VQHW_COM1=$(head -n1 "$out")
  export VQHW_COM1
}
lane=$VQHW_EXAMPLES/lane.json
cpu_card=$VQHW_EXAMPLES/cpu-card.json

# lane_run NAME TRANSACTION COMMAND...: a lane program's transaction against
# the reader with its field; the output must end in what the transaction did.
lane_run() {
  local name=$1 transaction=$2 output
  shift 2
  if [ "$transaction" = entry ]; then start_sim "$lane"; else start_sim "$cpu_card"; fi
  output=$("$@" "$transaction" 2>&1) || { printf '%s\n' "$output"; echo "FAILED: $name $transaction"; exit 1; }
  case $transaction:$(printf '%s\n' "$output" | tail -n 1) in
    "entry:written to block 5 0042070101"* | "purchase:paid 15.00: balance 235.00, TAC "*) echo "    $name $transaction: ok" ;;
    *) printf '%s\n' "$output"; echo "FAILED: $name $transaction printed the above"; exit 1 ;;
  esac
}

echo "--- binding names against the export list, and the status tables against the tool"
(cd "$root/bindings" && PYTHONPATH=python "$python" -m pytest -q -p no:cacheprovider tests)
took

echo "--- Python: the wheel into a fresh venv, its tests and the lane example there"
before=$(cd "$root" && git status --porcelain --ignored bindings/python 2>/dev/null || true)
wheel=$("$root/bindings/python/build-wheel.sh" "$library" "$work/wheels")
after=$(cd "$root" && git status --porcelain --ignored bindings/python 2>/dev/null || true)
[ "$before" = "$after" ] || { printf '%s\n' "$after"; echo "FAILED: building the wheel wrote into bindings/python"; exit 1; }
# Debian's pytest from the system; the package only from the wheel.
"$python" -m venv --without-pip --system-site-packages "$work/venv"
"$python" -m pip --python "$work/venv/bin/python" install --quiet --no-index "$wheel"
# From outside the source tree, so that `import vqhw` is the installed one.
loaded=$(cd "$work" && as_user "$work/venv/bin/python" -c 'import vqhw; print(vqhw.__file__, vqhw.load()._name)')
[[ "$loaded" == "$work"/venv/lib/python3*/site-packages/vqhw/__init__.py\ "$work"/venv/lib/python3*/site-packages/vqhw/libVqhwLib.so.0 ]] ||
  { echo "FAILED: the installed wheel is not what python imports and loads: $loaded"; exit 1; }
(cd "$work" && as_user "$work/venv/bin/python" -m pytest -q -p no:cacheprovider "$root/bindings/python/tests")
echo "    $(basename "$wheel"): installed, loads its own library"
for transaction in entry purchase; do
  lane_run "python lane.py" "$transaction" as_user "$work/venv/bin/python" "$root/bindings/python/examples/lane.py"
done
took

echo "--- C#: the NuGet package from a local folder feed, under mono"
feed=$work/feed
"$root/bindings/dotnet/pack.sh" "$feed" "$library" > /dev/null
grep -q "version=\"$version\"" "$root/bindings/dotnet/consumer/packages.config" &&
  grep -q "VqhwLib.$version" "$root/bindings/dotnet/consumer/Lane.csproj" ||
  { echo "FAILED: bindings/dotnet/consumer does not ask for VqhwLib $version"; exit 1; }
cp -r "$root/bindings/dotnet/consumer" "$work/consumer"
(cd "$work/consumer" && nuget install packages.config -Source "$feed" -OutputDirectory packages -NonInteractive -NoCache > "$work/nuget.log" &&
  xbuild /nologo /verbosity:quiet Lane.csproj > "$work/xbuild.log") || { cat "$work/nuget.log" "$work/xbuild.log"; exit 1; }
program=$work/consumer/bin/Release
for file in Lane.exe Vqhw.dll Vqhw.dll.config libVqhwLib.so.0; do
  [ -f "$program/$file" ] || { ls "$program"; echo "FAILED: the package's build did not put $file beside the program"; exit 1; }
done
for transaction in entry purchase; do lane_run "mono Lane.exe" "$transaction" as_user mono "$program/Lane.exe"; done
# Without the native library, the hint says what to install (unless the
# system has one installed).
if ! grep -q libVqhwLib.so.0 <<< "$(ldconfig -p)"; then
  mkdir "$work/no-library"
  cp "$program/Lane.exe" "$program/Vqhw.dll" "$program/Vqhw.dll.config" "$work/no-library/"
  status=0
  output=$(as_user mono "$work/no-library/Lane.exe" entry 2>&1) || status=$?
  [ "$status" = 1 ] && grep -q 'libVqhwLib.so.0 was not found: install the library (apt install libvqhwlib0)' <<< "$output" ||
    { printf '%s\n' "$output"; echo "FAILED: a missing library is not reported with its hint"; exit 1; }
  echo "    mono Lane.exe without the library: the hint"
fi
# The binding's own tests, against the package's assembly.
mkdir "$work/dotnet-tests"
cp "$work/consumer/packages/VqhwLib.$version/lib/net461/"* "$work/dotnet-tests/"
mcs -nologo -warnaserror -out:"$work/dotnet-tests/VqhwLibTests.exe" -r:"$work/dotnet-tests/Vqhw.dll" -r:System.Core.dll \
  "$root/bindings/dotnet/tests/VqhwLibTests.cs"
mono "$work/dotnet-tests/VqhwLibTests.exe"
took

echo "--- Java: the jar on a plain class path, JUnit against vqhw-sim"
jar=$("$root/bindings/java/build.sh" "$work/maven" "$library")
classpath=$jar:/usr/share/java/jna.jar
# shellcheck disable=SC2046
javac -encoding UTF-8 --release 11 -Xlint:all -Werror -d "$work/java-tests" \
  -cp "$classpath:/usr/share/java/junit-jupiter-api.jar:/usr/share/java/apiguardian-api.jar" \
  $(find "$root/bindings/java/src/test/java" -name '*.java')
javac -encoding UTF-8 --release 11 -Xlint:all -Werror -d "$work/java-example" -cp "$classpath" "$root/bindings/java/examples/Lane.java"
as_user java -jar /usr/share/java/junit-platform-console-standalone.jar --disable-banner --details=summary \
  --fail-if-no-tests -cp "$classpath:$work/java-tests" --select-package org.vqhwlib > "$work/junit.log" 2>&1 ||
  { cat "$work/junit.log"; echo "FAILED: JUnit"; exit 1; }
grep -E 'tests (successful|failed)' "$work/junit.log" | sed 's/^/    /'
for transaction in entry purchase; do
  lane_run "java Lane" "$transaction" as_user java -cp "$classpath:$work/java-example" Lane
done
took

echo "--- Pascal (fpc)"
# fpc_build MODE SOURCE [PROGRAM]: the units in a directory of the mode's own.
fpc_build() {
  local mode=$1 source=$2 output=()
  [ $# -ge 3 ] && output=(-o"$work/$3")
  mkdir -p "$work/fpc-$mode"
  fpc "-M$mode" -Sew -FU"$work/fpc-$mode" -Fu"$root/bindings/pascal" -Fl"$build/src" "${output[@]}" "$source" \
    > "$work/fpc.log" || { cat "$work/fpc.log"; exit 1; }
}
fpc_build fpc "$root/bindings/pascal/VqhwLib.pas"
fpc_build delphi "$root/bindings/pascal/tests/VqhwLibTest.pas" VqhwLibTest
fpc_build delphi "$root/bindings/pascal/example.pas" example-delphi
fpc_build objfpc "$root/bindings/pascal/example.pas" example-objfpc
start_sim "$lane"
VQHW_COM97=/nonexistent/vqhw-port "$work/VqhwLibTest" | grep -v '^ok'
lane_run "example (Delphi mode)" entry "$work/example-delphi"
lane_run "example (Delphi mode)" purchase "$work/example-delphi"
lane_run "example (objfpc mode)" purchase "$work/example-objfpc"
took
