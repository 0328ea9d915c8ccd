// SPDX-License-Identifier: Apache-2.0
// The corpus outputs in real readers. Page counts in pdf.js, compared with the inputs;
// and the verifier's verdict checked: where the run's report says nothing the mode
// promises to remove is reachable, neither pdf.js nor qpdf may find any of it.
// Usage: node corpus_pages.mjs MANIFEST EXCEPTIONS
// MANIFEST lines: input, output, file name, mode, the run's report (tab-separated). An
// output must open and have its input's page count; where pdf.js cannot open the input,
// the output must still open. Differences listed in EXCEPTIONS (file, mode or *,
// "pdfjs", reason) pass. Exit 0 pass, 1 fail, 77 when pdf.js is not installed.
import { existsSync, readFileSync } from 'node:fs';
import { modeKey, pdfjsLeftovers, qpdfLeftovers } from './readers.mjs';

let pdfjs;
try {
  pdfjs = await import('pdfjs-dist/legacy/build/pdf.mjs');
} catch {
  console.log('pdf.js is not installed (run npm ci in tests/node): check skipped');
  process.exit(77);
}
const [manifest, exceptionsFile] = process.argv.slice(2);
const rows = readFileSync(manifest, 'utf8').split('\n').filter((l) => l).map((l) => l.split('\t'));
const exceptions = existsSync(exceptionsFile)
  ? readFileSync(exceptionsFile, 'utf8').split('\n').filter((l) => l && !l.startsWith('#')).map((l) => l.split('\t'))
  : [];
const listed = (file, mode) => exceptions.some(([f, m, c]) => f === file && (m === mode || m === '*') && c === 'pdfjs');

// The page count (-1: pdf.js cannot open it) and, with a mode, what pdf.js finds left.
async function open(path, mode) {
  try {
    const doc = await pdfjs.getDocument({
      data: new Uint8Array(readFileSync(path)),
      isEvalSupported: false,
      disableFontFace: true,
      stopAtErrors: false,
      verbosity: 0,
    }).promise;
    const n = doc.numPages;
    const left = mode ? await pdfjsLeftovers(doc, mode).catch((e) => [`pdf.js failed: ${e.message ?? e}`]) : [];
    await doc.destroy();
    return { n, left };
  } catch {
    return { n: -1, left: [] };
  }
}
const pages = async (path) => (await open(path)).n;

// Per mode: outputs the verifier passed, readers' findings in those (misses), and
// outputs where the verifier reports what a strict run refuses.
const verdicts = {};
const tally = (mode) => (verdicts[mode] ??= { passed: 0, missed: [], refused: [], kinds: {} });

const inputPages = new Map();
let failures = 0, listedCount = 0, compared = 0, unreadable = 0;
for (const [input, output, file, mode, reportFile] of rows) {
  if (!inputPages.has(input)) inputPages.set(input, await pages(input));
  const want = inputPages.get(input);
  const report = reportFile && existsSync(reportFile) ? JSON.parse(readFileSync(reportFile, 'utf8')) : null;
  const key = modeKey[mode];
  const { n: got, left } = await open(output, report ? key : undefined);
  if (report) {
    const t = tally(mode);
    const readers = [...left, ...(key === 'attachments' ? [] : qpdfLeftovers(output, key) ?? [])];
    const spots = report.left?.blind_spots ?? [];
    if (report.left?.blind_spots_count === 0) {
      t.passed += 1;
      if (readers.length) t.missed.push(`${file}: ${readers.join('; ')}`);
    } else {
      const kinds = [...new Set(spots.map((f) => `${f.kind}:${f.detail}`))];
      for (const k of kinds) t.kinds[k] = (t.kinds[k] ?? 0) + 1;
      t.refused.push(`${file}: verifier ${kinds.join(', ')} at ${spots[0]?.path || 'the trailer'}; ` +
                     (readers.length ? `readers see ${readers.join('; ')}` : 'no reader shows it'));
    }
  }
  // Where pdf.js cannot open the input there is no page count to keep.
  if (want < 0) {
    unreadable += 1;
    continue;
  }
  const ok = got === want;
  compared += 1;
  if (ok) continue;
  if (listed(file, mode)) {
    listedCount += 1;
    continue;
  }
  failures += 1;
  console.log(`FAIL ${file} ${mode}: pdf.js ${got < 0 ? 'cannot open the output' : `counts ${got} pages`}` +
              `, input ${want < 0 ? 'unreadable' : `${want} pages`}`);
}
for (const [mode, t] of Object.entries(verdicts)) {
  console.log(`${mode}: the verifier passed ${t.passed} outputs, readers found content in ${t.missed.length} of them; ` +
              `a strict run refuses ${t.refused.length} ${JSON.stringify(t.kinds)}`);
  for (const m of t.missed) console.log(`  FAIL missed by the verifier: ${m}`);
  for (const r of t.refused) console.log(`  refused: ${r}`);
  failures += t.missed.length;
}
console.log(`pdf.js: ${compared - unreadable} outputs compared (${unreadable} of unreadable inputs passed over), ${listedCount} listed differences, ${failures} failures`);
process.exit(failures ? 1 : 0);
