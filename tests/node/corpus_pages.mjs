// Page counts of the corpus outputs in pdf.js, compared with their inputs.
// Usage: node corpus_pages.mjs MANIFEST EXCEPTIONS
// MANIFEST lines: input, output, file name, mode (tab-separated). An output must open
// and have its input's page count; where pdf.js cannot open the input, the output must
// still open. Differences listed in EXCEPTIONS (file, mode or *, "pdfjs", reason) pass.
// Exit 0 pass, 1 fail, 77 when pdf.js is not installed.
import { existsSync, readFileSync } from 'node:fs';

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

async function pages(path) {
  try {
    const doc = await pdfjs.getDocument({
      data: new Uint8Array(readFileSync(path)),
      isEvalSupported: false,
      disableFontFace: true,
      stopAtErrors: false,
      verbosity: 0,
    }).promise;
    const n = doc.numPages;
    await doc.destroy();
    return n;
  } catch {
    return -1;
  }
}

const inputPages = new Map();
let failures = 0, listedCount = 0, compared = 0, unreadable = 0;
for (const [input, output, file, mode] of rows) {
  if (!inputPages.has(input)) inputPages.set(input, await pages(input));
  const want = inputPages.get(input);
  const got = await pages(output);
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
console.log(`pdf.js: ${compared - unreadable} outputs compared (${unreadable} of unreadable inputs passed over), ${listedCount} listed differences, ${failures} failures`);
process.exit(failures ? 1 : 0);
