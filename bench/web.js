// The web viewer's costs, measured in one run (scripts/bench):
// - decoding a 4000x3000 QKZ picture to RGBA with the engine built as
//   WebAssembly, under Node, beside the same engine built natively;
// - opening in Chromium an offset-table archive of 1,000 640x480 pictures
//   and one of more than 2 GiB (a picture and a 65535x65519 entry, sparse):
//   the time until the gallery lists every entry, until the first screen of
//   thumbnails is drawn, the bytes read from the file and the engine's memory.
//
//   node bench/web.js
'use strict';
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const t = require('../tests/web/support');
const { Browser, OpenPage, WaitIdle, Sparse } = require('../tests/web/browser_support');

const scratch = t.Scratch('bench');
const repetitions = 5;

async function DecodeTimes() {
  const picture = path.join(scratch, '4000x3000.QKZ');
  fs.writeFileSync(picture, t.QkzPicture(4000, 3000));
  const native = Number(execFileSync(path.join(t.root, 'build/web-native/korvo_engine_bench'),
    [picture, String(repetitions)], { encoding: 'utf8' }));
  const { module, api } = await t.LoadEngine();
  module.FS.writeFile('/picture.QKZ', fs.readFileSync(picture));
  const { handle } = api.open('/picture.QKZ', 'picture.QKZ');
  let wasm = Infinity;
  for (let i = 0; i < repetitions; i++) {
    const start = process.hrtime.bigint();
    if (!module._korvo_decode(handle, 0, 1)) throw new Error('the engine refused the picture');
    wasm = Math.min(wasm, Number(process.hrtime.bigint() - start) / 1e6);
  }
  console.log('\nweb engine: decoding 4000x3000 to RGBA, best of ' + repetitions);
  console.log(`${'native'.padEnd(28)} ${native.toFixed(1).padStart(9)} ms`);
  console.log(`${'WebAssembly under Node'.padEnd(28)} ${wasm.toFixed(1).padStart(9)} ms  ${(wasm / native).toFixed(2)} x native`);
}

// 1,000 entries of 640x480 whose rows are holes: 308 MB on the books.
function ThousandEntries(file) {
  const count = 1000, size = 1032 + 640 * 480;
  const first = 4 + 4 * count;
  const descriptor = fs.openSync(file, 'w');
  fs.writeSync(descriptor, t.Le32(count, ...Array.from({ length: count }, (_, i) => first + i * size)), 0, 4 + 4 * count, 0);
  const head = t.QkzPicture(1, 1).subarray(0, 1032);
  t.Le32(640, 480).copy(head, 0);
  for (let i = 0; i < count; i++) fs.writeSync(descriptor, head, 0, head.length, first + i * size);
  fs.ftruncateSync(descriptor, first + count * size);
  fs.closeSync(descriptor);
}

async function OpenTimes() {
  const browser = await Browser();
  if (!browser) return;
  const inputs = { '1,000 entries of 640x480': path.join(scratch, 'thousand.cg'),
    'sparse, 2 entries, 4 GiB': path.join(scratch, 'sparse.cg') };
  ThousandEntries(inputs['1,000 entries of 640x480']);
  Sparse(inputs['sparse, 2 entries, 4 GiB'], [t.QkzPicture(640, 480)]);
  console.log('\nweb page in chromium: opening an archive (the gallery draws thumbnails as tiles come into view)');
  console.log(`${'archive'.padEnd(28)} ${'size'.padStart(10)} ${'listed'.padStart(9)} ${'screen'.padStart(9)} ${'bytes read'.padStart(12)} ${'reads'.padStart(6)} ${'engine memory'.padStart(14)}`);
  for (const [label, file] of Object.entries(inputs)) {
    const { page } = await OpenPage(browser, 'file://' + path.join(t.root, 'out/web/index.html'));
    await WaitIdle(page);
    const start = Date.now();
    await page.setInputFiles('#picker', [file]);
    await page.waitForFunction(() => document.querySelector('.tile'), null, { polling: 5 });
    const listed = Date.now() - start;
    await WaitIdle(page, () => {
      const visible = [...document.querySelectorAll('.tile')].filter((tile) => tile.getBoundingClientRect().top < innerHeight);
      return visible.length > 0 && visible.every((tile) => tile.dataset.thumbnail === 'drawn');
    });
    const screen = Date.now() - start;
    const reads = await page.evaluate(() => reads);
    const size = fs.statSync(file).size;
    console.log(`${label.padEnd(28)} ${(size / 1e6).toFixed(0).padStart(7)} MB ${String(listed).padStart(6)} ms ${String(screen).padStart(6)} ms ` +
      `${(reads.bytes / 1e6).toFixed(2).padStart(9)} MB ${String(reads.calls).padStart(6)} ${(reads.memory / 1048576).toFixed(0).padStart(10)} MiB`);
    await page.close();
  }
  await browser.close();
}

(async () => {
  await DecodeTimes();
  await OpenTimes();
  fs.rmSync(scratch, { recursive: true, force: true });
})().catch((failure) => {
  console.log(failure.stack || failure);
  process.exit(1);
});
