// Browser tests of the page in Debian's chromium: the page must print what the command line
// prints and offer the very WAV it writes, play it, and work offline from disk or any server.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

const PAGE_DIR = process.env.ZX8XWAV_PAGE_DIR;
const NATIVE = process.env.ZX8XWAV_NATIVE;
const SOURCE_DIR = process.env.ZX8XWAV_SOURCE_DIR;
const SCREENSHOTS = process.env.ZX8XWAV_SCREENSHOTS;

const HELLO = fs.readFileSync(path.join(SOURCE_DIR, 'examples', 'hello.p'));

// A ZX80 image of `size` bytes: E_LINE (bytes 10-11) points just past the 0x80 at its end.
function zx80Image(size) {
  const image = Buffer.alloc(size, 0x11);
  image[0] = 0xff;
  image.writeUInt16LE(0x4000 + size, 10);
  image[size - 1] = 0x80;
  return image;
}

let browser;
let server;
let origin;
const served = [];

before(async () => {
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--autoplay-policy=no-user-gesture-required',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--no-first-run', '--disable-quic'],
  });
  // A plain static server for the page's folder, on the loopback address only.
  server = http.createServer((request, response) => {
    served.push(request.url);
    const file = path.join(PAGE_DIR, decodeURIComponent(new URL(request.url, 'http://x').pathname));
    if (!file.startsWith(PAGE_DIR) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      response.writeHead(404).end();
      return;
    }
    const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css' };
    response.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
    response.end(fs.readFileSync(file));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  origin = `http://127.0.0.1:${server.address().port}`;
});

after(async () => {
  await browser.close();
  server.close();
});

// Runs the native program on `bytes` saved as `name` in a folder of its own, standard error
// into the same log as standard output. Returns the log, the status and the WAV it wrote.
function runNative(name, bytes, args) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zx8xwav-native-'));
  fs.writeFileSync(path.join(dir, name), bytes);
  const run = spawnSync('sh', ['-c', '"$0" "$@" 2>&1', NATIVE, ...args, name], { cwd: dir });
  const made = fs.readdirSync(dir).filter((f) => f !== name);
  const result = {
    log: run.stdout.toString(),
    status: run.status,
    wavName: made[0],
    wav: made.length === 1 ? fs.readFileSync(path.join(dir, made[0])) : undefined,
  };
  fs.rmSync(dir, { recursive: true });
  return result;
}

function optionsFor({ target = 'auto', tapeName = '' }) {
  const args = [];
  if (target === 'zx81') args.push('-81');
  if (target === 'zx80') args.push('-80');
  if (tapeName !== '') args.push('-z' + tapeName);
  return args;
}

async function openPage(url = `${origin}/index.html`, viewport = { width: 1280, height: 900 }) {
  const context = await browser.newContext({ viewport, acceptDownloads: true });
  const page = await context.newPage();
  await page.goto(url);
  return page;
}

// Converts `bytes` named `name` on the page with the settings given, and returns what the page
// shows: the log, whether Play is enabled, and the download's name and bytes if there is one.
async function convertOnPage(page, name, bytes, settings = {}) {
  const idle = () => page.waitForFunction(() => document.getElementById('log').dataset.busy === undefined);
  // Settings first: a changed setting converts the file shown before again.
  await page.selectOption('#target', settings.target || 'auto');
  await page.fill('#name', settings.tapeName || '');
  await page.locator('#name').blur();
  await idle();
  const runs = await page.$eval('#log', (log) => Number(log.dataset.runs || 0));
  await page.setInputFiles('#file', { name, mimeType: 'application/octet-stream', buffer: bytes });
  await page.waitForFunction((before) => Number(document.getElementById('log').dataset.runs || 0) > before, runs);
  await idle();
  const shown = {
    log: await page.textContent('#log'),
    playable: await page.isEnabled('#play'),
    downloadable: await page.isVisible('#download'),
  };
  if (shown.downloadable) {
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
    shown.wavName = download.suggestedFilename();
    shown.wav = fs.readFileSync(await download.path());
  }
  return shown;
}

function expectSameAsCommandLine(shown, native) {
  assert.equal(shown.log, native.log);
  assert.equal(shown.downloadable, native.wav !== undefined);
  assert.equal(shown.playable, native.wav !== undefined);
  if (native.wav !== undefined) {
    assert.equal(shown.wavName, native.wavName);
    assert.ok(shown.wav.equals(native.wav), 'the download differs from the command line WAV');
  }
}

test('the page prints and writes what the command line does', async () => {
  const cases = [
    { name: 'hello.p', bytes: HELLO },
    { name: 'invaders.o', bytes: zx80Image(300) },
    { name: 'hello.p', bytes: HELLO, tapeName: 'game1' },
    { name: 'hello.p', bytes: HELLO, target: 'zx81' },
    { name: 'hello.bin', bytes: HELLO, target: 'zx80' },
    { name: 'invaders.o', bytes: zx80Image(300), target: 'zx81' },
    { name: 'averylongname.p', bytes: HELLO },
    { name: 'big.p', bytes: Buffer.alloc(65545) },
    { name: 'empty.p', bytes: Buffer.alloc(0) },
  ];
  const page = await openPage();
  for (const c of cases) {
    const label = `${c.name} ${JSON.stringify(optionsFor(c))}`;
    const native = runNative(c.name, c.bytes, optionsFor(c));
    const shown = await convertOnPage(page, c.name, c.bytes, c);
    try {
      expectSameAsCommandLine(shown, native);
    } catch (e) {
      e.message = `${label}: ${e.message}`;
      throw e;
    }
  }
});

test('a conversion after another gives what it gives alone', async () => {
  const page = await openPage();
  await convertOnPage(page, 'invaders.o', zx80Image(500), { tapeName: 'x' });
  const after = await convertOnPage(page, 'hello.p', HELLO);
  const alone = await convertOnPage(await openPage(), 'hello.p', HELLO);
  assert.equal(after.log, alone.log);
  assert.ok(after.wav.equals(alone.wav));
});

test('play hands Web Audio the WAV samples, advances and stops', async () => {
  const page = await openPage();
  // Record every sample given to Web Audio, turned back into the WAV's 8-bit values.
  await page.evaluate(() => {
    window.played = [];
    const copy = AudioBuffer.prototype.copyToChannel;
    AudioBuffer.prototype.copyToChannel = function (source, channel, offset) {
      window.played.push(...Array.from(source, (v) => Math.round(v * 128 + 128)));
      return copy.call(this, source, channel, offset);
    };
  });
  const tiny = Buffer.alloc(100, 0x5a);  // about 4 s of tape: queued whole at once
  const native = runNative('tiny.p', tiny, []);
  await convertOnPage(page, 'tiny.p', tiny);
  await page.click('#play');
  await page.waitForFunction(() => Number(document.getElementById('progress').value) > 2000);
  const first = Number(await page.getAttribute('#progress', 'value'));
  await page.waitForTimeout(500);
  assert.ok(Number(await page.$eval('#progress', (p) => p.value)) > first, 'progress advances');
  assert.equal(Number(await page.$eval('#progress', (p) => p.max)), native.wav.length - 44);
  const played = await page.evaluate(() => window.played);
  assert.deepEqual(played, Array.from(native.wav.subarray(44)));
  assert.ok(await page.isDisabled('#play'));
  await page.click('#stop');
  assert.equal(Number(await page.$eval('#progress', (p) => p.value)), 0);
  assert.ok(await page.isEnabled('#play'));
  assert.ok(await page.isDisabled('#stop'));
});

test('the page works from file:// and asks a server for nothing but its own files', async () => {
  const fromDisk = await openPage('file://' + path.join(PAGE_DIR, 'index.html'));
  const shown = await convertOnPage(fromDisk, 'hello.p', HELLO);
  expectSameAsCommandLine(shown, runNative('hello.p', HELLO, []));

  served.length = 0;
  const page = await openPage();
  const requested = [];
  page.on('request', (request) => requested.push(request.url()));
  await convertOnPage(page, 'hello.p', HELLO);
  await page.click('#play');
  await page.waitForTimeout(300);
  await page.click('#stop');
  const own = ['/index.html', '/style.css', '/app.js', '/zx8xwav.js', '/zx8xwav.wasm.js',
    '/zx8xread.js', '/zx8xread.wasm.js'];
  assert.deepEqual([...new Set(served)].sort(), [...own].sort());
  for (const url of requested) assert.ok(url.startsWith('blob:'), `requested ${url}`);
});

test('screenshots at a desktop and a phone width', async () => {
  fs.mkdirSync(SCREENSHOTS, { recursive: true });
  for (const [label, viewport] of [['desktop', { width: 1280, height: 900 }],
    ['phone', { width: 390, height: 844 }]]) {
    const page = await openPage(undefined, viewport);
    await convertOnPage(page, 'hello.p', HELLO);
    await page.click('#play');
    await page.waitForFunction(() => Number(document.getElementById('progress').value) > 40000);
    await page.screenshot({ path: path.join(SCREENSHOTS, `${label}.png`), fullPage: true });
    await page.click('#stop');
  }
});

test('every corpus program converts on the page as on the command line', async (t) => {
  const corpus = path.join(SOURCE_DIR, '..', 'shared', 'corpus');
  if (!fs.existsSync(corpus)) {
    t.skip(`no corpus at ${corpus}`);
    return;
  }
  const page = await openPage();
  let count = 0;
  for (const machine of ['zx81', 'zx80']) {
    for (const name of fs.readdirSync(path.join(corpus, machine)).sort()) {
      const bytes = fs.readFileSync(path.join(corpus, machine, name));
      // Many corpus names are longer than a tape name may be: all get the name GAME.
      const shown = await convertOnPage(page, name, bytes, { tapeName: 'GAME' });
      const native = runNative(name, bytes, optionsFor({ tapeName: 'GAME' }));
      assert.ok(native.wav !== undefined, `${name} converts on the command line`);
      expectSameAsCommandLine(shown, native);
      count++;
    }
  }
  console.log(`${count} corpus programs converted alike`);
});
