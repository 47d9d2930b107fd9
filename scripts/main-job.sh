#!/usr/bin/env bash
# The main job: builds the library and its tool, starts the built-in
# virtual reader and runs the lane demonstration against it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VQHW_BUILD_ROOT:-$root/build}/release
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target vqhw >/dev/null
"$build/tools/vqhw" --sim demo
