#!/usr/bin/env bash
# Builds the optimised library and the pdfsanitize program, then scans the samples in
# examples/ and writes a fully sanitised copy of each into build/demo-out/.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset release
cmake --build --preset release
bin=build/release/cli/pdfsanitize
out=build/demo-out
mkdir -p "$out"
status=0
"$bin" scan examples/*.pdf || status=$?
echo "scan exit status: $status (0 clean, 1 active content found, 2 unreadable)"
for f in examples/*.pdf; do
  "$bin" full "$f" "$out/$(basename "$f")"
done
echo "sanitised copies:"
"$bin" scan "$out"/*.pdf || true
build/release/pdfsanitize_demo examples/javascript.pdf "$out/demo-c.pdf"
