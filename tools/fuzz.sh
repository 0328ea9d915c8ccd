#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs each for SECONDS (default 60). Seeds: the kept corpus in tests/fuzz/corpus,
# the samples, and ../shared/corpus when present, copied to tests/fuzz/work (libFuzzer
# writes new inputs into its first corpus folder). Any crash, leak, sanitizer report or
# timeout fails the run; the input that caused it is left in tests/fuzz/work/artifacts.
#   tools/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(fuzz_inflate fuzz_load_scan fuzz_sanitize fuzz_verify)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

work=${FUZZ_WORK:-tests/fuzz/work}
mkdir -p "$work/artifacts"
status=0
for t in "${targets[@]}"; do
  dir="$work/$t"
  mkdir -p "$dir"
  cp -n tests/fuzz/corpus/"$t"/* "$dir"/ 2>/dev/null || true
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1
        -artifact_prefix="$work/artifacts/$t-")
  if [[ $t != fuzz_inflate ]]; then
    cp -n examples/*.pdf "$dir"/ 2>/dev/null || true
    if [[ -d ../shared/corpus && -z "$(ls "$dir"/opf-* 2>/dev/null | head -1)" ]]; then
      cp -n ../shared/corpus/*.pdf "$dir"/ 2>/dev/null || true
    fi
    args+=(-max_len=262144 -dict=tests/fuzz/pdf.dict)
  else
    args+=(-max_len=65536)
  fi
  echo "::: fuzzing $t for ${seconds}s"
  if ! UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1 \
       "build/fuzz/tests/fuzz/$t" "${args[@]}" "$dir" 2>"$work/$t.log"; then
    echo "::: $t FAILED; see $work/$t.log and $work/artifacts"
    tail -n 40 "$work/$t.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|cov:" "$work/$t.log" | tail -n 2
  fi
done
exit $status
