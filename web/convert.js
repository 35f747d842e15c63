// Converting: the chosen file goes to zx8xwav exactly as a command line would give it, and the
// page shows what the program prints and hands the WAV it wrote to the player.
'use strict';

self.zxConvert = (function () {
  const $ = (id) => document.getElementById(id);

  let chosen = null;        // { name, bytes }: the file to convert
  let converting = false;   // a conversion runs
  let again = false;        // another was asked for meanwhile
  let lastArguments = '';   // of the conversion shown
  let otherJobBusy = () => false;  // whether another job has the log (see busyWhile)

  // A name as an argument: one that begins with "-" would be taken for an option.
  const asArgument = (name) => (name.startsWith('-') ? './' + name : name);

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
    const program = await zxWasm.instance('zx8xwav', {
      print: (text) => lines.push({ text, error: false }),
      printErr: (text) => lines.push({ text, error: true }),
    });
    program.FS.mkdir('/in');
    program.FS.chdir('/in');
    program.FS.writeFile(file.name, file.bytes);
    const before = new Set(program.FS.readdir('.'));
    const status = zxWasm.callMain(program, args);
    const made = program.FS.readdir('.').filter((name) => !before.has(name));
    const target = program._ZxTargetFormat();
    const tapeName = program.UTF8ToString(program._ZxTapeName());
    return {
      lines,
      status,
      files: made.map((name) => ({ name, bytes: program.FS.readFile(name) })),
      // The parts of the tape it wrote, measured when asked, where the tape was written.
      layout: () => zxWasm.tapeLayout(program, made[0], target, tapeName),
      // What a tape file (.p81, TZX) holds, part by part; null for one program.
      tapeParts: () => zxWasm.tapeFileParts(program, file.name),
      target,
      zx80: target === program._ZxTargetZx80(),
      tapeName,
      imageStart: program._ZxImageStart(),
      ramEnd1K: program._ZxRamEnd1K(),
      ramEnd16K: program._ZxRamEnd16K(),
    };
  }

  // The conversion's sections, which wait for the first one; on a narrow screen the result is
  // brought to where the eye is.
  function showResult() {
    $('result').hidden = false;
    $('player').hidden = false;
    if (window.innerWidth < 640) $('result').scrollIntoView({ block: 'start' });
  }

  // A word from the page beside the program's own lines.
  function note(text) {
    $('note').textContent = text;
    $('note').hidden = text === '';
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

  // Clears what the last job showed, before a new one.
  function clearResult() {
    zxPlayer.stop();
    zxPlayer.showTape(null);
    zxInside.hide();
    note('');
  }

  async function convertOnce() {
    clearResult();
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
    showResult();
    if (run.status !== 0 || run.files.length !== 1) {
      explainFailure(run);
      return;
    }

    const wav = run.files[0];
    const parts = run.tapeParts();
    if (!parts && file.bytes.length > 0) await warnIfNoProgram(file, run);
    const layout = run.layout();
    zxPlayer.showTape(zxPlayer.readTape(wav.name, wav.bytes, layout, run, parts
      ? { parts: parts.map((p) => zxPlayer.inSamples(p, layout.rate)) }
      : { image: file, imageSize: file.bytes.length, tzx: () => zxWasm.makeTzx([run], [file], 0) }));
  }

  // What to do when the program refused: the tape name is the usual reason.
  function explainFailure(run) {
    const said = run.lines.map((l) => l.text).join('\n');
    if (/Invalid zx file name|invalid character/.test(said)) {
      note('The tape name comes from the file name unless one is typed, and a ZX81 tape name ' +
        'holds only up to 8 letters A–Z and digits 0–9. Type a name in Tape name, and the file ' +
        'converts with it.');
      $('name').focus();
    } else if (!$('note').textContent) {
      note('The program could not make a tape of this file: its last line says why.');
    }
  }

  // The command line makes a tape of any bytes; the page says when they are no program.
  async function warnIfNoProgram(file, run) {
    const lister = await zxWasm.readerInstance();
    const failed = zxWasm.checks(lister, file.bytes, zxWasm.machineCode(lister, run.zx80 ? 'ZX80' : 'ZX81'));
    if (failed.length === 0) return;
    note('This file does not pass the checks of a ' + (run.zx80 ? 'ZX80' : 'ZX81') +
      ' program (' + failed.join(', ') + '). The tape holds its bytes all the same, but unless ' +
      'it is a program after all the machine will not run it.');
  }

  // Conversions run one at a time; a request made during one runs again when it ends, with the
  // file and settings of that moment. The log's data-busy shows it meanwhile, and data-runs counts
  // the conversions shown, so that the page can be scripted.
  async function convert() {
    if (!chosen || otherJobBusy()) return;
    if (converting) {
      again = true;
      return;
    }
    converting = true;
    $('convert').disabled = true;
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
      $('convert').disabled = !chosen;
      delete $('log').dataset.busy;
    }
  }

  // Chooses `file` to convert; with `tapeName`, the name it had on tape goes in Tape name.
  async function choose(file, { tapeName } = {}) {
    if (!file) return;
    if (tapeName) {
      $('name').value = tapeName;
      await checkName();
    }
    const bytes = new Uint8Array(await file.arrayBuffer());
    // A zip archive: one program in it is converted, several make one tape.
    let files = null;
    try {
      files = await zxWasm.unzip(bytes);
    } catch (e) {
      note('The archive cannot be unpacked: ' + (e.message || e) + '.');
      return;
    }
    if (files && files.length !== 1) {
      note(files.length === 0 ? 'The archive holds no file.'
        : 'The archive holds ' + files.length + ' files: they are the parts of one tape below.');
      if (files.length > 0) await zxParts.choose(files);
      return;
    }
    if (files) return choose(files[0]);
    chosen = { name: file.name, bytes };
    $('convert').disabled = false;
    await convert();
  }

  // Says at once when the tape name typed cannot be one, and why; true when it can.
  async function checkName() {
    const problem = await zxWasm.tapeNameProblem($('name').value);
    const hint = $('name-hint');
    hint.textContent = problem || 'Up to 8 letters A–Z and digits 0–9, as the ZX81 shows them; ' +
      'a ZX80 tape has no name.';
    hint.classList.toggle('problem', problem !== '');
    $('name').setAttribute('aria-invalid', problem !== '' ? 'true' : 'false');
    return problem === '';
  }

  // A setting converts again only if it changes what the program is asked, and the name can be.
  async function settingChanged() {
    if (!(await checkName())) return;
    if (chosen && JSON.stringify(argumentsFor(chosen.name)) !== lastArguments) convert();
  }

  return {
    asArgument, runProgram, note, showLog, showResult, clearResult, convert, choose, settingChanged, checkName,
    busy: () => converting,
    // Another job that shows its result in the log: no conversion starts while it runs.
    shareLogWith: (busy) => { otherJobBusy = busy; },
  };
})();
