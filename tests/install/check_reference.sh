#!/usr/bin/env bash
# Builds the HTML reference (the docs target: Doxygen warnings are fatal) and
# checks that every export of src/api/exports.list has its entry in a group
# page, and that the status-code page is there.
# Usage: check_reference.sh BUILD_DIR
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:?usage: check_reference.sh BUILD_DIR}")
html=$build/docs/html

cmake --build "$build" --target docs
missing=0
for name in $(awk '/^[A-Za-z_]/{print $1}' "$repo/src/api/exports.list"); do
  if ! grep -q "<td class=\"memname\">int32_t $name </td>" "$html"/group__*.html; then
    echo "no reference entry for $name"
    missing=$((missing + 1))
  fi
done
[ "$missing" -eq 0 ] || exit 1
# The page has a row per code of the library's status table (its generator
# fails when the table and the page's advice differ): the first and the last.
rows=$(grep -c '<tr class="markdownTableRow' "$html/status_codes.html" || true)
for code in 0 -1000; do
  grep -Eq "<td class=\"markdownTableBodyRight\">$code +</td>" "$html/status_codes.html" ||
    { echo "the status-code page has no row for $code"; exit 1; }
done
echo "reference: $(awk '/^[A-Za-z_]/' "$repo/src/api/exports.list" | wc -l) exports documented, $rows status codes, in $html"
