// The page around the programs: it hands the chosen file to zx8xwav (compiled to WebAssembly, in
// zx8xwav.js) exactly as a command line would, shows what the program prints, and plays the WAV
// the program wrote; it reads recordings, live or from files, with zx8xread compiled the same
// way. Every rule of converting and reading stays in the programs.
'use strict';

(function () {
  const $ = (id) => document.getElementById(id);

  // --- The programs ----------------------------------------------------------------------------

  // Each program's WebAssembly is compiled once per page (from the base64 its .wasm.js script
  // holds); every run gets a fresh instance of it, so that nothing of an earlier run remains.
  const compiled = {};
  function compiledModule(name) {
    if (!compiled[name]) {
      const text = atob(self[name.toUpperCase() + '_WASM']);
      const bytes = new Uint8Array(text.length);
      for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
      compiled[name] = WebAssembly.compile(bytes);
    }
    return compiled[name];
  }

  function instanceOf(factory, name, options) {
    return factory(Object.assign({
      thisProgram: name,
      instantiateWasm(imports, receive) {
        compiledModule(name)
          .then((module) => WebAssembly.instantiate(module, imports)
            .then((instance) => receive(instance, module)));
        return {};
      },
    }, options));
  }

  // A name as an argument: one that begins with "-" would be taken for an option.
  const asArgument = (name) => (name.startsWith('-') ? './' + name : name);

  // Runs callMain, turning exit() into its status.
  function callMain(program, args) {
    try {
      return program.callMain(args);
    } catch (e) {
      if (e && typeof e.status === 'number') return e.status;
      throw e;
    }
  }

  // Seconds of signal in each piece handed to Web Audio, and how far ahead pieces are queued.
  const CHUNK_SECONDS = 5;
  const QUEUE_SECONDS = 12;
  // Samples shown across the waveform around the play position.
  const WAVE_SPAN = 1100;

  let chosen = null;    // { name, bytes }: the file to convert
  let tape = null;      // the last WAV the program wrote, and what the page knows of it
  let playback = null;  // the running player, while it plays

  // zx8xread's instance that lists programs and checks them for the inside view: one is enough,
  // as listing keeps nothing from one call to the next.
  let lister = null;
  async function listerInstance() {
    if (!lister) lister = await instanceOf(createZx8xread, 'zx8xread', {});
    return lister;
  }

  // Shows what `program` holds below the reader (see inside.js), and scrolls to it.
  async function lookInside(program) {
    const started = performance.now();
    try {
      zxInside.show(program, await listerInstance());
    } catch (e) {
      $('inside').hidden = false;
      $('inside-what').textContent = 'Something went wrong on this page: ' + e;
      throw e;
    }
    // How long listing and showing took, in milliseconds, for anyone timing the page.
    $('inside').dataset.ms = (performance.now() - started).toFixed(1);
    $('inside').scrollIntoView();
  }

  // --- Converting ------------------------------------------------------------------------------

  // The arguments a command line would pass for the settings on the page.
  function argumentsFor(fileName) {
    const args = [];
    const target = $('target').value;
    if (target === 'zx81') args.push('-81');
    if (target === 'zx80') args.push('-80');
    const name = $('name').value;
    if (name !== '') args.push('-z' + name);
    args.push(asArgument(fileName));
    return args;
  }

  // Runs the program once, in a new instance, on the file written into a folder of its own (so
  // that no name, "dev" or "tmp" say, meets the instance's own folders). Resolves to the lines it
  // printed (standard output and standard error in the order written), its exit status, the
  // files it made, and the target and tape name it settled on.
  async function runProgram(file, args) {
    const lines = [];
    const program = await instanceOf(createZx8xwav, 'zx8xwav', {
      print: (text) => lines.push({ text, error: false }),
      printErr: (text) => lines.push({ text, error: true }),
    });
    program.FS.mkdir('/in');
    program.FS.chdir('/in');
    program.FS.writeFile(file.name, file.bytes);
    const before = new Set(program.FS.readdir('.'));
    const status = callMain(program, args);
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
    const started = performance.now();
    try {
      do {
        again = false;
        await convertOnce();
      } while (again);
      // How long the conversion took to show, in milliseconds, for anyone timing the page.
      $('log').dataset.ms = (performance.now() - started).toFixed(1);
    } catch (e) {
      note('Something went wrong on this page: ' + e + '. Choose the file again.');
    } finally {
      converting = false;
      delete $('log').dataset.busy;
    }
  }

  // A word from the page beside the program's own lines.
  function note(text) {
    $('note').textContent = text;
    $('note').hidden = text === '';
  }

  async function convertOnce() {
    stop();
    showTape(null);
    zxInside.hide();
    note('');
    const file = chosen;
    const args = argumentsFor(file.name);
    lastArguments = JSON.stringify(args);
    const run = await runProgram(file, args);
    if (file.bytes.length === 0) {
      note('The file is empty: it holds no program, and its tape loads nothing.');
    } else if ($('target').value === 'zx80' && !run.zx80 && file.name.endsWith('.p')) {
      note('A file whose name ends in .p always makes a ZX81 tape. To make a ZX80 tape of it, ' +
        'rename it (to end in .o, say) and choose it again.');
    }

    showLog(run.lines, run.status);
    if (run.status !== 0 || run.files.length !== 1) return;

    const wav = run.files[0];
    showTape(readTape(wav.name, wav.bytes, {
      image: file,
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
  // silence is the middle level 128, and every bit is one unbroken burst of pulses. Only the
  // name's bursts are counted, and the lead-out is found from the end.
  function tapeRegions(samples, facts) {
    const nameBits = facts.zx80 ? 0 : 8 * Math.min(facts.tapeName.length, 8);
    const n = samples.length;
    let first = 0;
    while (first < n && samples[first] === 128) first++;
    let last = n;
    while (last > first && samples[last - 1] === 128) last--;
    let programStart = first;
    let bursts = 0;
    let silent = true;
    for (let i = first; i < last && bursts <= nameBits; i++) {
      if (samples[i] === 128) {
        silent = true;
      } else if (silent) {
        if (bursts === nameBits) programStart = i;
        bursts++;
        silent = false;
      }
    }
    if (bursts <= nameBits) programStart = last;
    return { leadInEnd: Math.min(first, last), programStart, leadOutStart: last };
  }

  // Where each byte of the program starts on the tape the converter wrote, in seconds: every bit
  // is one burst, so byte k starts with the 8k-th burst after the name.
  function byteTimes(t) {
    const times = [];
    let bursts = 0;
    let silent = true;
    for (let i = t.programStart; i < t.leadOutStart; i++) {
      if (t.samples[i] === 128) {
        silent = true;
      } else if (silent) {
        if (bursts % 8 === 0) times.push(i / t.rate);
        bursts++;
        silent = false;
      }
    }
    return times;
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
    if (t.imageSize === 0) {
      $('fact-memory').textContent = 'no program';
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
    $('look').hidden = !t || !t.image || t.imageSize === 0;
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

  let starting = false;  // between a click on Play and the sound starting

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
    drawWave(position);
    drawOverviewPosition(position);
  }

  // --- Pictures of the signal -------------------------------------------------------------------

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
      // Every second sample is enough: a pulse lasts three samples or more.
      for (let i = from; i < to && i < n; i += 2) {
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
  $('look').addEventListener('click', () => {
    if (!tape || !tape.image) return;
    lookInside({
      name: tape.image.name,
      bytes: tape.image.bytes,
      machine: tape.zx80 ? 1 : 2,
      times: byteTimes(tape),
      end: tape.leadOutStart / tape.rate,
      samples: tape.samples,
      rate: tape.rate,
    });
  });
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
    const files = Array.from(e.dataTransfer.files);
    const audio = files.filter((f) => f.type.startsWith('audio/') || /\.(wav|flac|mp3|ogg|m4a)$/i.test(f.name));
    if (audio.length > 0) openRecordings(audio);
    else if (files.length > 1) chooseParts(files);
    else if (files.length === 1) choose(files[0]);
  });
  window.addEventListener('resize', () => {
    drawOverview();
    showPosition(playback ? Number($('progress').value) : 0);
  });

  // --- Several programs on one tape --------------------------------------------------------------

  let parts = [];  // { name, bytes } in the order they play

  function showParts() {
    const list = $('parts');
    list.replaceChildren(...parts.map((part, k) => {
      const item = document.createElement('li');
      item.dataset.name = part.name;
      const label = document.createElement('span');
      label.className = 'part-name';
      label.textContent = part.name;
      const say = document.createElement('span');
      say.className = 'part-load';
      say.textContent = part.load || '';
      const buttons = [['up', '↑', 'Earlier', k > 0], ['down', '↓', 'Later', k < parts.length - 1],
        ['remove', '✕', 'Remove', true]].map(([action, text, title, enabled]) => {
        const b = document.createElement('button');
        b.type = 'button';
        b.dataset.action = action;
        b.textContent = text;
        b.title = title;
        b.setAttribute('aria-label', title + ': ' + part.name);
        b.disabled = !enabled;
        b.addEventListener('click', () => {
          if (action === 'remove') parts.splice(k, 1);
          else {
            const other = action === 'up' ? k - 1 : k + 1;
            [parts[k], parts[other]] = [parts[other], parts[k]];
          }
          showParts();
        });
        return b;
      });
      item.append(label, ' ', say, ...buttons);
      return item;
    }));
    $('make-tape').disabled = parts.length === 0;
  }

  async function chooseParts(files) {
    parts = await Promise.all(Array.from(files, async (f) => ({
      name: f.name, bytes: new Uint8Array(await f.arrayBuffer()),
    })));
    showParts();
  }

  // Converts each part as the command line would, then joins their tapes with the pause chosen,
  // and shows the one tape in the player.
  async function makeTape() {
    if (parts.length === 0 || converting) return;
    converting = true;
    $('log').dataset.busy = 'yes';
    try {
      stop();
      showTape(null);
      zxInside.hide();
      note('');
      const lines = [];
      const runs = [];
      for (const part of parts) {
        const run = await runProgram(part, [asArgument(part.name)]);
        lines.push(...run.lines);
        if (run.status !== 0 || run.files.length !== 1) {
          note(part.name + ' could not be converted; see what the program says.');
          showLog(lines, run.status);
          return;
        }
        runs.push(run);
        part.load = run.zx80 ? 'LOAD' : 'LOAD "' + run.tapeName.toUpperCase() + '"';
      }
      parts.forEach((part, k) => {
        part.load = k === 0 ? 'first: type ' + (runs[0].zx80 ? 'LOAD' : 'LOAD ""')
          : 'loaded by the part before (' + part.load + ')';
      });
      showParts();
      const joiner = await instanceOf(createZx8xwav, 'zx8xwav', {});
      joiner.FS.mkdir('/parts');
      runs.forEach((run, k) => joiner.FS.writeFile('/parts/' + k + '.wav', run.files[0].bytes));
      joiner.FS.writeFile('/parts/list', runs.map((r, k) => '/parts/' + k + '.wav').join('\n') + '\n');
      const pause = Math.max(0, Math.min(60, Number($('pause').value) || 0));
      const ok = withStrings(joiner, ['/parts/list', '/parts/tape.wav'],
        (list, out) => joiner._ZxJoinTapes(list, pause, out));
      if (!ok) throw new Error('the tapes could not be joined');
      const bytes = joiner.FS.readFile('/parts/tape.wav');
      showLog(lines, 0);
      const first = runs[0];
      const stem = parts[0].name.replace(/\.[^.]*$/, '');
      showTape(readTape(stem + '-' + parts.length + '-parts.wav', bytes, {
        zx80: first.zx80,
        tapeName: first.tapeName,
        imageSize: parts[0].bytes.length,
        imageStart: first.imageStart,
        ramEnd1K: first.ramEnd1K,
        ramEnd16K: first.ramEnd16K,
      }));
    } catch (e) {
      note('Something went wrong on this page: ' + e);
    } finally {
      converting = false;
      delete $('log').dataset.busy;
    }
  }

  // Calls `f` with the strings given copied into the instance's memory.
  function withStrings(program, strings, f) {
    const pointers = strings.map((text) => {
      const bytes = new TextEncoder().encode(text + '\0');
      const at = program._malloc(bytes.length);
      program.HEAPU8.set(bytes, at);
      return at;
    });
    try {
      return f(...pointers);
    } finally {
      pointers.forEach((at) => program._free(at));
    }
  }

  function showLog(lines, status) {
    const log = $('log');
    log.replaceChildren(...lines.map((line) => {
      const span = document.createElement('span');
      if (line.error) span.className = 'error';
      span.textContent = line.text + '\n';
      return span;
    }));
    log.dataset.status = String(status);
    log.dataset.runs = String(Number(log.dataset.runs || 0) + 1);
  }

  // --- Reading recordings ----------------------------------------------------------------------

  // Programs read, live or from files, each as zx8xread reports it and the bytes it would write.
  function addRecovered(program) {
    const item = document.createElement('li');
    item.dataset.name = program.file;
    item.dataset.status = program.status;
    const line = document.createElement('span');
    line.className = 'line ' + program.status;
    line.textContent = program.line;
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([program.bytes], { type: 'application/octet-stream' }));
    link.download = program.file;
    link.textContent = 'Download ' + program.file;
    const use = document.createElement('button');
    use.type = 'button';
    use.textContent = 'Play it back';
    use.addEventListener('click', () => {
      choose(new File([program.bytes], program.file));
      $('choose').scrollIntoView();
    });
    const look = document.createElement('button');
    look.type = 'button';
    look.className = 'look';
    look.textContent = 'Look inside';
    look.addEventListener('click', () => lookInside({
      name: program.file,
      bytes: program.bytes,
      machine: program.report.machine === 'ZX80' ? 1 : 2,
      times: program.times(),
      end: program.report.end,
      report: program.report,
    }));
    item.append(line, ' ', link, ' ', use, ' ', look);
    $('recovered').append(item);
  }

  function clearRecovered() {
    timesRead.clear();
    zxInside.hide();
    for (const a of $('recovered').querySelectorAll('a[href]')) URL.revokeObjectURL(a.href);
    $('recovered').replaceChildren();
  }

  function hexBytes(hex) {
    const bytes = new Uint8Array(hex.length / 2);
    for (let i = 0; i < bytes.length; i++) bytes[i] = parseInt(hex.substr(2 * i, 2), 16);
    return bytes;
  }

  // The programs the live reader handed back, as JSON, added to the list.
  function takePrograms(reader, pointer) {
    for (const p of JSON.parse(reader.UTF8ToString(pointer))) {
      const r = p.report.programs[0];
      const times = p.times.map((ms) => ms / 1000);
      addRecovered({ file: r.file, status: r.status, line: p.line, bytes: hexBytes(p.image),
        report: r, times: () => times });
    }
  }

  // The machine chosen for reading, as zx8xread's option and as the reader's number for it.
  function machineOption() {
    const target = $('target').value;
    return target === 'zx81' ? ['-81'] : target === 'zx80' ? ['-80'] : [];
  }

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

  async function startRecording() {
    if (recording) return;
    recording = { starting: true, loudest: 1 };
    $('record').disabled = true;
    try {
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
      const reader = await instanceOf(createZx8xread, 'zx8xread', {});
      const machine = { '-80': 1, '-81': 2 }[machineOption()[0]] || 0;
      if (!reader._ZxReadStart(context.sampleRate, channels, machine)) {
        throw new Error('the input runs at ' + context.sampleRate + ' samples per second');
      }
      clearRecovered();
      recording = { stream, context, tap, reader, channels, loudest: 1, frames: 0 };
      tap.port.onmessage = (event) => feed(event.data);
      source.connect(tap);
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
    takePrograms(r.reader, r.reader._ZxReadFeed(frames));
    r.frames += frames;
    showLevel(peak);
    const now = r.reader.UTF8ToString(r.reader._ZxReadNow());
    $('reading').textContent = now !== '' ? now
      : 'Listening: ' + minutesAndSeconds(r.frames / r.context.sampleRate) + ' recorded.';
  }

  function stopRecording() {
    const r = recording;
    if (!r || !r.reader) return;
    recording = null;
    r.tap.port.onmessage = null;
    r.stream.getTracks().forEach((track) => track.stop());
    r.context.close();
    takePrograms(r.reader, r.reader._ZxReadFinish());
    delete $('recovered').dataset.busy;
    $('record').disabled = false;
    $('record-stop').disabled = true;
    const count = $('recovered').children.length;
    $('reading').textContent = count === 0 ? 'No program was found in the recording.'
      : count + (count === 1 ? ' program' : ' programs') + ' read.';
  }

  // Recordings from files: each is given to zx8xread as it stands if it is a WAV file, else as
  // the browser decodes it, and zx8xread runs on them as on the command line.
  async function openRecordings(files) {
    if (files.length === 0 || $('recovered').dataset.busy) return;
    $('recovered').dataset.busy = 'yes';
    const started = performance.now();
    clearRecovered();
    $('reading').textContent = 'Reading ' + files.length + (files.length === 1 ? ' recording.' : ' recordings.');
    try {
      const lines = [];
      const reader = await instanceOf(createZx8xread, 'zx8xread', {
        print: (text) => lines.push(text),
        printErr: (text) => lines.push(text),
      });
      reader.FS.mkdir('/in');
      reader.FS.mkdir('/out');
      const paths = [];
      for (const file of files) {
        const bytes = new Uint8Array(await file.arrayBuffer());
        const path = '/in/' + file.name.replace(/\//g, '_');
        const wav = bytes.length >= 12 && String.fromCharCode(...bytes.subarray(0, 4)) === 'RIFF' &&
          String.fromCharCode(...bytes.subarray(8, 12)) === 'WAVE';
        if (wav) {
          reader.FS.writeFile(path, bytes);
        } else {
          const audio = await decode(bytes);
          const frames = audio.length;
          const interleaved = new Float32Array(frames * audio.numberOfChannels);
          for (let c = 0; c < audio.numberOfChannels; c++) {
            const data = audio.getChannelData(c);
            for (let i = 0; i < frames; i++) interleaved[i * audio.numberOfChannels + c] = data[i];
          }
          const at = reader._malloc(interleaved.length * 4);
          reader.HEAPF32.set(interleaved, at >> 2);
          const ok = withStrings(reader, [path], (p) =>
            reader._ZxWriteFloatWav(p, at, frames, audio.numberOfChannels, audio.sampleRate));
          reader._free(at);
          if (!ok) throw new Error('no room for ' + file.name);
        }
        paths.push(path);
      }
      const merge = $('merge').checked && paths.length > 1 ? ['-m'] : [];
      callMain(reader, ['-d', '/out', '--report', '/out/report.json', ...merge, ...machineOption(), ...paths]);
      const report = JSON.parse(reader.FS.readFile('/out/report.json', { encoding: 'utf8' }));
      const said = lines.filter((line) => line.startsWith('/out/'));
      report.programs.forEach((p, k) => {
        const file = p.file.replace(/^\/out\//, '');
        addRecovered({ file, status: p.status, line: (said[k] || '').replace(/^\/out\//, ''),
          bytes: reader.FS.readFile(p.file), report: Object.assign({}, p, { file }),
          times: () => timesFromRecording(reader, paths, p) });
      });
      const problems = lines.filter((line) => !line.startsWith('/out/'))
        .map((line) => line.replace(/\/in\//g, ''));
      const count = report.programs.length;
      // How long reading took, in milliseconds, for anyone timing the page.
      $('recovered').dataset.ms = (performance.now() - started).toFixed(1);
      $('reading').textContent = (count === 0 ? 'No program was found.'
        : count + (count === 1 ? ' program' : ' programs') + ' read.') +
        (problems.length ? ' ' + problems.join(' ') : '');
    } catch (e) {
      $('reading').textContent = 'Cannot read the recording: ' + (e.message || e);
    } finally {
      delete $('recovered').dataset.busy;
    }
  }

  // Where each byte of a program read from a file starts, in seconds: the recording its first
  // reading came from is read again (only when asked), and the program that starts where that
  // reading does, on its channel, gives the times.
  const timesRead = new Map();
  function timesFromRecording(reader, paths, program) {
    const first = program.readings[0];
    const path = paths[first.recording];
    if (!timesRead.has(path)) {
      timesRead.set(path, JSON.parse(withStrings(reader, [path],
        (p) => reader.UTF8ToString(reader._ZxReadTimes(p, program.machine === 'ZX80' ? 1 : 2)))));
    }
    let best = null;
    for (const read of timesRead.get(path)) {
      if (read.channel !== first.channel) continue;
      if (!best || Math.abs(read.start - first.start) < Math.abs(best.start - first.start)) best = read;
    }
    return best ? best.times.map((ms) => ms / 1000) : [];
  }

  function decode(bytes) {
    // At 48 kHz whatever the file's rate: the reader takes any rate from 8 kHz up.
    const context = new OfflineAudioContext(1, 1, 48000);
    return context.decodeAudioData(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length));
  }

  $('tape-files').addEventListener('change', () => chooseParts($('tape-files').files));
  $('make-tape').addEventListener('click', makeTape);
  $('record').addEventListener('click', startRecording);
  $('record-stop').addEventListener('click', stopRecording);
  $('recording').addEventListener('change', () => openRecordings(Array.from($('recording').files)));
  $('merge').addEventListener('change', () => {
    $('recording').multiple = $('merge').checked;
  });

  showTape(null);
  // Compile both programs while the page waits for its first file.
  setTimeout(() => {
    compiledModule('zx8xwav');
    compiledModule('zx8xread');
  }, 0);
})();
