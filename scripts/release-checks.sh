#!/usr/bin/env bash
# What a user gets, checked once on a built release tree: the install into a
# prefix (pkg-config and find_package builds run against vqhw-sim), the
# Debian packages (contents, lintian, the same builds against their files).
# Usage: scripts/release-checks.sh BUILD_DIR
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:?usage: release-checks.sh BUILD_DIR}")

echo "== install into a prefix"
"$repo/tests/install/check_install.sh" "$build"

if [ -x "$repo/tests/install/check_packages.sh" ]; then
  echo "== Debian packages"
  "$repo/tests/install/check_packages.sh" "$build"
fi
