// Reading a tape as it plays: the microphone or line input, through an AudioWorklet, to zx8xread
// compiled to WebAssembly, which reads the samples as they come and hands back each program.
'use strict';

self.zxLive = (function () {
  const $ = (id) => document.getElementById(id);

  // Samples reach the page from an AudioWorklet in pieces of about 0.1 s.
  const TAP = `class Tap extends AudioWorkletProcessor {
    constructor() { super(); this.pieces = []; this.frames = 0; }
    process(inputs) {
      const input = inputs[0];
      if (input && input.length > 0) {
        this.pieces.push(input.map((channel) => channel.slice()));
        this.frames += input[0].length;
        if (this.frames >= 4096) {
          this.port.postMessage(this.pieces);
          this.pieces = [];
          this.frames = 0;
        }
      }
      return true;
    }
  }
  registerProcessor('zx8x-tap', Tap);`;

  let recording = null;  // the live reading, while it runs

  // Leaving the page while it records loses the reading: the browser asks first.
  function warnWhileRecording(e) {
    e.preventDefault();
    e.returnValue = '';
  }

  function showLevel(peak) {
    const db = peak > 0 ? 20 * Math.log10(peak) : -Infinity;
    const level = $('level');
    level.value = Math.max(-60, db);
    level.dataset.level = db === -Infinity ? '-Infinity' : db.toFixed(1);
    const r = recording;
    if (!r) return;
    r.loudest = Math.max(r.loudest * 0.9, peak);
    $('level-note').textContent = peak >= 0.999 ? 'Too loud: the signal is clipped. Turn it down.'
      : r.loudest < 0.01 ? 'Too quiet: turn the volume up, or check the cable.' : 'Level good.';
  }

  // The input, its audio graph up to the tap, and the reader that will be fed from it.
  async function openInput() {
    const stream = await navigator.mediaDevices.getUserMedia({
      audio: { echoCancellation: false, noiseSuppression: false, autoGainControl: false },
    });
    const context = new AudioContext();
    const url = URL.createObjectURL(new Blob([TAP], { type: 'text/javascript' }));
    await context.audioWorklet.addModule(url);
    URL.revokeObjectURL(url);
    const source = context.createMediaStreamSource(stream);
    const channels = Math.max(1, Math.min(2, stream.getAudioTracks()[0].getSettings().channelCount || 1));
    const tap = new AudioWorkletNode(context, 'zx8x-tap', {
      numberOfInputs: 1, numberOfOutputs: 0, channelCount: channels, channelCountMode: 'explicit',
    });
    const reader = await zxWasm.instance('zx8xread', {});
    const option = zxRecordings.machineOption()[0];
    const machine = zxWasm.machineCode(reader, { '-80': 'ZX80', '-81': 'ZX81' }[option]);
    if (!reader._ZxReadStart(context.sampleRate, channels, machine)) {
      throw new Error('the input runs at ' + context.sampleRate + ' samples per second');
    }
    return { stream, context, source, tap, reader, channels };
  }

  async function start() {
    if (recording) return;
    recording = { starting: true, loudest: 1 };
    $('record').disabled = true;
    try {
      const input = await openInput();
      zxRecordings.clear();
      recording = Object.assign(input, { loudest: 1, frames: 0 });
      input.tap.port.onmessage = (event) => feed(event.data);
      window.addEventListener('beforeunload', warnWhileRecording);
      input.source.connect(input.tap);
      $('recovered').dataset.busy = 'yes';
      $('record-stop').disabled = false;
      $('reading').textContent = 'Listening. Start the tape, or type SAVE "NAME" on the machine.';
    } catch (e) {
      recording = null;
      $('record').disabled = false;
      $('reading').textContent = 'Cannot record: ' + (e.message || e) +
        '. Allow this page to use the microphone or line input.';
    }
  }

  // Hands a batch of pieces to the reader, interleaved, and shows what it says.
  function feed(pieces) {
    const r = recording;
    if (!r || !r.reader) return;
    const frames = pieces.reduce((n, piece) => n + piece[0].length, 0);
    const at = r.reader._ZxReadSamples(frames) >> 2;
    const heap = r.reader.HEAPF32;
    let k = at;
    let peak = 0;
    for (const piece of pieces) {
      for (let i = 0; i < piece[0].length; i++) {
        for (let c = 0; c < r.channels; c++) {
          const v = (piece[c] || piece[0])[i];
          heap[k++] = v;
          if (Math.abs(v) > peak) peak = Math.abs(v);
        }
      }
    }
    zxRecordings.takePrograms(r.reader, r.reader._ZxReadFeed(frames));
    r.frames += frames;
    showLevel(peak);
    const now = r.reader.UTF8ToString(r.reader._ZxReadNow());
    $('reading').textContent = now !== '' ? now
      : 'Listening: ' + zxPlayer.minutesAndSeconds(r.frames / r.context.sampleRate) + ' recorded.';
  }

  function stop() {
    const r = recording;
    if (!r || !r.reader) return;
    recording = null;
    window.removeEventListener('beforeunload', warnWhileRecording);
    r.tap.port.onmessage = null;
    r.stream.getTracks().forEach((track) => track.stop());
    r.context.close();
    zxRecordings.takePrograms(r.reader, r.reader._ZxReadFinish());
    const tape = zxWasm.withMemory(r.reader, ['recording', '/recording.tzx'],
      (name, out) => r.reader._ZxReadTzx(name, out));
    if (tape) zxRecordings.addTape('recording.tzx', r.reader.FS.readFile('/recording.tzx'));
    delete $('recovered').dataset.busy;
    $('record').disabled = false;
    $('record-stop').disabled = true;
    showLevel(0);
    $('level-note').textContent = '';
    const count = $('recovered').children.length;
    $('reading').textContent = count === 0 ? 'No program was found in the recording.'
      : count + (count === 1 ? ' program' : ' programs') + ' read.';
  }

  // Whether the reader is listening (the list of programs read is its own meanwhile).
  return { start, stop, listening: () => recording !== null && !recording.starting };
})();
