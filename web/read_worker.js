// Reading recordings away from the page's thread: zx8xread, run as on the command line, in a
// worker, so that a long recording never stops the page. It runs after zx8xread's factory and
// wasm.js (see embed_worker.mjs), and is given the module the page compiled. The page sends the
// recordings (a WAV file's bytes, or the channels the browser decoded, a piece at a time); the
// worker answers "start", "read", "times" and "stretch", and says each line zx8xread prints as
// it comes. It keeps its instance afterwards, to say where each byte of a program lies in a
// recording and what the recording holds there.
'use strict';

let reader = null;       // the instance that read the recordings last
let interleaved = null;  // the recording being sent as decoded channels, its frames interleaved
let channelCount = 0;
let lines = [];

async function fresh() {
  lines = [];
  reader = await zxWasm.instance('zx8xread', {
    print: (text) => {
      lines.push(text);
      postMessage({ type: 'line', text });
    },
    printErr: (text) => {
      lines.push(text);
      postMessage({ type: 'line', text });
    },
  });
  reader.FS.mkdir('/in');
  reader.FS.mkdir('/out');
}

// A recording decoded by the browser, written as a float WAV that zx8xread reads.
function writeChannels(path, rate) {
  const frames = interleaved.length / channelCount;
  const ok = zxWasm.withMemory(reader, [interleaved, path],
    (at, p) => reader._ZxWriteFloatWav(p, at, frames, channelCount, rate));
  interleaved = null;
  if (!ok) throw new Error('no room for ' + path.replace('/in/', ''));
}

function readAll(args) {
  zxWasm.callMain(reader, args);
  const files = {};
  for (const name of reader.FS.readdir('/out')) {
    if (name !== '.' && name !== '..') files[name] = reader.FS.readFile('/out/' + name);
  }
  return { type: 'done', lines, files };
}

onmessage = async (event) => {
  const m = event.data;
  try {
    if (m.type === 'module') {
      zxWasm.provide('zx8xread', m.module);
    } else if (m.type === 'start') {
      await fresh();
      postMessage({ type: 'started' });
    } else if (m.type === 'wav') {
      reader.FS.writeFile(m.path, m.bytes);
    } else if (m.type === 'channels') {
      // The next frames of each channel, from frame `at` of `frames`.
      if (m.at === 0) {
        channelCount = m.pieces.length;
        interleaved = new Float32Array(m.frames * channelCount);
      }
      m.pieces.forEach((piece, c) => {
        for (let i = 0; i < piece.length; i++) interleaved[(m.at + i) * channelCount + c] = piece[i];
      });
    } else if (m.type === 'decoded') {
      writeChannels(m.path, m.rate);
    } else if (m.type === 'read') {
      postMessage(readAll(m.args));
    } else if (m.type === 'stretch') {
      const stretch = zxWasm.withMemory(reader, [m.path], (p) => zxWasm.json(reader,
        reader._ZxRecordingStretch(p, m.channel, m.from, m.to)));
      postMessage({ type: 'stretch', stretch });
    } else if (m.type === 'times') {
      const times = zxWasm.withMemory(reader, [m.path],
        (p) => zxWasm.json(reader, reader._ZxReadTimes(p, m.machine)));
      postMessage({ type: 'times', id: m.id, times });
    }
  } catch (e) {
    postMessage({ type: 'error', message: e.message || String(e) });
  }
};
