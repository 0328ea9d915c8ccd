#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs a Windows program under Wine for CTest. Wine sometimes exits 0 after a crash,
# so the run also fails when Wine (or the program's own exception filter) reports an
# unhandled exception. The Wine prefix lives in the build tree (WINEPREFIX, default
# build/mingw/wineprefix); tools/wine-ci.sh starts one persistent server for a run.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/mingw/wineprefix}
export WINEDEBUG=-all LANG=C.UTF-8
unset DISPLAY
log=$(mktemp)
trap 'rm -f "$log"' EXIT
wine "$@" 2>"$log"
rc=$?
cat "$log" >&2
if grep -q -E "Unhandled exception|Unhandled page fault|unhandled exception" "$log"; then
  echo "wine-run: the program crashed (exit status was $rc)" >&2
  ((rc == 0)) && rc=70
fi
exit $rc
