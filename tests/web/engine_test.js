// The web engine alone under Node, against korvo: listings, pixels,
// thumbnails, PNGs and extract's names of pictures and archives of both
// layouts, and one line for each damaged or hostile file.
//
//   node tests/web/engine_test.js KORVO
'use strict';
const assert = require('assert/strict');
const fs = require('fs');
const path = require('path');
const t = require('./support');

const korvo = path.resolve(process.argv[2]);
const scratch = t.Scratch('engine');

async function Main() {
  const { module, api } = await t.LoadEngine();
  const { EncodeIndexedPng, ZipStored } = require(path.join(t.root, 'web/output.js'));
  let serial = 0;
  // Opens bytes as a file of that name, as the worker does a dropped File.
  const open = (name, bytes) => {
    const file = `/f${++serial}`;
    module.FS.writeFile(file, bytes);
    return api.open(file, name);
  };
  const write = (name, bytes) => {
    const file = path.join(scratch, name);
    fs.writeFileSync(file, bytes);
    return file;
  };
  // Reads of the engine's files, as the worker counts reads of a File.
  const reads = { calls: 0, bytes: 0 };
  const fileStreams = module.FS.filesystems.MEMFS.ops_table.file.stream;
  const memfsRead = fileStreams.read;
  fileStreams.read = function (...args) {
    const count = memfsRead.apply(this, args);
    reads.calls += 1;
    reads.bytes += count;
    return count;
  };
  const expectSamePixels = (rgba, png, what) => {
    assert.equal(rgba.length, png.rgba.length, `${what}: size`);
    assert.ok(Buffer.from(rgba).equals(png.rgba), `${what}: pixels differ`);
  };

  // The reference pictures: korvo's samples and an odd width (fill bytes).
  const pictures = [];
  for (const pattern of ['bars', 'arrow', 'rings', 'checker']) {
    pictures.push(path.join(scratch, `${pattern}.QKZ`));
    Korvo('sample-picture', '--pattern', pattern, pictures[pictures.length - 1]);
  }
  pictures.push(write('odd.qkz', t.QkzPicture(5, 3)));
  function Korvo(...args) { return t.Korvo(korvo, ...args); }
  const archives = {
    'offset-table.cg': ['--layout', 'offset-table', ...pictures.slice(0, 4)],
    'named-entry.cg': ['--layout', 'named-entry', ...pictures.slice(0, 4)],
  };
  fs.mkdirSync(path.join(scratch, 'jp'));
  for (const [name, source] of [['画像1.QKZ', 0], ['矢印.QKZ', 1], ['ﾘﾝｸﾞ.QKZ', 2]])
    fs.copyFileSync(pictures[source], path.join(scratch, 'jp', name));
  archives['japanese.cg'] = ['--layout', 'named-entry', ...['画像1', '矢印', 'ﾘﾝｸﾞ'].map((n) => path.join(scratch, 'jp', n + '.QKZ'))];
  for (const [name, args] of Object.entries(archives)) Korvo('pack', '-o', path.join(scratch, name), ...args);
  // Names that do not decode, or only partly, as code page 932.
  archives['undecodable.cg'] = null;
  write('undecodable.cg', t.NamedEntryArchive([
    { name: Buffer.from([0x82]), width: 2, height: 2 },               // a lone lead byte
    { name: Buffer.from([0x61, 0xff, 0x62]), width: 3, height: 1 },   // a byte no character starts with
    { name: Buffer.from([0x81, 0x20, 0x41]), width: 1, height: 1 },   // a lead byte with a trail it does not take
    { name: Buffer.from([0x87, 0x40, 0x1b]), width: 4, height: 2 },   // NEC's circled 1 and an escape
    { name: Buffer.from('CON'), width: 1, height: 1 },                 // a device name
    { name: Buffer.from('con'), width: 1, height: 1 },                 // the same under case folding
  ]));

  const cases = [];
  for (const picture of pictures) {
    const name = path.basename(picture);
    cases.push([`picture ${name}: decode, thumbnails and PNG equal korvo`, async () => {
      const opened = open(name, fs.readFileSync(picture));
      assert.equal(opened.error, undefined);
      const listing = api.listing(opened.handle);
      assert.equal(listing.kind, 'picture');
      assert.deepEqual(listing.entries.map((e) => [e.name, e.file, e.size]),
        [[name, name.replace(/\.qkz$/i, '.png'), fs.statSync(picture).size]]);
      const converted = path.join(scratch, `${name}.png`);
      Korvo('convert', picture, '-o', converted);
      const reference = t.ReadPng(fs.readFileSync(converted));
      const decoded = api.decode(opened.handle, 0, true);
      assert.deepEqual([decoded.width, decoded.height], [reference.width, reference.height]);
      expectSamePixels(decoded.pixels, reference, 'decode');
      const indices = api.decode(opened.handle, 0, false);
      const png = await EncodeIndexedPng(indices.width, indices.height, indices.pixels, indices.palette);
      const saved = t.ReadPng(new Uint8Array(await png.arrayBuffer()));
      assert.equal(saved.type, 3, 'saved as indexed');
      expectSamePixels(saved.rgba, reference, 'saved PNG');
      for (const size of [64, 256]) {
        const thumbnailFile = path.join(scratch, `${name}-${size}.png`);
        Korvo('thumbnail', picture, thumbnailFile, '--size', String(size));
        // Rows one after another come in one read ahead, not one read each.
        const fresh = open(name, fs.readFileSync(picture));
        const before = reads.calls;
        const thumbnail = api.thumbnail(fresh.handle, 0, size);
        assert.equal(reads.calls - before, 1, 'reads for a thumbnail');
        api.close(fresh.handle);
        const expected = t.ReadPng(fs.readFileSync(thumbnailFile));
        assert.deepEqual([thumbnail.width, thumbnail.height], [expected.width, expected.height]);
        expectSamePixels(thumbnail.pixels, expected, `thumbnail at ${size}`);
      }
      api.close(opened.handle);
    }]);
  }

  for (const name of Object.keys(archives)) {
    cases.push([`archive ${name}: listing, names and pixels equal korvo's`, async () => {
      const file = path.join(scratch, name);
      const opened = open(name, fs.readFileSync(file));
      assert.equal(opened.error, undefined);
      const listing = api.listing(opened.handle);
      const listed = JSON.parse(Korvo('list', '--json', file)).entries;
      assert.deepEqual(listing.entries.map((e) => [e.name, e.decoded, e.position, e.stored, e.size]),
        listed.map((e) => [e.name, e.decoded, e.position, e.stored, e.size]));
      assert.deepEqual(listing.entries.map((e) => e.palette), listed.map((e) => e.name === 'Palette.QKZ'));
      const all = listing.entries.map((_, i) => i);
      const names = api.outputNames(opened.handle, all);
      const decodable = all.filter((i) => listing.entries[i].decoded);
      if (decodable.length === all.length) {
        // korvo extract of everything: the same names, the same pixels.
        const folder = path.join(scratch, `${name}-extract`);
        Korvo('extract', file, '-o', folder);
        assert.deepEqual([...names].sort(), fs.readdirSync(folder).sort());
        for (const i of all) {
          const reference = t.ReadPng(fs.readFileSync(path.join(folder, names[i])));
          expectSamePixels(api.decode(opened.handle, i, true).pixels, reference, listing.entries[i].name);
        }
      } else {
        // Entries whose names do not decode have no file name, as extract refuses them.
        assert.deepEqual(all.filter((i) => names[i] === ''), all.filter((i) => !listing.entries[i].decoded));
        assert.throws(() => Korvo('extract', file, '-o', path.join(scratch, 'refused')));
      }
      // Each entry alone is named as extract names it alone, undecodable ones not at all.
      assert.deepEqual(listing.entries.map((e) => e.file), all.map((i) => api.outputNames(opened.handle, [i])[0]));
      // A ZIP of the entries reads back under those names.
      const files = [];
      for (const i of decodable) {
        const indices = api.decode(opened.handle, i, false);
        const png = await EncodeIndexedPng(indices.width, indices.height, indices.pixels, indices.palette);
        files.push({ name: names[i], data: new Uint8Array(await png.arrayBuffer()) });
      }
      const zip = t.ReadZip(new Uint8Array(await ZipStored(files).arrayBuffer()));
      assert.deepEqual(Object.keys(zip), files.map((f) => f.name));
      const palette = listing.entries.findIndex((e) => e.palette);
      if (palette >= 0) {
        const swatch = api.thumbnail(opened.handle, palette, 128);
        assert.ok(swatch.paletteSwatch && swatch.width === 16 && swatch.height === 16);
      }
      api.close(opened.handle);
    }]);
  }
  cases.push(['extract names of a selection are made unique among the chosen only', async () => {
    const opened = open('undecodable.cg', fs.readFileSync(path.join(scratch, 'undecodable.cg')));
    assert.deepEqual(api.outputNames(opened.handle, [6, 5]), ['_con~2.png', '_CON.png']);
    assert.deepEqual(api.outputNames(opened.handle, [6]), ['_con.png']);
    api.close(opened.handle);
  }]);

  // Damaged, foreign and hostile files: one line each, quickly, without
  // reserving memory for what a head claims.
  const picture = t.QkzPicture(4, 2);
  const offsetTable = (count, ...offsets) => Buffer.concat([t.Le32(count, ...offsets), picture]);
  const hostile = [
    ['zero.QKZ', t.Le32(0, 5, 0), /^not a QKZ picture \(width or height 0\)$/],
    ['short.QKZ', picture.subarray(0, 700), /^the file ends inside the picture's head \(700 of 1032 bytes\)$/],
    ['cut.qkz', picture.subarray(0, 1036), /^the file ends inside the picture \(1036 of 1040 bytes\)$/],
    ['huge.QKZ', Buffer.concat([t.Le32(65535, 65519), Buffer.alloc(1024)]), /^the file ends inside the picture \(1032 of 4293854216 bytes\)$/],
    ['wide.QKZ', Buffer.concat([t.Le32(0x80000000, 1), Buffer.alloc(1024)]), /^a QKZ picture larger than 4 GiB/],
    ['tiny.qkz', Buffer.from([1, 0, 0]), /^the file is shorter than a picture's 1032-byte head \(3 of 1032 bytes\)$/],
    ['foreign.cg', Buffer.from('\x89PNG\r\n\x1a\n not an archive at all'), /^neither a QKZ picture nor an archive of either layout \(offset-table: .*; named-entry: .*\)$/],
    ['empty.cg', Buffer.alloc(0), /^neither a QKZ picture nor an archive/],
    ['billion.cg', Buffer.concat([t.Le32(1e9, 8), picture]), /^neither .*offset-table: an entry starts before the one before it/],
    ['past-end.cg', offsetTable(1, 100000), /offset-table: an entry's position lies at or past the end of the file/],
    ['cut-rows.cg', offsetTable(1, 8).subarray(0, 8 + 1038), /offset-table: an entry holds less than its picture's head needs/],
    ['no-palette.cg', t.NamedEntryArchive([]).fill(0x70, 4, 11), /named-entry: no entry is named Palette/],
  ];
  for (const [name, bytes, expected] of hostile) {
    cases.push([`hostile ${name}`, async () => {
      const started = Date.now();
      const answer = open(name, bytes);
      assert.match(answer.error || '(opened)', expected);
      assert.ok(Date.now() - started < 1000, 'took over a second');
      assert.ok(module.HEAPU8.length <= 64 << 20, `memory grew to ${module.HEAPU8.length}`);
    }]);
  }
  // Every file cut short, and the fuzz corpus under both kinds of name: each
  // answers one line or a listing whose every entry answers, and nothing throws.
  const cuts = [];
  for (const name of ['offset-table.cg', 'named-entry.cg']) {
    const bytes = fs.readFileSync(path.join(scratch, name));
    for (let length = 0; length < bytes.length; length += length < 1100 ? 1 : 997)
      cuts.push([`${name} cut to ${length}`, bytes.subarray(0, length)]);
    for (let at = 0; at < 1100; at += 1) {
      const changed = Buffer.from(bytes);
      changed[at] ^= 0xa5;
      cuts.push([`${name} with byte ${at} changed`, changed]);
    }
  }
  const corpus = path.join(t.root, 'fuzz/corpus');
  for (const target of fs.readdirSync(corpus))
    for (const file of fs.readdirSync(path.join(corpus, target)).filter((f) => !f.startsWith('.')))
      cuts.push([`${target}/${file}`, fs.readFileSync(path.join(corpus, target, file))]);
  cases.push([`${cuts.length} cut, changed and corpus files each answer`, async () => {
    let listed = 0;
    for (const [what, bytes] of cuts) {
      for (const name of ['x.cg', 'x.QKZ']) {
        const opened = open(name, bytes);
        if (opened.error !== undefined) {
          assert.match(opened.error, /^[^\n]+$/, `${what} as ${name}`);
          continue;
        }
        const listing = api.listing(opened.handle);
        listed += 1;
        listing.entries.forEach((_, i) => {
          for (const answer of [api.thumbnail(opened.handle, i, 32), api.decode(opened.handle, i, false)])
            assert.ok(answer.error === undefined ? answer.width > 0 : /^[^\n]+$/.test(answer.error), `${what} entry ${i}`);
        });
        api.close(opened.handle);
      }
    }
    assert.ok(listed > 1000, `only ${listed} of them opened`);
  }]);
  // A picture the viewer will not decode whole still gets its thumbnail.
  cases.push(['a picture beyond the viewer\'s limit is refused whole and thumbnailed', async () => {
    const opened = open('long.QKZ', t.QkzPicture(40000, 1));
    assert.match(api.decode(opened.handle, 0, true).error, /^too large for this page: 40000x1 pixels/);
    const thumbnail = api.thumbnail(opened.handle, 0, 128);
    assert.deepEqual([thumbnail.width, thumbnail.height, thumbnail.pictureWidth], [128, 1, 40000]);
    api.close(opened.handle);
  }]);
  const failed = await t.RunCases('web engine', cases);
  fs.rmSync(scratch, { recursive: true, force: true });
  process.exit(failed === 0 ? 0 : 1);
}

Main().catch((failure) => {
  console.log(failure.stack || failure);
  process.exit(1);
});
