// Programs read back from recordings: from files, by zx8xread run as on the command line, and the
// list of programs read (live ones too), each with its line, its file, and ways to use it.
'use strict';

self.zxRecordings = (function () {
  const $ = (id) => document.getElementById(id);

  let reading = false;         // recordings from files are being read
  const timesRead = new Map();  // recording path: the byte times of each program in it

  // A program read, as zx8xread reports it, with the bytes it would write.
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
    use.setAttribute('aria-label', 'Play ' + program.file + ' back');
    use.addEventListener('click', () => {
      // The tape name it was read with, which its file name (hello-2.p, say) may not be.
      zxConvert.choose(new File([program.bytes], program.file), { tapeName: program.report.name });
      $('choose').scrollIntoView();
    });
    const look = document.createElement('button');
    look.type = 'button';
    look.className = 'look';
    look.textContent = 'Look inside';
    look.setAttribute('aria-label', 'Look inside ' + program.file);
    look.addEventListener('click', () => zxInside.open({
      name: program.file,
      bytes: program.bytes,
      machine: program.report.machine,
      times: program.times,
      end: program.report.end,
      report: program.report,
      signal: program.signal,
    }));
    item.append(line, ' ', link, ' ', use, ' ', look);
    $('recovered').append(item);
  }

  function clear() {
    timesRead.clear();
    zxInside.hide();
    for (const a of document.querySelectorAll('#recovered a[href], #tapes-read a[href]')) {
      URL.revokeObjectURL(a.href);
    }
    $('recovered').replaceChildren();
    $('tapes-read').replaceChildren();
    $('tapes-read').hidden = true;
  }

  // A whole tape read, kept as a TZX (see zx8xread --tzx), offered beside the programs.
  function addTape(name, bytes) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    link.download = name;
    link.textContent = 'Download the whole tape as ' + name;
    $('tapes-read').append(link);
    $('tapes-read').hidden = false;
  }

  function hexBytes(hex) {
    const bytes = new Uint8Array(hex.length / 2);
    for (let i = 0; i < bytes.length; i++) bytes[i] = parseInt(hex.substr(2 * i, 2), 16);
    return bytes;
  }

  // The programs the live reader handed back, as JSON, added to the list.
  function takePrograms(reader, pointer) {
    for (const p of zxWasm.json(reader, pointer)) {
      const r = p.report.programs[0];
      const times = p.times.map((ms) => ms / 1000);
      addRecovered({ file: r.file, status: r.status, line: p.line, bytes: hexBytes(p.image),
        report: r, times: async () => times });
    }
  }

  // The machine chosen for reading, as zx8xread's option.
  function machineOption() {
    const target = $('read-machine').value;
    return target === 'zx81' ? ['-81'] : target === 'zx80' ? ['-80'] : [];
  }

  function decode(bytes) {
    // At 48 kHz whatever the file's rate: the reader takes any rate from 8 kHz up.
    const context = new OfflineAudioContext(1, 1, 48000);
    return context.decodeAudioData(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length));
  }

  // The worker that reads recordings from files (see read_worker.js), made when first needed and
  // made anew when a reading is stopped. Each request is answered by one message.
  let worker = null;
  let answered = null;  // the handler of the next answer, and of each line printed meanwhile
  async function readingWorker() {
    if (!worker) {
      const source = URL.createObjectURL(new Blob([self.READ_WORKER_SOURCE], { type: 'text/javascript' }));
      worker = new Worker(source);
      URL.revokeObjectURL(source);
      worker.onmessage = (event) => answered && answered(event.data);
      worker.onerror = (event) => answered && answered({ type: 'error', message: event.message });
      worker.postMessage({ type: 'module', module: await zxWasm.compiledModule('zx8xread') });
    }
    return worker;
  }
  // Requests go one at a time, each answered before the next is sent.
  let queue = Promise.resolve();
  function ask(message, transfer = [], onLine = null) {
    const asked = queue.then(() => askNow(message, transfer, onLine));
    queue = asked.catch(() => {});
    return asked;
  }
  async function askNow(message, transfer, onLine) {
    const w = await readingWorker();
    return new Promise((resolve, reject) => {
      answered = (m) => {
        if (m.type === 'line') {
          if (onLine) onLine(m.text);
          return;
        }
        answered = null;
        if (m.type === 'error') reject(new Error(m.message));
        else resolve(m);
      };
      w.postMessage(message, transfer);
    });
  }
  const send = async (message, transfer = []) => (await readingWorker()).postMessage(message, transfer);

  // Puts a recording where zx8xread reads it: as it stands if zx8xread reads it itself (a WAV
  // file), else as the browser decodes it, handed over a few seconds at a time so that the page
  // never waits long, and written by zx8xread as a float WAV.
  async function place(file, path) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    if (zxWasm.isWav(await zxWasm.readerInstance(), bytes)) {
      await send({ type: 'wav', path, bytes }, [bytes.buffer]);
      return;
    }
    let audio;
    try {
      audio = await decode(bytes);
    } catch (e) {
      throw new Error(file.name + ' is no recording this browser can decode (' +
        (bytes.length === 0 ? 'it is empty' : 'not a sound file it knows') + ')');
    }
    const step = 5 * audio.sampleRate;
    for (let at = 0; at < audio.length; at += step) {
      const pieces = [];
      for (let c = 0; c < audio.numberOfChannels; c++) {
        pieces.push(audio.getChannelData(c).slice(at, at + step));
      }
      await send({ type: 'channels', at, frames: audio.length, pieces }, pieces.map((p) => p.buffer));
      $('reading').textContent = 'Handing ' + file.name + ' over: ' +
        Math.round((100 * at) / audio.length) + ' %.';
      await new Promise((resolve) => setTimeout(resolve, 0));
    }
    await send({ type: 'decoded', path, rate: audio.sampleRate });
  }

  // Where each byte of a program read from a file starts, in seconds: the recording its first
  // reading came from is read again by the worker (only when asked), and the program that starts
  // where that reading does, on its channel, gives the times.
  async function timesFromRecording(paths, program) {
    const first = program.readings[0];
    const path = paths[first.recording];
    if (!timesRead.has(path)) {
      const machine = zxWasm.machineCode(await zxWasm.readerInstance(), program.machine);
      timesRead.set(path, (await ask({ type: 'times', path, machine })).times);
    }
    let best = null;
    for (const read of timesRead.get(path)) {
      if (read.channel !== first.channel) continue;
      if (!best || Math.abs(read.start - first.start) < Math.abs(best.start - first.start)) best = read;
    }
    return best ? best.times.map((ms) => ms / 1000) : [];
  }

  // Lists the programs zx8xread wrote (`done`: its lines and files) from the recordings placed at
  // `paths`, and the whole tapes it kept.
  function listRead(done, paths) {
    const report = JSON.parse(new TextDecoder().decode(done.files['report.json']));
    const tapes = Object.keys(done.files).filter((name) => name.endsWith('.tzx'));
    const said = done.lines.filter((line) => line.startsWith('/out/') &&
      !tapes.some((name) => line.startsWith('/out/' + name + ':')));
    for (const name of tapes) addTape(name, done.files[name]);
    report.programs.forEach((p, k) => {
      const file = p.file.replace(/^\/out\//, '');
      addRecovered({ file, status: p.status, line: (said[k] || '').replace(/^\/out\//, ''),
        bytes: done.files[file], report: Object.assign({}, p, { file }),
        times: () => timesFromRecording(paths, p),
        // The recording's own signal around a stretch of the program, read when it is drawn.
        signal: (from, to) => ask({ type: 'stretch', path: paths[p.readings[0].recording],
          channel: p.readings[0].channel, from, to }).then((m) => m.stretch) });
    });
    return report.programs.length;
  }

  // Stops a reading from files: the worker is let go, with everything it was doing.
  function stopReading() {
    if (!reading || !worker) return;
    worker.terminate();
    worker = null;
    if (answered) answered({ type: 'error', message: 'stopped' });
  }

  // Recordings from files, read as zx8xread reads them on the command line, off the page's thread.
  async function open(files) {
    if (files.length === 0 || reading || zxLive.listening()) return;
    reading = true;
    $('recovered').dataset.busy = 'yes';
    $('read-stop').hidden = false;
    const started = performance.now();
    clear();
    $('reading').textContent = 'Reading ' + files.length + (files.length === 1 ? ' recording.' : ' recordings.');
    try {
      await ask({ type: 'start' });
      const paths = [];
      for (const file of files) {
        const path = '/in/' + file.name.replace(/\//g, '_');
        await place(file, path);
        paths.push(path);
      }
      const merge = $('merge').checked && paths.length > 1 ? ['-m'] : [];
      let found = 0;
      $('reading').textContent = 'Reading: nothing found yet.';
      const done = await ask({ type: 'read', args: ['-d', '/out', '--report', '/out/report.json',
        '--tzx', ...merge, ...machineOption(), ...paths] }, [], (line) => {
        if (!line.startsWith('/out/') || line.includes('.tzx: ')) return;
        found++;
        $('reading').textContent = 'Reading: ' + found + (found === 1 ? ' program' : ' programs') +
          ' found so far.';
      });
      const count = listRead(done, paths);
      const problems = done.lines.filter((line) => !line.startsWith('/out/'))
        .map((line) => line.replace(/\/in\//g, ''));
      // How long reading took, in milliseconds, for anyone timing the page.
      $('recovered').dataset.ms = (performance.now() - started).toFixed(1);
      $('reading').textContent = (count === 0 ? 'No program was found.'
        : count + (count === 1 ? ' program' : ' programs') + ' read.') +
        (problems.length ? ' ' + problems.join(' ') : '');
    } catch (e) {
      const message = e.message || String(e);
      $('reading').textContent = message === 'stopped' ? 'Reading stopped.'
        : 'Cannot read the recording: ' + message;
    } finally {
      reading = false;
      $('read-stop').hidden = true;
      delete $('recovered').dataset.busy;
    }
  }

  return { open, stopReading, clear, takePrograms, addTape, machineOption, busy: () => reading };
})();
