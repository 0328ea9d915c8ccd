#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The real-world corpus check: every file of the corpus is scanned and sanitised in the
# four modes by the pdfsanitize program. Each file must finish within a few seconds;
# every refusal must carry one of the library's messages; every output must pass
# `qpdf --check` without errors when the input had none, and open in pdf.js with the
# input's page count (checked for all outputs in one Node process). Outputs worse than
# their input must stand in the exceptions list with the rule that causes them. Each run
# writes its report; where the verifier found nothing the mode promises to remove,
# pdf.js and qpdf must find nothing of it either.
#   check.sh PDFSANITIZE CORPUS_DIR WORK_DIR
# Exit 0 pass, 1 fail, 77 skipped (no corpus).
set -uo pipefail
cli=$1
corpus=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
exceptions=$here/exceptions.tsv

if [[ ! -d $corpus ]] || ! ls "$corpus"/*.pdf >/dev/null 2>&1; then
  echo "corpus check skipped: no corpus at $corpus"
  exit 77
fi
have_qpdf=1
command -v qpdf >/dev/null || { have_qpdf=0; echo "qpdf not installed: qpdf checks skipped"; }

rm -rf "$work"
mkdir -p "$work/out"
manifest=$work/pages.tsv
: >"$manifest"
modes=(full remove-js remove-attachments remove-actions)
messages='^pdfsanitize: (NULL path argument|cannot open .*|empty input file: .*|input file too large: .*|read error on .*|no PDF objects found — not a PDF: .*|encrypted PDFs are not supported: .*|out of memory|cannot open output file .*|short write on output file .*)$'

is_exception() {  # file mode check
  awk -F'\t' -v f="$1" -v m="$2" -v c="$3" '$1==f && ($2==m || $2=="*") && $3==c {found=1} END {exit !found}' "$exceptions"
}

files=0 refused=0 outputs=0 fails=0 worse_listed=0 slowest=0 slowest_file="" audited_spots=0
: >"$work/spots.txt"
for f in "$corpus"/*.pdf; do
  name=$(basename "$f")
  files=$((files + 1))
  t0=$(date +%s%N)
  timeout 20 "$cli" scan "$f" >"$work/scan.out" 2>"$work/scan.err"
  rc=$?
  if ((rc > 2)); then
    echo "FAIL $name: scan exited $rc"; fails=$((fails + 1)); continue
  fi
  if ((rc == 2)); then
    if ! grep -Eq "$messages" "$work/scan.err"; then
      echo "FAIL $name: undocumented message: $(cat "$work/scan.err")"; fails=$((fails + 1))
    fi
    refused=$((refused + 1))
  fi
  timeout 20 "$cli" audit "$f" >"$work/audit.out" 2>"$work/audit.err"
  arc=$?
  if ((arc > 2)); then
    echo "FAIL $name: audit exited $arc"; fails=$((fails + 1))
  elif ((arc == 1)); then
    audited_spots=$((audited_spots + 1))
    # Each blind-spot kind, once per file.
    grep -oE '"blind_spots":\[\{"kind":"[a-z_0-9]+","detail":"[^"]*"' "$work/audit.out" |
      sed -E 's/.*"kind":"([^"]*)","detail":"([^"]*)"/\1:\2/' | sort -u >>"$work/spots.txt"
  fi
  in_qpdf=0
  ((have_qpdf)) && { qpdf --check "$f" >/dev/null 2>&1; in_qpdf=$?; }
  for m in "${modes[@]}"; do
    out="$work/out/$name.$m.pdf"
    timeout 20 "$cli" "$m" --report "$out.json" "$f" "$out" 2>"$work/mode.err"
    mrc=$?
    if ((mrc != 0)); then
      if ((mrc > 2)) || ! grep -Eq "$messages" "$work/mode.err"; then
        echo "FAIL $name $m: exit $mrc: $(cat "$work/mode.err")"; fails=$((fails + 1))
      elif ((rc != 2)); then
        echo "FAIL $name $m: refused though the scan was not: $(cat "$work/mode.err")"; fails=$((fails + 1))
      fi
      continue
    fi
    outputs=$((outputs + 1))
    if ((have_qpdf)) && ((in_qpdf != 2)); then
      qpdf --check "$out" >"$work/qpdf.out" 2>&1
      if (($? == 2)); then
        if is_exception "$name" "$m" qpdf; then
          worse_listed=$((worse_listed + 1))
        else
          echo "FAIL $name $m: qpdf finds errors the input did not have: $(grep -m1 -iE 'error|warning' "$work/qpdf.out")"
          fails=$((fails + 1))
        fi
      fi
    fi
    printf '%s\t%s\t%s\t%s\t%s\n' "$f" "$out" "$name" "$m" "$out.json" >>"$manifest"
  done
  t1=$(date +%s%N)
  ms=$(((t1 - t0) / 1000000))
  if ((ms > slowest)); then slowest=$ms; slowest_file=$name; fi
done

# A batch with four workers writes the same bytes as the one-by-one runs above.
rm -rf "$work/batch"
"$cli" full --out-dir "$work/batch" -j 4 "$corpus"/*.pdf 2>"$work/batch.err"
batch_rc=$?
batch_same=0
for f in "$corpus"/*.pdf; do
  name=$(basename "$f")
  single="$work/out/$name.full.pdf"
  if [[ -f "$single" ]]; then
    if cmp -s "$single" "$work/batch/$name"; then
      batch_same=$((batch_same + 1))
    else
      echo "FAIL $name: the batch output differs from the single run's"; fails=$((fails + 1))
    fi
  elif [[ -e "$work/batch/$name" ]]; then
    echo "FAIL $name: the batch wrote an output the single run refused"; fails=$((fails + 1))
  fi
done
if ((batch_rc != 0 && batch_rc != 2)); then echo "FAIL batch: exit $batch_rc"; fails=$((fails + 1)); fi
if ! tail -n1 "$work/batch.err" | grep -Eq "^pdfsanitize: full: $files files in [0-9.]+ s: $batch_same written, [0-9]+ failed"; then
  echo "FAIL batch summary: $(tail -n1 "$work/batch.err")"; fails=$((fails + 1))
fi
echo "batch (-j 4): $batch_same outputs identical to the single runs; $(tail -n1 "$work/batch.err")"

echo "corpus: $files files, $refused refused with a documented message, $outputs outputs written"
echo "slowest file (scan, four modes, audit, qpdf checks): $slowest_file, $slowest ms"
echo "audit: $audited_spots files with a blind spot for some mode; files by kind:"
sort "$work/spots.txt" | uniq -c | sort -rn | sed 's/^/  /'
if command -v node >/dev/null; then
  node "$here/../node/corpus_pages.mjs" "$manifest" "$exceptions"
  nrc=$?
  if ((nrc == 1)); then fails=$((fails + 1)); fi
else
  echo "node not installed: pdf.js checks skipped"
fi
echo "outputs worse than their input by a listed rule (qpdf): $worse_listed"
if ((fails)); then
  echo "corpus check FAILED ($fails failures)"
  exit 1
fi
echo "corpus check passed"
