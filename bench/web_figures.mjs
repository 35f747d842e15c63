// Figures for the web page, not a test: how long the page takes to convert a program (the first
// time, which compiles the WebAssembly, and again), how much memory its renderer process holds
// before and during play, and how long it takes to read a 5-minute recording from a file. Needs
// the web build and the node modules of web/ (cmake --workflow --preset web).
//
//   node bench/web_figures.mjs [build-web/web]
import { execSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from '../web/node_modules/playwright-core/index.mjs';
import { captureWav } from '../web/tests/capture.mjs';

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
  const first = Number(await page.getAttribute('#log', 'data-ms'));
  // Again, with the module compiled.
  await page.setInputFiles('#file', { name, mimeType: 'application/octet-stream', buffer: bytes });
  await page.waitForFunction(() => document.getElementById('log').dataset.runs === '2' &&
    document.getElementById('log').dataset.busy === undefined, null, { timeout: 120000 });
  const again = Number(await page.getAttribute('#log', 'data-ms'));
  // What the page holds once the converter's instance, now unused, has been collected.
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('HeapProfiler.collectGarbage');
  await page.waitForTimeout(1000);
  const before = rendererMiB();
  await page.click('#play');
  await page.waitForTimeout(3000);
  const during = rendererMiB();
  await page.click('#stop');
  console.log(`${name}: converted and shown in ${first} ms the first time (${converted} ms as the ` +
    `browser was driven), ${again} ms again; ` +
    `renderer ${idle.toFixed(0)} MiB ` +
    `idle, ${before.toFixed(0)} MiB before play, ${during.toFixed(0)} MiB during play`);
  await page.close();
}

// A 5-minute recording: the example's tape over and over, as a sound card captures it (16-bit
// mono at 44.1 kHz), read from a file.
{
  const dir = fs.mkdtempSync('/tmp/web-figures-');
  fs.copyFileSync(path.join(here, '..', 'examples', 'hello.p'), path.join(dir, 'hello.p'));
  execSync(`"${path.join(pageDir, '..', 'native', 'zx8xwav')}" hello.p`, { cwd: dir });
  const tape = fs.readFileSync(path.join(dir, 'hello.wav')).subarray(44);
  const samples = new Uint8Array(5 * 60 * 22050);
  for (let i = 0; i < samples.length; i++) samples[i] = tape[i % tape.length];
  const page = await browser.newPage();
  await page.goto('file://' + path.join(pageDir, 'index.html'));
  const started = Date.now();
  await page.setInputFiles('#recording', { name: 'five.wav', mimeType: 'audio/wav',
    buffer: captureWav(samples) });
  await page.waitForFunction(() => document.getElementById('recovered').children.length > 0 &&
    document.getElementById('recovered').dataset.busy === undefined, null, { timeout: 120000 });
  const driven = Date.now() - started;
  const read = await page.getAttribute('#recovered', 'data-ms');
  const count = await page.$$eval('#recovered li', (items) => items.length);
  console.log(`a 5-minute recording read from a file in ${read} ms (${driven} ms as the browser ` +
    `was driven and handed the file), ${count} programs`);
  fs.rmSync(dir, { recursive: true });
}
await browser.close();
