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

  // Puts a recording where zx8xread reads it: as it stands if zx8xread reads it itself (a WAV
  // file), else as the browser decodes it, written by zx8xread as a float WAV.
  async function place(reader, file, path) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    if (zxWasm.isWav(reader, bytes)) {
      reader.FS.writeFile(path, bytes);
      return;
    }
    let audio;
    try {
      audio = await decode(bytes);
    } catch (e) {
      throw new Error(file.name + ' is no recording this browser can decode (' +
        (bytes.length === 0 ? 'it is empty' : 'not a sound file it knows') + ')');
    }
    const frames = audio.length;
    const channels = audio.numberOfChannels;
    const interleaved = new Float32Array(frames * channels);
    for (let c = 0; c < channels; c++) {
      const data = audio.getChannelData(c);
      for (let i = 0; i < frames; i++) interleaved[i * channels + c] = data[i];
    }
    const ok = zxWasm.withMemory(reader, [interleaved, path],
      (at, p) => reader._ZxWriteFloatWav(p, at, frames, channels, audio.sampleRate));
    if (!ok) throw new Error('no room for ' + file.name);
  }

  // Where each byte of a program read from a file starts, in seconds: the recording its first
  // reading came from is read again (only when asked), and the program that starts where that
  // reading does, on its channel, gives the times.
  function timesFromRecording(reader, paths, program) {
    const first = program.readings[0];
    const path = paths[first.recording];
    if (!timesRead.has(path)) {
      const machine = zxWasm.machineCode(reader, program.machine);
      timesRead.set(path, zxWasm.withMemory(reader, [path],
        (p) => zxWasm.json(reader, reader._ZxReadTimes(p, machine))));
    }
    let best = null;
    for (const read of timesRead.get(path)) {
      if (read.channel !== first.channel) continue;
      if (!best || Math.abs(read.start - first.start) < Math.abs(best.start - first.start)) best = read;
    }
    return best ? best.times.map((ms) => ms / 1000) : [];
  }

  // Runs zx8xread on the recordings placed at `paths` and lists the programs it wrote.
  function readPlaced(reader, paths, lines) {
    const merge = $('merge').checked && paths.length > 1 ? ['-m'] : [];
    zxWasm.callMain(reader, ['-d', '/out', '--report', '/out/report.json', '--tzx', ...merge,
      ...machineOption(), ...paths]);
    const report = JSON.parse(reader.FS.readFile('/out/report.json', { encoding: 'utf8' }));
    const tapes = reader.FS.readdir('/out').filter((name) => name.endsWith('.tzx'));
    const said = lines.filter((line) => line.startsWith('/out/') &&
      !tapes.some((name) => line.startsWith('/out/' + name + ':')));
    for (const name of tapes) addTape(name, reader.FS.readFile('/out/' + name));
    report.programs.forEach((p, k) => {
      const file = p.file.replace(/^\/out\//, '');
      addRecovered({ file, status: p.status, line: (said[k] || '').replace(/^\/out\//, ''),
        bytes: reader.FS.readFile(p.file), report: Object.assign({}, p, { file }),
        times: async () => timesFromRecording(reader, paths, p) });
    });
    return report.programs.length;
  }

  // Recordings from files, read as zx8xread reads them on the command line.
  async function open(files) {
    if (files.length === 0 || reading || zxLive.listening()) return;
    reading = true;
    $('recovered').dataset.busy = 'yes';
    const started = performance.now();
    clear();
    $('reading').textContent = 'Reading ' + files.length + (files.length === 1 ? ' recording.' : ' recordings.');
    try {
      const lines = [];
      const reader = await zxWasm.instance('zx8xread', {
        print: (text) => lines.push(text),
        printErr: (text) => lines.push(text),
      });
      reader.FS.mkdir('/in');
      reader.FS.mkdir('/out');
      const paths = [];
      for (const file of files) {
        const path = '/in/' + file.name.replace(/\//g, '_');
        await place(reader, file, path);
        paths.push(path);
      }
      const count = readPlaced(reader, paths, lines);
      const problems = lines.filter((line) => !line.startsWith('/out/'))
        .map((line) => line.replace(/\/in\//g, ''));
      // How long reading took, in milliseconds, for anyone timing the page.
      $('recovered').dataset.ms = (performance.now() - started).toFixed(1);
      $('reading').textContent = (count === 0 ? 'No program was found.'
        : count + (count === 1 ? ' program' : ' programs') + ' read.') +
        (problems.length ? ' ' + problems.join(' ') : '');
    } catch (e) {
      $('reading').textContent = 'Cannot read the recording: ' + (e.message || e);
    } finally {
      reading = false;
      delete $('recovered').dataset.busy;
    }
  }

  return { open, clear, takePrograms, addTape, machineOption, busy: () => reading };
})();
