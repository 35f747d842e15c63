// Waits on the page, not a test: how long "Look inside" takes from the click to the paint on the
// largest corpus program and on a 64 KB image, and the longest time the page's main thread is
// busy at a stretch while it reads a 20-minute recording from a file. Needs the web build and
// the node modules of web/ (cmake --workflow --preset web).
//
//   node bench/page_waits.mjs [build-web/web]
import fs from 'node:fs';
import path from 'node:path';
import { spawnSync } from 'node:child_process';
import { fileURLToPath } from 'node:url';
import { chromium } from '../web/node_modules/playwright-core/index.mjs';
import { captureWav } from '../web/tests/capture.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const pageDir = path.resolve(process.argv[2] || path.join(here, '..', 'build-web', 'web'));
const corpus = path.join(here, '..', '..', 'shared', 'corpus', 'zx81', 'uwol81.p');
const hello = fs.readFileSync(path.join(here, '..', 'examples', 'hello.p'));

const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--autoplay-policy=no-user-gesture-required'],
});

// Keeps the longest task the main thread ran, from now on.
const watchTasks = (page) => page.evaluate(() => {
  window.longest = 0;
  new PerformanceObserver((list) => {
    for (const e of list.getEntries()) window.longest = Math.max(window.longest, e.duration);
  }).observe({ type: 'longtask', buffered: false });
});

async function lookInside(name, bytes) {
  const page = await browser.newPage();
  await page.goto('file://' + path.join(pageDir, 'index.html'));
  await page.fill('#name', 'BIG');
  await page.setInputFiles('#file', { name, mimeType: 'application/octet-stream', buffer: bytes });
  await page.waitForFunction(() => !document.getElementById('look').hidden, null, { timeout: 120000 });
  const ms = await page.evaluate(() => new Promise((resolve) => {
    const started = performance.now();
    document.getElementById('look').click();
    const painted = () => requestAnimationFrame(() => setTimeout(() => resolve(performance.now() - started)));
    const wait = () => (document.getElementById('inside').hidden ? setTimeout(wait, 1) : painted());
    wait();
  }));
  console.log(`Look inside ${name} (${bytes.length} bytes): painted ${ms.toFixed(0)} ms after the click`);
  await page.close();
}

if (fs.existsSync(corpus)) await lookInside('uwol81.p', fs.readFileSync(corpus));
else console.log('(../shared/corpus is absent: the largest corpus program is skipped)');
await lookInside('big.p', Buffer.alloc(65544, 0xff));

// Twenty minutes of tape: hello's tape again and again, as a sound card captured it.
const wavDir = fs.mkdtempSync('/tmp/zx8x-waits-');
fs.writeFileSync(path.join(wavDir, 'hello.p'), hello);
spawnSync(path.join(pageDir, '..', 'native', 'zx8xwav'), ['hello.p'], { cwd: wavDir });
const tape = fs.readFileSync(path.join(wavDir, 'hello.wav')).subarray(44);
const copies = Math.ceil((20 * 60 * 22050) / tape.length);
const long = captureWav(Buffer.concat(Array(copies).fill(tape)));
const longPath = path.join(wavDir, 'twenty.wav');
fs.writeFileSync(longPath, long);
const page = await browser.newPage();
await page.goto('file://' + path.join(pageDir, 'index.html'));
await watchTasks(page);
const started = Date.now();
await page.setInputFiles('#recording', longPath);
await page.waitForFunction(() => /read\.|found/.test(document.getElementById('reading').textContent) &&
  document.getElementById('recovered').dataset.busy === undefined, null, { timeout: 600000 });
console.log(`a 20-minute recording (${(long.length / 1e6).toFixed(0)} MB WAV) read in ` +
  `${((Date.now() - started) / 1000).toFixed(1)} s; the longest the main thread was busy at a ` +
  `stretch: ${(await page.evaluate(() => window.longest)).toFixed(0)} ms; ` +
  `${await page.$$eval('#recovered li', (l) => l.length)} programs`);
fs.rmSync(wavDir, { recursive: true });
await browser.close();
