// Several programs on one tape: each part converted as the command line would, then their tapes
// joined by zx8xwav with the pause chosen, in the order the list shows.
'use strict';

self.zxParts = (function () {
  const $ = (id) => document.getElementById(id);

  let parts = [];      // { name, bytes, load } in the order they play
  let making = false;  // a tape is being made

  function partButtons(part, k) {
    return [['up', '↑', 'Earlier', k > 0], ['down', '↓', 'Later', k < parts.length - 1],
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
  }

  function showParts() {
    $('parts').replaceChildren(...parts.map((part, k) => {
      const item = document.createElement('li');
      item.dataset.name = part.name;
      const label = document.createElement('span');
      label.className = 'part-name';
      label.textContent = part.name;
      const say = document.createElement('span');
      say.className = 'part-load';
      say.textContent = part.load || '';
      item.append(label, ' ', say, ...partButtons(part, k));
      return item;
    }));
    $('make-tape').disabled = parts.length === 0;
  }

  async function choose(files) {
    parts = await Promise.all(Array.from(files, async (f) => ({
      name: f.name, bytes: new Uint8Array(await f.arrayBuffer()),
    })));
    showParts();
  }

  // Each part converted; null (with the reason shown) if one cannot be.
  async function convertParts(lines) {
    const runs = [];
    for (const part of parts) {
      const run = await zxConvert.runProgram(part, [zxConvert.asArgument(part.name)]);
      lines.push(...run.lines);
      if (run.status !== 0 || run.files.length !== 1) {
        zxConvert.note(part.name + ' could not be converted; see what the program says.');
        zxConvert.showLog(lines, run.status);
        zxConvert.showResult();
        return null;
      }
      runs.push(run);
      part.load = run.zx80 ? 'LOAD' : 'LOAD "' + run.tapeName.toUpperCase() + '"';
    }
    parts.forEach((part, k) => {
      part.load = k === 0 ? 'first: type ' + (runs[0].zx80 ? 'LOAD' : 'LOAD ""')
        : 'loaded by the part before (' + part.load + ')';
    });
    return runs;
  }

  // The parts' tapes joined into one WAV by zx8xwav, with the pause chosen between them, and its
  // parts as the first part's tape has them.
  async function join(runs) {
    const joiner = await zxWasm.instance('zx8xwav', {});
    joiner.FS.mkdir('/parts');
    runs.forEach((run, k) => joiner.FS.writeFile('/parts/' + k + '.wav', run.files[0].bytes));
    joiner.FS.writeFile('/parts/list', runs.map((r, k) => '/parts/' + k + '.wav').join('\n') + '\n');
    const pause = Math.max(0, Math.min(60, Number($('pause').value) || 0));
    const ok = zxWasm.withMemory(joiner, ['/parts/list', '/parts/tape.wav'],
      (list, out) => joiner._ZxJoinTapes(list, pause, out));
    if (!ok) throw new Error('the tapes could not be joined');
    return {
      bytes: joiner.FS.readFile('/parts/tape.wav'),
      layout: zxWasm.tapeLayout(joiner, '/parts/tape.wav', runs[0].target, runs[0].tapeName),
    };
  }

  // Each part's stretch of the joined tape, as a tape file's parts are described (see
  // ZxTapeFileParts): its lead-in and lead-out, then the pause, as silence.
  function tapeParts(runs, rate, pause) {
    const described = [];
    let offset = 0;
    runs.forEach((run, k) => {
      const layout = run.layout();
      const seconds = (sample) => (offset + sample) / rate;
      described.push(zxPlayer.inSamples({
        kind: 'program', machine: run.zx80 ? 'ZX80' : 'ZX81', name: run.tapeName.toUpperCase(),
        size: parts[k].bytes.length, imageStart: run.imageStart,
        start: seconds(layout.leadInEnd), nameEnd: seconds(layout.programStart),
        end: seconds(layout.leadOutStart),
      }, rate));
      offset += layout.size + Math.round(pause * rate);
    });
    return described;
  }

  // Converts each part, joins their tapes, and shows the one tape in the player.
  async function makeTape() {
    if (parts.length === 0 || making || zxConvert.busy()) return;
    making = true;
    $('log').dataset.busy = 'yes';
    try {
      zxConvert.clearResult();
      const lines = [];
      const runs = await convertParts(lines);
      if (!runs) return;
      showParts();
      const tape = await join(runs);
      zxConvert.showLog(lines, 0);
      zxConvert.showResult();
      const stem = parts[0].name.replace(/\.[^.]*$/, '');
      const pause = Math.max(0, Math.min(60, Number($('pause').value) || 0));
      const files = parts.slice();
      zxPlayer.showTape(zxPlayer.readTape(stem + '-' + parts.length + '-parts.wav', tape.bytes,
        tape.layout, runs[0], {
          parts: tapeParts(runs, tape.layout.rate, pause),
          tzx: () => zxWasm.makeTzx(runs, files, pause),
        }));
    } catch (e) {
      zxConvert.note('Something went wrong on this page: ' + e);
    } finally {
      making = false;
      delete $('log').dataset.busy;
    }
  }

  return { choose, makeTape, busy: () => making };
})();
