// Writes the reading worker as a classic script that holds its whole source in a string: a page
// opened from file:// may start a worker only from a blob, and such a worker cannot load scripts.
// The WebAssembly itself is not in it: the page hands the worker the module it compiled.
//
//   node embed_worker.mjs OUT.js SCRIPT...
import fs from 'node:fs';

const [output, ...scripts] = process.argv.slice(2);
const source = scripts.map((file) => fs.readFileSync(file, 'utf8')).join('\n');
fs.writeFileSync(output, `self.READ_WORKER_SOURCE = ${JSON.stringify(source)};\n`);
