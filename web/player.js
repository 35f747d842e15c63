// The tape the converter wrote: what it is (the facts beside it), its pictures, and playing it
// through Web Audio, sample for sample as the WAV holds it.
'use strict';

self.zxPlayer = (function () {
  const $ = (id) => document.getElementById(id);

  // Seconds of signal in each piece handed to Web Audio, and how far ahead pieces are queued.
  const CHUNK_SECONDS = 5;
  const QUEUE_SECONDS = 12;
  // Samples shown across the waveform around the play position.
  const WAVE_SPAN = 1100;

  let tape = null;      // the tape shown (see readTape)
  let playback = null;  // the running player, while it plays
  let starting = false;  // between a click on Play and the sound starting

  // The tape in the WAV `bytes` that a run of zx8xwav (`run`) wrote, with its parts as zx8xwav
  // measured them (`layout`) and what the page knows of it besides (`facts`).
  function readTape(fileName, bytes, layout, run, facts) {
    const samples = bytes.subarray(layout.data, layout.data + layout.size);
    return Object.assign({ fileName, bytes, samples }, layout, {
      target: run.target,
      zx80: run.zx80,
      tapeName: run.tapeName,
      imageStart: run.imageStart,
      ramEnd1K: run.ramEnd1K,
      ramEnd16K: run.ramEnd16K,
    }, facts);
  }

  // A part of a tape (see ZxTapeFileParts) with its times also as sample numbers.
  function inSamples(part, rate) {
    const at = (seconds) => Math.round(seconds * rate);
    return Object.assign({}, part, { from: at(part.start), to: at(part.end),
      nameTo: at(part.nameEnd === undefined ? part.start : part.nameEnd) });
  }

  // Where each byte of the program starts on the tape shown, in seconds.
  const byteTimes = () => zxWasm.imageByteTimes(tape.image.bytes, tape.target, tape.tapeName);

  function minutesAndSeconds(seconds) {
    const whole = Math.max(0, Math.round(seconds));
    return Math.floor(whole / 60) + ':' + String(whole % 60).padStart(2, '0');
  }

  function hex(address) {
    return '0x' + address.toString(16).toUpperCase().padStart(4, '0');
  }

  function showLoad(t) {
    const load = $('fact-load');
    if (t.zx80) {
      load.innerHTML = '<code>LOAD</code> then NEWLINE';
      return;
    }
    load.innerHTML = '<code>LOAD ""</code> then NEWLINE';
    if (t.tapeName !== '') {
      const named = document.createElement('span');
      named.append(' (or ');
      const code = document.createElement('code');
      code.textContent = 'LOAD "' + t.tapeName.toUpperCase() + '"';
      named.append(code, ')');
      load.append(named);
    }
  }

  // The parts of a tape of several, as a list a person can read beside its picture.
  function showParts(t) {
    const list = $('tape-parts');
    const items = !t || !t.parts ? [] : t.parts.map((p) => {
      const item = document.createElement('li');
      const at = minutesAndSeconds(p.start);
      const length = Math.round(p.end - p.start);
      item.dataset.kind = p.kind;
      item.textContent = at + '  ' + (p.kind === 'program'
        ? p.machine + (p.machine === 'ZX81' ? ' "' + p.name + '"' : '') + ', ' + p.size + ' bytes'
        : p.kind === 'sound' ? 'other sound' + (p.block ? ' (TZX block ' + p.block + ')' : '') +
          ', ' + length + ' s'
          : p.stop ? 'the tape stops here: ' + length + ' s of silence; pause the player if the ' +
            'program needs longer'
            : 'pause, ' + length + ' s');
      return item;
    });
    list.replaceChildren(...items);
    list.hidden = items.length === 0;
  }

  // What memory a program needs that ends at address `end`.
  function fitsIn(t, end) {
    return end <= t.ramEnd1K ? 'fits a 1K machine'
      : end <= t.ramEnd16K ? 'needs a 16K RAM pack' : 'needs more than 16K of RAM';
  }

  function showFacts(t) {
    const dash = '–';
    showParts(t);
    $('fact-machine').textContent = t ? (t.zx80 ? 'ZX80' : 'ZX81') : dash;
    if (t) showLoad(t); else $('fact-load').textContent = dash;
    $('fact-time').textContent = t ? minutesAndSeconds(t.samples.length / t.rate) : dash;
    if (!t) {
      $('fact-memory').textContent = dash;
      return;
    }
    if (t.parts) {
      const programs = t.parts.filter((p) => p.kind === 'program');
      const machines = new Set(programs.map((p) => p.machine));
      $('fact-machine').textContent = Array.from(machines).join(' and ');
      const first = programs[0];
      $('fact-load').innerHTML = '';
      const code = document.createElement('code');
      code.textContent = first && first.machine === 'ZX81' ? 'LOAD ""' : 'LOAD';
      $('fact-load').append(code, ' then NEWLINE for the first program');
      $('fact-memory').textContent = programs.length +
        (programs.length === 1 ? ' program' : ' programs') + ' on this tape: ' +
        programs.map((p) => (p.machine === 'ZX81' ? p.name : 'ZX80') + ', ' + p.size + ' bytes, ' +
          fitsIn(t, p.imageStart + p.size)).join('; ');
      return;
    }
    if (t.imageSize === 0) {
      $('fact-memory').textContent = 'no program';
      return;
    }
    // The image is the machine's memory from its start address on, as the program reports it.
    const start = t.imageStart;
    const end = start + t.imageSize;
    const fits = fitsIn(t, end);
    $('fact-memory').textContent = hex(start) + ' to ' + hex(end) + ' (' + t.imageSize +
      ' bytes): ' + fits;
  }

  // A TZX of the tape, made when the page has one to offer.
  async function showTzxLink(t) {
    const link = $('download-tzx');
    if (link.href) URL.revokeObjectURL(link.href);
    link.removeAttribute('href');
    link.hidden = true;
    if (!t || !t.tzx) return;
    const bytes = await t.tzx();
    if (tape !== t) return;
    link.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    link.download = t.fileName.replace(/\.wav$/, '.tzx');
    link.textContent = 'Download ' + link.download;
    link.hidden = false;
  }

  function showTape(t) {
    tape = t;
    showFacts(t);
    const link = $('download');
    if (link.href) URL.revokeObjectURL(link.href);
    if (t) {
      link.href = URL.createObjectURL(new Blob([t.bytes], { type: 'audio/wav' }));
      link.download = t.fileName;
      link.textContent = 'Download ' + t.fileName;
      link.hidden = false;
    } else {
      link.removeAttribute('href');
      link.hidden = true;
    }
    showTzxLink(t);
    $('look').hidden = !t || !t.image || t.imageSize === 0;
    $('play').disabled = !t;
    $('stop').disabled = true;
    const progress = $('progress');
    progress.max = t ? Math.max(1, t.samples.length) : 1;
    progress.value = 0;
    zxTapeView.drawOverview(tape);
    showPosition(0);
  }

  function newAudioContext(rate) {
    // At the tape's own rate Web Audio plays the samples as they are, with no resampling.
    try {
      return new AudioContext({ sampleRate: rate });
    } catch (e) {
      return new AudioContext();
    }
  }

  // Queues the pieces of the signal due in the next QUEUE_SECONDS, each at its exact sample time.
  function queueChunks() {
    const p = playback;
    const chunk = CHUNK_SECONDS * tape.rate;
    while (p.nextSample < tape.samples.length &&
           p.startTime + p.nextSample / tape.rate < p.context.currentTime + QUEUE_SECONDS) {
      const piece = tape.samples.subarray(p.nextSample, p.nextSample + chunk);
      const floats = new Float32Array(piece.length);
      for (let i = 0; i < piece.length; i++) floats[i] = (piece[i] - tape.middle) / tape.middle;
      const buffer = p.context.createBuffer(1, piece.length, tape.rate);
      buffer.copyToChannel(floats, 0);
      const source = p.context.createBufferSource();
      source.buffer = buffer;
      source.connect(p.context.destination);
      source.start(p.startTime + p.nextSample / tape.rate);
      p.sources.push(source);
      source.onended = () => {
        p.sources = p.sources.filter((s) => s !== source);
      };
      p.nextSample += piece.length;
    }
  }

  async function play() {
    if (!tape || playback || starting) return;
    starting = true;
    $('play').disabled = true;
    const context = newAudioContext(tape.rate);
    try {
      await context.resume();
    } finally {
      starting = false;
    }
    if (!tape) {
      context.close();
      return;
    }
    // Start on a whole sample frame a moment ahead, so the first piece is not cut.
    const rate = context.sampleRate;
    const startTime = Math.ceil((context.currentTime + 0.15) * rate) / rate;
    playback = { context, startTime, nextSample: 0, sources: [], timer: 0 };
    queueChunks();
    playback.timer = setInterval(queueChunks, 1000);
    $('play').disabled = true;
    $('stop').disabled = false;
    requestAnimationFrame(animate);
  }

  function stop() {
    if (!playback) return;
    const p = playback;
    playback = null;
    clearInterval(p.timer);
    for (const source of p.sources) {
      try { source.stop(); } catch (e) { /* not started yet */ }
    }
    p.context.close();
    $('play').disabled = !tape;
    $('stop').disabled = true;
    showPosition(0);
  }

  function animate() {
    if (!playback || !tape) return;
    const played = (playback.context.currentTime - playback.startTime) * tape.rate;
    const position = Math.min(tape.samples.length, Math.max(0, Math.floor(played)));
    showPosition(position);
    if (position >= tape.samples.length) {
      stop();
      return;
    }
    requestAnimationFrame(animate);
  }

  function showPosition(position) {
    $('progress').value = position;
    const rate = tape ? tape.rate : 1;
    const total = tape ? tape.samples.length : 0;
    $('elapsed').textContent = minutesAndSeconds(position / rate);
    $('remaining').textContent = '-' + minutesAndSeconds((total - position) / rate);
    zxTapeView.drawWave(tape, position, WAVE_SPAN);
    zxTapeView.drawOverviewPosition(tape, position);
  }

  // The pictures follow the page's width.
  function resized() {
    zxTapeView.drawOverview(tape);
    showPosition(playback ? Number($('progress').value) : 0);
  }

  return {
    readTape, inSamples, byteTimes, showTape, play, stop, resized, minutesAndSeconds,
    shown: () => tape,
  };
})();
