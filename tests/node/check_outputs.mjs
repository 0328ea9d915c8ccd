// SPDX-License-Identifier: Apache-2.0
// Opens PDF files with pdf.js, as a browser would, and checks their page counts and
// what the sanitising mode promised to remove.
// Usage: node check_outputs.mjs MANIFEST
// Each line of MANIFEST: a file (absolute, or relative to the manifest's folder), a
// tab, the expected page count (-1: any), and optionally a tab and the mode whose
// promise to check (js, attachments, actions or full). Exit 0 all good, 1 a failure,
// 77 when pdf.js is not installed (the check is skipped).
import { existsSync, readFileSync } from 'node:fs';
import path from 'node:path';
import { pdfjsLeftovers } from './readers.mjs';

let pdfjs;
try {
  pdfjs = await import('pdfjs-dist/legacy/build/pdf.mjs');
} catch {
  console.log('pdf.js is not installed (run npm ci in tests/node): check skipped');
  process.exit(77);
}

const manifest = process.argv[2];
if (!manifest || !existsSync(manifest)) {
  console.log('no outputs to check');
  process.exit(0);
}
const base = path.dirname(manifest);

const lines = readFileSync(manifest, 'utf8').split('\n').filter((l) => l.trim() !== '');
let failures = 0;
for (const line of lines) {
  const [name, pagesText, mode] = line.split('\t');
  const file = path.isAbsolute(name) ? name : path.join(base, name);
  const expected = Number(pagesText ?? '-1');
  try {
    const data = new Uint8Array(readFileSync(file));
    const doc = await pdfjs.getDocument({
      data,
      isEvalSupported: false,
      disableFontFace: true,
      stopAtErrors: false,
      verbosity: 0,
    }).promise;
    if (expected >= 0 && doc.numPages !== expected) {
      throw new Error(`${doc.numPages} pages, expected ${expected}`);
    }
    if (mode) {
      const found = await pdfjsLeftovers(doc, mode);
      if (found.length) throw new Error(`mode ${mode} left ${found.join('; ')}`);
    } else {
      for (let i = 1; i <= Math.min(doc.numPages, 20); ++i) await doc.getPage(i);
    }
    await doc.destroy();
  } catch (e) {
    ++failures;
    console.log(`FAIL ${file}: ${e.message ?? e}`);
  }
}
console.log(`pdf.js opened ${lines.length - failures} of ${lines.length} files as expected`);
process.exit(failures ? 1 : 0);
