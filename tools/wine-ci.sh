#!/usr/bin/env bash
# Builds the Windows DLL, the program and the test suites with MinGW-w64, checks the
# DLL's export and import tables, and runs every test under Wine.
#   tools/wine-ci.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cmake --preset mingw >/dev/null
cmake --build --preset mingw

# Wine must never touch ~/.wine, and its server must not keep our output open.
export WINEPREFIX=$root/build/mingw/wineprefix WINEDEBUG=-all LANG=C.UTF-8
unset DISPLAY
mkdir -p "$WINEPREFIX"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineserver -p >/dev/null 2>&1 </dev/null
wineboot -i >"$root/build/mingw/wineboot.log" 2>&1 </dev/null || true
ctest --test-dir build/mingw --output-on-failure -j2 "$@"
