// The page around the programs: it hands the chosen file to zx8xwav (compiled to WebAssembly, in
// zx8xwav.js) exactly as a command line would, shows what the program prints, and plays the WAV
// the program wrote; it reads recordings, live or from files, with zx8xread compiled the same
// way. Every rule of converting and reading stays in the programs. This file connects the parts:
//   wasm.js        the programs, and moving bytes and strings in and out of them
//   convert.js     converting the chosen file
//   player.js      the tape converted: its facts, and playing it (tape_view.js draws it)
//   parts.js       several programs on one tape
//   live.js        reading a tape as it plays
//   recordings.js  reading recordings from files, and the list of programs read
//   inside.js      what a program holds (inside_tape.js draws it on its tape)
'use strict';

(function () {
  const $ = (id) => document.getElementById(id);
  const on = (id, event, f) => $(id).addEventListener(event, f);

  // Only one job at a time shows its result in the log.
  zxConvert.shareLogWith(zxParts.busy);

  // After each choice the chooser is emptied, so that choosing the same file again (after a
  // setting changed, say) converts it again.
  on('file', 'change', async () => {
    const file = $('file').files[0];
    $('file').value = '';
    await zxConvert.choose(file);
  });
  on('name', 'input', zxConvert.checkName);
  on('convert', 'click', zxConvert.convert);
  on('target', 'change', zxConvert.settingChanged);
  on('name', 'change', zxConvert.settingChanged);
  on('play', 'click', zxPlayer.play);
  on('stop', 'click', zxPlayer.stop);
  on('look', 'click', () => {
    const tape = zxPlayer.shown();
    if (!tape || !tape.image) return;
    zxInside.open({
      name: tape.image.name,
      bytes: tape.image.bytes,
      machine: tape.zx80 ? 'ZX80' : 'ZX81',
      times: zxPlayer.byteTimes,
      end: tape.leadOutStart / tape.rate,
      samples: tape.samples,
      rate: tape.rate,
      middle: tape.middle,
    });
  });
  on('tape-files', 'change', () => zxParts.choose($('tape-files').files));
  on('pause', 'change', () => {
    // The pause the tape gets, shown as it is.
    const pause = $('pause');
    const value = Math.max(0, Math.min(60, Number(pause.value) || 0));
    if (String(value) !== pause.value) {
      pause.value = String(value);
      zxConvert.note('A pause between the parts is from 0 to 60 seconds: it is ' + value + ' s.');
    }
  });
  on('make-tape', 'click', zxParts.makeTape);
  on('record', 'click', zxLive.start);
  on('record-stop', 'click', zxLive.stop);
  on('read-stop', 'click', zxRecordings.stopReading);
  on('recording', 'change', () => zxRecordings.open(Array.from($('recording').files)));
  on('merge', 'change', () => {
    $('recording').multiple = $('merge').checked;
  });
  zxInside.connect();

  // Files dropped anywhere on the page: recordings are read, several programs make one tape, and
  // one program is converted.
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
    const programs = files.filter((f) => !audio.includes(f));
    // Recordings are read and programs converted: both, where both were dropped.
    if (audio.length > 0) zxRecordings.open(audio);
    if (programs.length > 1) {
      $('several').open = true;
      zxParts.choose(programs);
      $('several').scrollIntoView();
    } else if (programs.length === 1) zxConvert.choose(programs[0]);
  });
  window.addEventListener('resize', zxPlayer.resized);

  zxPlayer.showTape(null);
  // Compile both programs while the page waits for its first file.
  setTimeout(zxWasm.warmUp, 0);
})();
