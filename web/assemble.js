// Writes the page as one file: the HTML with its style, its script, the
// worker's script (the engine's glue, its call wrappers, the PNG and ZIP
// writers and the worker) and the engine's WebAssembly in base64. One file
// opens from a web server and straight from the disk alike, and needs
// nothing else.
//
//   node web/assemble.js ENGINE_DIR OUTPUT.html
'use strict';
const fs = require('fs');
const path = require('path');

const [engineDir, output] = process.argv.slice(2);
const web = __dirname;
const read = (file) => fs.readFileSync(file, 'utf8');
const inline = (name, text) => {
  if (/<\/script/i.test(text)) throw new Error(`${name} holds </script and cannot be inlined`);
  return text;
};
const worker = ['korvo_engine.js'].map((file) => read(path.join(engineDir, file)))
  .concat(['engine_api.js', 'output.js', 'worker.js'].map((file) => read(path.join(web, file))))
  .join('\n');
const wasm = fs.readFileSync(path.join(engineDir, 'korvo_engine.wasm')).toString('base64');
const page = read(path.join(web, 'page.html'))
  .replace('/*@STYLE@*/', () => read(path.join(web, 'page.css')))
  .replace('/*@WORKER@*/', () => inline('the worker', worker))
  .replace('/*@WASM@*/', () => wasm)
  .replace('/*@PAGE@*/', () => inline('the page script', read(path.join(web, 'page.js'))));
fs.mkdirSync(path.dirname(output), { recursive: true });
fs.writeFileSync(output + '.part', page);
fs.renameSync(output + '.part', output);
console.log(`${output}: ${page.length} bytes`);
