// Figures for the web page, not a test: how long the page takes to convert a program, and how
// much memory its renderer process holds before and during play. Needs the web build and the
// node modules of web/ (cmake --workflow --preset web).
//
//   node bench/web_figures.mjs [build-web/web]
import { execSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from '../web/node_modules/playwright-core/index.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const pageDir = path.resolve(process.argv[2] || path.join(here, '..', 'build-web', 'web'));

// Resident memory of the renderer processes, in MiB (one page is open at a time).
function rendererMiB() {
  const out = execSync("ps -eo rss,args | grep -- '--type=renderer' | grep -v grep || true").toString();
  return out.split('\n').filter(Boolean).reduce((sum, line) => sum + Number(line.trim().split(/\s+/)[0]), 0) / 1024;
}

const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--autoplay-policy=no-user-gesture-required',
    '--disable-background-networking', '--disable-component-update', '--no-first-run'],
});
const programs = [
  ['hello.p', fs.readFileSync(path.join(here, '..', 'examples', 'hello.p')), ''],
  ['zzzzzzzz.p', Buffer.alloc(65544, 0xff), 'ZZZZZZZZ'],
];
for (const [name, bytes, tapeName] of programs) {
  const page = await browser.newPage();
  await page.goto('file://' + path.join(pageDir, 'index.html'));
  await page.fill('#name', tapeName);
  const idle = rendererMiB();
  const started = Date.now();
  await page.setInputFiles('#file', { name, mimeType: 'application/octet-stream', buffer: bytes });
  await page.waitForFunction(() => document.getElementById('log').dataset.runs === '1' &&
    document.getElementById('log').dataset.busy === undefined, null, { timeout: 120000 });
  const converted = Date.now() - started;
  // What the page holds once the converter's instance, now unused, has been collected.
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('HeapProfiler.collectGarbage');
  await page.waitForTimeout(1000);
  const before = rendererMiB();
  await page.click('#play');
  await page.waitForTimeout(3000);
  const during = rendererMiB();
  await page.click('#stop');
  console.log(`${name}: converted and shown in ${converted} ms; renderer ${idle.toFixed(0)} MiB ` +
    `idle, ${before.toFixed(0)} MiB before play, ${during.toFixed(0)} MiB during play`);
  await page.close();
}
await browser.close();
