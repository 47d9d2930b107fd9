#!/usr/bin/env bash
# Installs everything the build, the tests and the tools need on Debian 12.
# Run as root.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

packages=(
  # the library, its tests, benchmarks and tools
  cmake make g++ pkg-config binutils
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libssl-dev
  # the bindings and their tests: Python (pytest; setuptools, wheel, pip and
  # venv for the wheel), C# on mono with the CJK encodings for GBK (mono-devel:
  # the net461 reference assemblies; nuget and xbuild for the package and the
  # project that uses it), Java on JNA with JUnit 5, Pascal
  python3 python3-pytest python3-setuptools python3-wheel python3-pip python3-venv
  mono-mcs mono-runtime mono-devel mono-xbuild nuget libmono-i18n-cjk4.0-cil
  default-jdk-headless libjna-java junit5 fp-compiler
  # the install, package and reference checks (man: the manual pages)
  dpkg-dev lintian doxygen man-db
  # the Windows DLL and its tests under Wine
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 gcc-multilib wine wine64
  # the Windows bundle: its import library for the Microsoft linker
  # (llvm-dlltool), a caller built the Microsoft way (clang, lld-link), the zip,
  # and jq for the JSON of vqhw.exe under Wine
  clang lld llvm zip unzip jq
  # the fuzz targets under libFuzzer (scripts/fuzz.sh), and the ASan+UBSan
  # build with clang, whose runtimes these are
  libfuzzer-14-dev libclang-rt-14-dev
  # the network ports' tests: a real serial device server in front of the
  # virtual reader, and a serial library's RFC 2217 client (which the
  # virtual reader's TCP port answers too)
  ser2net python3-serial
  # the virtual reader's panel: its HTTP server (Boost.Beast, header-only,
  # so the mingw cross build takes the same headers), and a real browser
  # driven by Selenium in its tests
  libboost-dev chromium chromium-driver python3-selenium
)

dpkg --add-architecture i386
# A mirror in the middle of a sync fails the update for one index; try
# again a few times, then go on with the lists there are: the install below
# fails plainly if a package cannot be found.
for attempt in 1 2 3 4 5; do
  apt-get update -qq && break
  echo "apt-get update failed (attempt $attempt); trying again" >&2
  sleep $((attempt * 5))
done
apt-get install -y -qq "${packages[@]}" >/dev/null
# Wine's 32-bit loader comes from the i386 archive. When that archive's
# index is the one a syncing mirror fails, wine32 cannot be installed; the
# rest still can, and the Windows tests then skip the 32-bit Wine runs and
# say so. Anything else that fails here stops the set-up.
if ! apt-get install -y -qq wine32:i386 >/dev/null; then
  echo "WARNING: wine32:i386 could not be installed; the 32-bit DLL will be built but not run under Wine" >&2
fi
echo "set-up done: $((${#packages[@]} + 1)) packages asked for"
