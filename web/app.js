// The page around the program: it hands the chosen file to zx8xwav (compiled to WebAssembly, in
// zx8xwav.js) exactly as a command line would, shows what the program prints, and plays the WAV
// the program wrote. Every rule of the conversion stays in the program.
'use strict';

(function () {
  const $ = (id) => document.getElementById(id);

  // Seconds of signal in each piece handed to Web Audio, and how far ahead pieces are queued.
  const CHUNK_SECONDS = 5;
  const QUEUE_SECONDS = 12;
  // Samples shown across the waveform around the play position.
  const WAVE_SPAN = 1100;

  let chosen = null;    // { name, bytes }: the file to convert
  let tape = null;      // the last WAV the program wrote, and what the page knows of it
  let playback = null;  // the running player, while it plays

  // --- Converting ------------------------------------------------------------------------------

  // The arguments a command line would pass for the settings on the page.
  function argumentsFor(fileName) {
    const args = [];
    const target = $('target').value;
    if (target === 'zx81') args.push('-81');
    if (target === 'zx80') args.push('-80');
    const name = $('name').value;
    if (name !== '') args.push('-z' + name);
    args.push(fileName);
    return args;
  }

  // Runs the program once, in a new instance so that nothing of an earlier run remains, on the
  // file written into its current folder under its own name. Resolves to the lines it printed
  // (standard output and standard error in the order written), its exit status, the files it
  // made, and the target and tape name it settled on.
  async function runProgram(file, args) {
    const lines = [];
    const program = await createZx8xwav({
      thisProgram: 'zx8xwav',
      print: (text) => lines.push({ text, error: false }),
      printErr: (text) => lines.push({ text, error: true }),
    });
    program.FS.writeFile(file.name, file.bytes);
    const before = new Set(program.FS.readdir('.'));
    let status;
    try {
      status = program.callMain(args);
    } catch (e) {
      status = e && typeof e.status === 'number' ? e.status : 1;
    }
    const made = program.FS.readdir('.').filter((name) => !before.has(name));
    return {
      lines,
      status,
      files: made.map((name) => ({ name, bytes: program.FS.readFile(name) })),
      zx80: program._ZxTargetFormat() === program._ZxTargetZx80(),
      tapeName: program.UTF8ToString(program._ZxTapeName()),
      imageStart: program._ZxImageStart(),
      ramEnd1K: program._ZxRamEnd1K(),
      ramEnd16K: program._ZxRamEnd16K(),
    };
  }

  // Conversions run one at a time; a request made during one runs again when it ends, with the
  // file and settings of that moment. The log's data-busy is set meanwhile, and data-runs counts
  // the conversions shown, so that the page can be scripted.
  let converting = false;
  let again = false;
  let lastArguments = '';  // of the conversion shown

  async function convert() {
    if (!chosen) return;
    if (converting) {
      again = true;
      return;
    }
    converting = true;
    $('log').dataset.busy = 'yes';
    do {
      again = false;
      await convertOnce();
    } while (again);
    converting = false;
    delete $('log').dataset.busy;
  }

  async function convertOnce() {
    stop();
    showTape(null);
    const file = chosen;
    const args = argumentsFor(file.name);
    lastArguments = JSON.stringify(args);
    const run = await runProgram(file, args);

    const log = $('log');
    log.replaceChildren(...run.lines.map((line) => {
      const span = document.createElement('span');
      if (line.error) span.className = 'error';
      span.textContent = line.text + '\n';
      return span;
    }));
    log.dataset.status = String(run.status);
    log.dataset.runs = String(Number(log.dataset.runs || 0) + 1);
    if (run.status !== 0 || run.files.length !== 1) return;

    const wav = run.files[0];
    showTape(readTape(wav.name, wav.bytes, {
      zx80: run.zx80,
      tapeName: run.tapeName,
      imageSize: file.bytes.length,
      imageStart: run.imageStart,
      ramEnd1K: run.ramEnd1K,
      ramEnd16K: run.ramEnd16K,
    }));
  }

  // The samples of the WAV the program wrote: 8-bit mono PCM after the 44-byte header.
  function readTape(fileName, bytes, facts) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const rate = view.getUint32(24, true);
    const size = view.getUint32(40, true);
    const samples = bytes.subarray(44, 44 + size);
    return Object.assign({ fileName, bytes, rate, samples }, facts, tapeRegions(samples, facts));
  }

  // Where the lead-in ends, the program starts (after the name's bits) and the lead-out starts:
  // silence is the middle level 128, and every bit is one unbroken burst of pulses.
  function tapeRegions(samples, facts) {
    const nameBits = facts.zx80 ? 0 : 8 * Math.min(facts.tapeName.length, 8);
    let bursts = 0;
    let first = samples.length;
    let last = 0;
    let programStart = -1;
    let silent = true;
    for (let i = 0; i < samples.length; i++) {
      if (samples[i] === 128) {
        silent = true;
        continue;
      }
      if (silent) {
        if (bursts === nameBits) programStart = i;
        if (bursts === 0) first = i;
        bursts++;
        silent = false;
      }
      last = i + 1;
    }
    if (programStart < 0) programStart = Math.max(first, last);
    return { leadInEnd: first, programStart, leadOutStart: Math.max(last, first) };
  }

  // --- What the page says beside the program's lines --------------------------------------------

  function minutesAndSeconds(seconds) {
    const whole = Math.max(0, Math.round(seconds));
    return Math.floor(whole / 60) + ':' + String(whole % 60).padStart(2, '0');
  }

  function hex(address) {
    return '0x' + address.toString(16).toUpperCase().padStart(4, '0');
  }

  function showFacts(t) {
    const dash = '–';
    $('fact-machine').textContent = t ? (t.zx80 ? 'ZX80' : 'ZX81') : dash;
    const load = $('fact-load');
    if (!t) {
      load.textContent = dash;
    } else if (t.zx80) {
      load.innerHTML = '<code>LOAD</code> then NEWLINE';
    } else {
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
    $('fact-time').textContent = t ? minutesAndSeconds(t.samples.length / t.rate) : dash;
    if (!t) {
      $('fact-memory').textContent = dash;
      return;
    }
    // The image is the machine's memory from its start address on, as the program reports it.
    const start = t.imageStart;
    const end = start + t.imageSize;
    const fits = end <= t.ramEnd1K ? 'fits a 1K machine'
      : end <= t.ramEnd16K ? 'needs a 16K RAM pack'
        : 'needs more than 16K of RAM';
    $('fact-memory').textContent = hex(start) + ' to ' + hex(end) + ' (' + t.imageSize +
      ' bytes): ' + fits;
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
    $('play').disabled = !t;
    $('stop').disabled = true;
    const progress = $('progress');
    progress.max = t ? Math.max(1, t.samples.length) : 1;
    progress.value = 0;
    drawOverview();
    showPosition(0);
  }

  // --- Playing ---------------------------------------------------------------------------------

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
      for (let i = 0; i < piece.length; i++) floats[i] = (piece[i] - 128) / 128;
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
    if (!tape || playback) return;
    const context = newAudioContext(tape.rate);
    await context.resume();
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
    drawWave(position);
    drawOverviewPosition(position);
  }

  // --- Pictures of the signal -------------------------------------------------------------------

  function fitCanvas(canvas) {
    const width = Math.max(1, Math.round(canvas.clientWidth * devicePixelRatio));
    const height = Math.round(canvas.clientHeight * devicePixelRatio);
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
    }
    return canvas.getContext('2d');
  }

  const style = getComputedStyle(document.documentElement);
  const COLOURS = {
    lead: style.getPropertyValue('--lead').trim(),
    name: style.getPropertyValue('--name').trim(),
    data: style.getPropertyValue('--data').trim(),
  };

  function colourAt(t, i) {
    if (i < t.leadInEnd || i >= t.leadOutStart) return COLOURS.lead;
    if (i < t.programStart) return COLOURS.name;
    return COLOURS.data;
  }

  function drawWave(position) {
    const canvas = $('wave');
    const g = fitCanvas(canvas);
    g.clearRect(0, 0, canvas.width, canvas.height);
    if (!tape) return;
    const first = position - WAVE_SPAN / 2;
    const y = (s) => (1 - s / 255) * (canvas.height - 8) + 4;
    g.lineWidth = Math.max(1, devicePixelRatio);
    g.strokeStyle = colourAt(tape, Math.max(0, position));
    g.beginPath();
    for (let k = 0; k < WAVE_SPAN; k++) {
      const i = first + k;
      const s = i >= 0 && i < tape.samples.length ? tape.samples[i] : 128;
      const x0 = (k / WAVE_SPAN) * canvas.width;
      const x1 = ((k + 1) / WAVE_SPAN) * canvas.width;
      if (k === 0) g.moveTo(x0, y(s)); else g.lineTo(x0, y(s));
      g.lineTo(x1, y(s));
    }
    g.stroke();
    g.fillStyle = 'rgba(179, 38, 30, 0.8)';
    g.fillRect(canvas.width / 2, 0, Math.max(1, devicePixelRatio), canvas.height);
  }

  let overviewImage = null;

  // The whole tape, one column of pixels per stretch of samples, coloured by what it holds.
  function drawOverview() {
    const canvas = $('overview');
    const g = fitCanvas(canvas);
    g.clearRect(0, 0, canvas.width, canvas.height);
    overviewImage = null;
    if (!tape) return;
    const n = tape.samples.length;
    const columns = canvas.width;
    const middle = canvas.height / 2;
    for (let c = 0; c < columns; c++) {
      const from = Math.floor((c * n) / columns);
      const to = Math.max(from + 1, Math.floor(((c + 1) * n) / columns));
      let low = 128;
      let high = 128;
      for (let i = from; i < to && i < n; i++) {
        const s = tape.samples[i];
        if (s < low) low = s;
        if (s > high) high = s;
      }
      g.fillStyle = colourAt(tape, Math.floor((from + to) / 2));
      const top = middle - ((high - 128) / 128) * (middle - 2);
      const bottom = middle - ((low - 128) / 128) * (middle - 2);
      g.fillRect(c, top, 1, Math.max(1, bottom - top));
    }
    overviewImage = g.getImageData(0, 0, canvas.width, canvas.height);
  }

  function drawOverviewPosition(position) {
    const canvas = $('overview');
    if (!overviewImage || !tape) return;
    const g = canvas.getContext('2d');
    g.putImageData(overviewImage, 0, 0);
    const x = (position / Math.max(1, tape.samples.length)) * canvas.width;
    g.fillStyle = 'rgba(179, 38, 30, 0.9)';
    g.fillRect(x, 0, Math.max(2, devicePixelRatio), canvas.height);
  }

  // --- Choosing a file ---------------------------------------------------------------------------

  async function choose(file) {
    if (!file) return;
    chosen = { name: file.name, bytes: new Uint8Array(await file.arrayBuffer()) };
    $('convert').disabled = false;
    await convert();
  }

  $('file').addEventListener('change', () => choose($('file').files[0]));
  $('convert').addEventListener('click', convert);
  // A setting converts again only if it changes what the program is asked.
  const settingChanged = () => {
    if (chosen && JSON.stringify(argumentsFor(chosen.name)) !== lastArguments) convert();
  };
  $('target').addEventListener('change', settingChanged);
  $('name').addEventListener('change', settingChanged);
  $('play').addEventListener('click', play);
  $('stop').addEventListener('click', stop);

  const drop = $('drop');
  document.addEventListener('dragover', (e) => {
    e.preventDefault();
    drop.classList.add('over');
  });
  document.addEventListener('dragleave', () => drop.classList.remove('over'));
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    drop.classList.remove('over');
    if (e.dataTransfer.files.length > 0) choose(e.dataTransfer.files[0]);
  });
  window.addEventListener('resize', () => {
    drawOverview();
    showPosition(playback ? Number($('progress').value) : 0);
  });
  showTape(null);
})();
