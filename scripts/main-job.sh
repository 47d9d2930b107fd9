#!/usr/bin/env bash
# The main job: builds the library and its tool, starts the built-in
# virtual reader and runs the lane demonstration against it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VQHW_BUILD_ROOT:-$root/build}/release
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target vqhw vqhw-sim >/dev/null
"$build/tools/vqhw" --sim demo
cat <<EOF

The build is in $build:
  $build/src/libVqhwLib.so    the library (header: include/VqhwLib.h)
  $build/tools/vqhw           the tool
  $build/sim/vqhw-sim         the virtual reader
Try next:
  $build/tools/vqhw --sim card                            the card in the virtual field
  $build/tools/vqhw --sim trace read 4 -k A0A1A2A3A4A5    a block, with every frame
  bash scripts/test-all.sh                                every test, as CI runs them
  cmake --install $build --prefix /tmp/vqhw               install it (README: Install)
  cmake --build $build --target docs                      the reference, $build/docs/html/index.html
EOF
