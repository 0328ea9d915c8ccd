#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
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

# The program reads its arguments as UTF-16 and hands the library UTF-8: a CJK name
# opens, and its JSON line spells the name in UTF-8.
names=$root/build/mingw/names
rm -rf "$names" && mkdir -p "$names"
cp examples/javascript.pdf "$names/文件 é.pdf"
(cd "$names" && wine "$root/build/mingw/bin/pdfsanitize.exe" scan "文件 é.pdf" >scan.out 2>scan.err) || true
grep -qF '{"file":"文件 é.pdf","javascript":true,' "$names/scan.out" ||
  { echo "wine: scan of a CJK name: $(cat "$names/scan.out" "$names/scan.err")"; exit 1; }
(cd "$names" && wine "$root/build/mingw/bin/pdfsanitize.exe" full "文件 é.pdf" "净化.pdf")
cmp -s "$names/净化.pdf" <(build/dev/cli/pdfsanitize full examples/javascript.pdf - 2>/dev/null) ||
  [[ ! -x build/dev/cli/pdfsanitize ]] || { echo "wine: the program's output differs from the Linux build's"; exit 1; }
echo "wine: the program opens and writes files with CJK names"
