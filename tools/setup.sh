#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what a fresh Debian 12 machine lacks for building and testing.
#   tools/setup.sh            compilers, CMake, GoogleTest, zlib (tests), qpdf, Node.js,
#                             pkg-config, python3 with pytest
#   tools/setup.sh ci         also clang's sanitizer and fuzzer runtimes, MinGW-w64, Wine
# Run as root to install; otherwise it prints the one apt-get line to run.
set -euo pipefail
cd "$(dirname "$0")/.."

pkgs=(cmake make g++ clang googletest libgtest-dev libbenchmark-dev zlib1g-dev qpdf pkg-config python3 python3-pytest)
# Node.js may come from elsewhere than Debian (with npm inside): look for the commands.
command -v node >/dev/null && command -v npm >/dev/null || pkgs+=(nodejs npm)
if [[ "${1:-}" == "ci" ]]; then
  pkgs+=(libclang-rt-14-dev g++-mingw-w64-x86-64-posix wine wine64 time)
fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ $(id -u) -eq 0 ]]; then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  else
    echo "setup: please run: sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
fi

# pdf.js for the reader checks, pinned in tests/node/package-lock.json.
if [[ ! -d tests/node/node_modules/pdfjs-dist ]]; then
  (cd tests/node && npm ci --no-audit --no-fund --loglevel=error)
fi
