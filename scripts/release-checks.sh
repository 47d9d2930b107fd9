#!/usr/bin/env bash
# What a user gets, checked once on a built release tree: the HTML reference
# (the docs target, Doxygen warnings fatal), the install into a prefix
# (pkg-config and find_package builds run against vqhw-sim), the Debian
# packages (contents, lintian, the same builds against their files).
# Usage: scripts/release-checks.sh BUILD_DIR
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:?usage: release-checks.sh BUILD_DIR}")

step() {
  local name=$1 started=$SECONDS
  shift
  echo "== $name"
  "$@"
  echo "== $name: $((SECONDS - started)) s"
}

# First, so that the install and the -dev package carry the reference.
step "reference" "$repo/tests/install/check_reference.sh" "$build"
step "install into a prefix" "$repo/tests/install/check_install.sh" "$build"
step "Debian packages" "$repo/tests/install/check_packages.sh" "$build"
