// SPDX-License-Identifier: Apache-2.0
// What real readers still find of the content a sanitising mode removes: pdf.js through
// its API, and qpdf's JSON view of the objects for what pdf.js does not expose (open
// actions of any type, /AA events, annotation actions, forms and XFA).
import { spawnSync } from 'node:child_process';

export const modeKey = { full: 'full', 'remove-js': 'js', 'remove-attachments': 'attachments', 'remove-actions': 'actions' };

// pdf.js's view; empty when it finds nothing the mode (js, attachments, actions, full) removes.
export async function pdfjsLeftovers(doc, mode) {
  const found = [];
  const js = mode === 'js' || mode === 'full';
  const files = mode === 'attachments' || mode === 'full';
  const actions = mode === 'actions' || mode === 'full';
  const docActions = (await doc.getJSActions()) ?? {};
  if (js && Object.keys(docActions).length) found.push(`document JavaScript ${Object.keys(docActions)}`);
  if (actions) {
    if (await doc.getOpenAction()) found.push('an open action');
    // The open action and the catalog's /AA events (not the document's named scripts).
    const automatic = ['OpenAction', 'WillClose', 'WillSave', 'DidSave', 'WillPrint', 'DidPrint'];
    for (const k of Object.keys(docActions)) if (automatic.includes(k)) found.push(`document action ${k}`);
  }
  if (files) {
    const att = (await doc.getAttachments()) ?? {};
    if (Object.keys(att).length) found.push(`attachments ${Object.keys(att)}`);
  }
  if (mode === 'full' && (await doc.getFieldObjects())) found.push('form fields');
  for (let i = 1; i <= doc.numPages; ++i) {
    // A page pdf.js cannot open (a page tree with a missing kid) shows it nothing.
    const page = await doc.getPage(i).catch(() => null);
    if (!page) continue;
    if ((js || actions) && (await page.getJSActions())) found.push(`page ${i} actions`);
    for (const a of await page.getAnnotations()) {
      if (js && a.actions && Object.keys(a.actions).length) found.push(`page ${i} annotation JavaScript`);
      if (files && (a.annotationType === 17 || a.file)) found.push(`page ${i} file attachment`);
      if (mode === 'full' && a.annotationType === 20) found.push(`page ${i} widget`);
      if (mode === 'full' && (a.url || a.unsafeUrl || a.newWindow !== undefined || a.attachment))
        found.push(`page ${i} annotation action`);
    }
  }
  return found;
}

// qpdf's view of the same file; null when qpdf cannot give one.
export function qpdfLeftovers(file, mode) {
  const r = spawnSync('qpdf', ['--json=2', '--json-key=qpdf', file], { maxBuffer: 1 << 30, encoding: 'utf8' });
  let objs;
  try {
    objs = JSON.parse(r.stdout).qpdf[1];
  } catch {
    return null;
  }
  const isRef = (v) => typeof v === 'string' && /^\d+ \d+ R$/.test(v);
  const get = (v) => {
    if (!isRef(v)) return v;
    const o = objs[`obj:${v}`];
    return o ? (o.value ?? o.stream?.dict ?? null) : null;
  };
  const dict = (v) => {
    const d = get(v);
    return d && typeof d === 'object' && !Array.isArray(d) ? d : null;
  };
  const nonEmpty = (v) => {
    const d = dict(v);
    return d !== null && Object.keys(d).length > 0;
  };
  const found = [];
  const actions = mode === 'actions' || mode === 'full';
  const catalog = dict(objs.trailer?.value?.['/Root']);
  if (!catalog) return found;
  if (actions && catalog['/OpenAction'] !== undefined && get(catalog['/OpenAction']) !== null) found.push('open action');
  if (actions && nonEmpty(catalog['/AA'])) found.push('catalog /AA');
  const form = dict(catalog['/AcroForm']);
  if (mode === 'full' && form) found.push('/AcroForm');
  if (mode !== 'attachments' && form && form['/XFA'] !== undefined) found.push('/XFA');
  const seen = new Set();
  const work = [catalog['/Pages']];
  while (work.length) {
    const ref = work.pop();
    if (isRef(ref)) {
      if (seen.has(ref)) continue;
      seen.add(ref);
    }
    const node = dict(ref);
    if (!node) continue;
    if (actions && nonEmpty(node['/AA'])) found.push(`${node['/Type'] ?? 'page tree'} /AA (${ref})`);
    const kids = get(node['/Kids']);
    if (Array.isArray(kids) && node['/Type'] !== '/Page') work.push(...kids.filter(isRef));
    const annots = get(node['/Annots']);
    if (mode !== 'full' || !Array.isArray(annots)) continue;
    for (const a of annots) {
      const ad = dict(a);
      if (!ad) continue;
      const action = dict(ad['/A']);
      const type = action ? get(action['/S']) : undefined;
      if (action && type !== '/GoTo' && type !== '/Named') found.push(`annotation action ${type} (${ref})`);
      if (nonEmpty(ad['/AA'])) found.push(`annotation /AA (${ref})`);
    }
  }
  return found;
}
