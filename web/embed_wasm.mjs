// Writes a WebAssembly module as a classic script that holds it in base64, so that the page can
// load it from file:// as well as from a server.
//
//   node embed_wasm.mjs MODULE.wasm OUT.wasm.js
import fs from 'node:fs';
import path from 'node:path';

const [input, output] = process.argv.slice(2);
const name = path.basename(input, '.wasm').toUpperCase() + '_WASM';
fs.writeFileSync(output, `self.${name} = '${fs.readFileSync(input).toString('base64')}';\n`);
