// The programs compiled to WebAssembly, and the one place where bytes and strings move in and out
// of their memory. Every question about tapes, WAV files, images and machines is put to them here:
// the page computes none of it itself.
'use strict';

self.zxWasm = (function () {
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

  // Takes a module compiled elsewhere (by the page, for a worker) as program `name`'s.
  function provide(name, module) {
    compiled[name] = Promise.resolve(module);
  }

  // A fresh instance of program `name` ('zx8xwav' or 'zx8xread'), with Emscripten's `options`
  // (print, printErr).
  function instance(name, options) {
    const factory = name === 'zx8xwav' ? createZx8xwav : createZx8xread;
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

  // Runs the program's main with `args`, turning exit() into its status.
  function callMain(program, args) {
    try {
      return program.callMain(args);
    } catch (e) {
      if (e && typeof e.status === 'number') return e.status;
      throw e;
    }
  }

  // Calls `f` with each of `values` copied into the instance's memory: strings (with their
  // terminating zero), byte arrays, Float32Arrays or arrays of 32-bit integers. Each pointer
  // lives while `f` runs.
  function withMemory(program, values, f) {
    const pointers = values.map((value) => {
      if (typeof value === 'string') value = new TextEncoder().encode(value + '\0');
      const bytes = value instanceof Uint8Array ? value.length
        : 4 * Math.max(1, value.length);
      const at = program._malloc(Math.max(1, bytes));
      if (value instanceof Uint8Array) program.HEAPU8.set(value, at);
      else if (value instanceof Float32Array) program.HEAPF32.set(value, at >> 2);
      else program.HEAP32.set(value, at >> 2);
      return at;
    });
    try {
      return f(...pointers);
    } finally {
      pointers.forEach((at) => program._free(at));
    }
  }

  // The text a program's function left at `pointer`, as JSON.
  const json = (program, pointer) => JSON.parse(program.UTF8ToString(pointer));

  // zx8xread's instance that lists programs, checks them and answers questions: one is enough,
  // as none of that keeps anything from one call to the next.
  let reader = null;
  async function readerInstance() {
    if (!reader) reader = await instance('zx8xread', {});
    return reader;
  }

  // zx8xwav's instance that finds the byte times of the tapes shown, for the same reason one.
  let converter = null;
  async function converterInstance() {
    if (!converter) converter = await instance('zx8xwav', {});
    return converter;
  }

  // The machine number the programs take for 'ZX80' or 'ZX81' (and 0 for either).
  const machineCode = (program, name) => withMemory(program, [name || ''],
    (p) => program._ZxMachineCode(p));

  // Whether zx8xread reads a file beginning with `bytes` itself (a WAV file).
  const isWav = (program, bytes) => withMemory(program, [bytes.subarray(0, 12)],
    (p) => program._ZxIsWav(p, Math.min(12, bytes.length)) === 1);

  // What zx8xwav knows of the tape it wrote at `path` in `program` for a program of `target`
  // named `name` (see ZxTapeLayout), asked of the instance that wrote it.
  const tapeLayout = (program, path, target, name) => withMemory(program, [path, name],
    (p, n) => json(program, program._ZxTapeLayout(p, target, n)));

  // The parts of the tape file (.p81, TZX) at `path` in `program` as zx8xwav plays them (see
  // ZxTapeFileParts), or null for a file that is no tape file.
  const tapeFileParts = (program, path) => withMemory(program, [path],
    (p) => json(program, program._ZxTapeFileParts(p)));

  // A TZX of the tapes of `runs` (each a run of zx8xwav on one program, `files[k]` its file),
  // `pause` seconds apart as the page joins their WAVs; its bytes.
  async function makeTzx(runs, files, pause) {
    const program = await instance('zx8xwav', {});
    program.FS.mkdir('/tzx');
    const lines = runs.map((run, k) => {
      program.FS.writeFile('/tzx/' + k, files[k].bytes);
      return run.target + '\t' + run.tapeName + '\t/tzx/' + k;
    });
    program.FS.writeFile('/tzx/list', lines.join('\n') + '\n');
    const ok = withMemory(program, ['/tzx/list', '/tzx/tape.tzx'],
      (list, out) => program._ZxMakeTzx(list, pause, out));
    if (!ok) throw new Error('the TZX could not be made');
    return program.FS.readFile('/tzx/tape.tzx');
  }

  // Why `name` cannot be a ZX81 tape name, as a sentence; '' if it can.
  async function tapeNameProblem(name) {
    const program = await converterInstance();
    return withMemory(program, [name], (p) => program.UTF8ToString(program._ZxTapeNameProblem(p)));
  }

  // The files of a zip archive, unpacked by the browser; null for bytes that are no zip archive.
  // The archive's directory is read by zx8xwav, which also checks each file's CRC.
  async function unzip(bytes) {
    const program = await converterInstance();
    const entries = withMemory(program, [bytes], (at) => json(program,
      program._ZxZipEntries(at, bytes.length)));
    if (entries === null) return null;
    const files = [];
    for (const e of entries) {
      const packed = bytes.subarray(e.offset, e.offset + e.packed);
      let data;
      if (e.method === 0) data = packed;
      else if (e.method === 8) {
        const stream = new Blob([packed]).stream().pipeThrough(new DecompressionStream('deflate-raw'));
        data = new Uint8Array(await new Response(stream).arrayBuffer());
      } else throw new Error(e.name + ' is packed in a way the browser cannot unpack');
      const crc = withMemory(program, [data], (at) =>
        program.UTF8ToString(program._ZxCrc32(at, data.length)));
      if (crc !== e.crc) throw new Error(e.name + ' in the archive is damaged');
      files.push(new File([data], e.name.replace(/^.*\//, '')));
    }
    return files;
  }

  // Where each byte of `image` starts on the tape zx8xwav makes of it for `target` named `name`.
  async function imageByteTimes(image, target, name) {
    const program = await converterInstance();
    return withMemory(program, [image, name],
      (at, n) => json(program, program._ZxImageByteTimes(at, image.length, target, n)));
  }

  // Where each byte of the program starts on the tape `wav`, asked when it is wanted, of an
  // instance kept for it.
  async function tapeByteTimes(wav, target, name) {
    const program = await converterInstance();
    program.FS.writeFile('/tape.wav', wav);
    try {
      return withMemory(program, ['/tape.wav', name],
        (path, n) => json(program, program._ZxTapeByteTimes(path, target, n)));
    } finally {
      program.FS.unlink('/tape.wav');
    }
  }

  // The lister's answers for an image of machine number `machine` (see web_read.cpp).
  const listing = (l, image, machine) => withMemory(l, [image],
    (at) => json(l, l._ZxListJson(at, image.length, machine)));
  const checks = (l, image, machine) => withMemory(l, [image],
    (at) => json(l, l._ZxChecksJson(at, image.length, machine)));
  function choices(l, image, machine, d) {
    const readings = (d.readings || []).map((r) => (r === null ? -1 : r));
    const bits = d.doubtful_bits.reduce((mask, bit) => mask | (1 << bit), 0);
    return withMemory(l, [image, readings], (at, listed) => json(l, l._ZxChoicesJson(at,
      image.length, machine, d.offset, d.value, bits, listed, readings.length)));
  }

  // The repairs of a lost or gained bit that a report offers (`slips`, each {bit, change}),
  // applied to an image of machine number `machine`, with what each makes of it.
  function slipChoices(l, image, machine, slips) {
    const codes = { 'insert 0': 0, 'insert 1': 1, remove: 2 };
    const pairs = slips.flatMap((s) => [s.bit, codes[s.change], s.flip === null ? -1 : s.flip]);
    return withMemory(l, [image, pairs], (at, listed) => json(l, l._ZxSlipChoicesJson(at,
      image.length, machine, listed, slips.length)));
  }

  // Compiles both programs while the page waits for its first file.
  function warmUp() {
    compiledModule('zx8xwav');
    compiledModule('zx8xread');
  }

  return {
    compiledModule, provide, instance, callMain, withMemory, json, readerInstance, machineCode, isWav, tapeLayout,
    tapeFileParts, makeTzx, unzip, tapeNameProblem, tapeByteTimes, imageByteTimes, listing, checks, choices, slipChoices, warmUp,
  };
})();
