#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the optimised libraries and the pdfsanitize program (only a compiler and CMake
# needed), scans the samples in examples/, writes a fully sanitised copy of each into
# build/demo-out/ with one batch run, and runs the C example against the library.
set -euo pipefail
cd "$(dirname "$0")/.."
missing=()
for p in cmake make g++; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ $(id -u) -eq 0 ]]; then
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  else
    echo "demo: please run: sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
fi
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DPDFSANITIZE_BUILD_TESTS=OFF >/dev/null
cmake --build build/demo -j"$(nproc)" >/dev/null
bin=build/demo/cli/pdfsanitize
out=build/demo-out
rm -rf "$out"
status=0
"$bin" scan examples/*.pdf || status=$?
echo "scan exit status: $status (0 clean, 1 active content found, 2 unreadable)"
"$bin" full --out-dir "$out" examples/*.pdf
echo "sanitised copies:"
"$bin" scan "$out"/*.pdf || true
build/demo/pdfsanitize_demo examples/javascript.pdf "$out/demo-c.pdf"
