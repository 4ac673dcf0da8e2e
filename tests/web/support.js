// What the web viewer's tests share: korvo as the reference, a PNG reader
// (Node's zlib), a reader of stored ZIPs, writers of hand-made files and
// the engine loaded from its build.
'use strict';
const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');

const root = path.resolve(__dirname, '../..');

function Korvo(korvo, ...args) {
  return execFileSync(korvo, args, { encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] });
}

function Scratch(label) {
  return fs.mkdtempSync(path.join(os.tmpdir(), `korvo-web-${label}-`));
}

// A PNG's pixels as RGBA: 8-bit grey, RGB, indexed or RGBA, not interlaced.
function ReadPng(bytes) {
  bytes = Buffer.from(bytes);
  if (bytes.readUInt32BE(0) !== 0x89504e47) throw new Error('not a PNG');
  let at = 8, width = 0, height = 0, type = 0, palette = null;
  const data = [];
  while (at < bytes.length) {
    const length = bytes.readUInt32BE(at), kind = bytes.toString('latin1', at + 4, at + 8);
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (kind === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      type = body[9];
      if (body[8] !== 8 || body[12] !== 0) throw new Error('only 8-bit, not interlaced');
    } else if (kind === 'PLTE') palette = body;
    else if (kind === 'IDAT') data.push(body);
    at += 12 + length;
  }
  const channels = { 0: 1, 2: 3, 3: 1, 6: 4 }[type];
  const raw = zlib.inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const rows = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let x = 0; x < stride; x++) {
      const a = x >= channels ? rows[y * stride + x - channels] : 0;
      const b = y > 0 ? rows[(y - 1) * stride + x] : 0;
      const c = x >= channels && y > 0 ? rows[(y - 1) * stride + x - channels] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const predictor = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][filter];
      rows[y * stride + x] = (line[x] + predictor) & 0xff;
    }
  }
  const rgba = Buffer.alloc(4 * width * height);
  for (let i = 0; i < width * height; i++) {
    const pixel = rows.subarray(i * channels, (i + 1) * channels);
    const colour = type === 3 ? palette.subarray(3 * pixel[0], 3 * pixel[0] + 3)
      : type === 0 ? [pixel[0], pixel[0], pixel[0]] : pixel;
    rgba[4 * i] = colour[0];
    rgba[4 * i + 1] = colour[1];
    rgba[4 * i + 2] = colour[2];
    rgba[4 * i + 3] = type === 6 ? pixel[3] : 255;
  }
  return { width, height, type, rgba };
}

// The files of a stored ZIP, checked against their CRCs: { name: bytes }.
function ReadZip(bytes) {
  bytes = Buffer.from(bytes);
  const end = bytes.lastIndexOf(Buffer.from([0x50, 0x4b, 5, 6]));
  const count = bytes.readUInt16LE(end + 10);
  let at = bytes.readUInt32LE(end + 16);
  const files = {};
  for (let i = 0; i < count; i++) {
    if (bytes.readUInt32LE(at) !== 0x02014b50) throw new Error('bad central directory');
    const nameLength = bytes.readUInt16LE(at + 28), extra = bytes.readUInt16LE(at + 30);
    const comment = bytes.readUInt16LE(at + 32), local = bytes.readUInt32LE(at + 42);
    const name = bytes.toString('utf8', at + 46, at + 46 + nameLength);
    const size = bytes.readUInt32LE(at + 20), crc = bytes.readUInt32LE(at + 16);
    const dataAt = local + 30 + bytes.readUInt16LE(local + 26) + bytes.readUInt16LE(local + 28);
    files[name] = bytes.subarray(dataAt, dataAt + size);
    if (zlib.crc32 && zlib.crc32(files[name]) !== crc) throw new Error(`${name}: CRC differs`);
    at += 46 + nameLength + extra + comment;
  }
  return files;
}

function Le32(...values) {
  const bytes = Buffer.alloc(4 * values.length);
  values.forEach((value, i) => bytes.writeUInt32LE(value >>> 0, 4 * i));
  return bytes;
}

// A QKZ picture whose pixel (x, y) is (x + 3y) mod 256 over a palette of
// (i, 255 - i, i * 7) colours.
function QkzPicture(width, height) {
  const stride = (width + 3) & ~3;
  const bytes = Buffer.alloc(1032 + stride * height, 0xee);  // fill bytes 0xee
  Le32(width, height).copy(bytes, 0);
  for (let i = 0; i < 256; i++) bytes.set([i, 255 - i, (i * 7) & 0xff, 0x5a], 8 + 4 * i);
  for (let y = 0; y < height; y++)
    for (let x = 0; x < width; x++) bytes[1032 + y * stride + x] = (x + 3 * y) & 0xff;
  return bytes;
}

// A named-entry archive of entries { name: Buffer, width, height } (the
// first one is given the name's bytes as stored), each with a palette of its
// own, behind a Palette entry.
function NamedEntryArchive(entries) {
  const all = [{ name: Buffer.from('Palette'), width: 16, height: 16 }, ...entries];
  const records = Buffer.concat(all.map((e) => Buffer.concat([e.name, Buffer.alloc(1), Le32(0)])));
  const head = Buffer.concat([Le32(all.length), records]);
  const bodies = [];
  let offset = head.length, at = 4;
  for (const entry of all) {
    at += entry.name.length + 1;
    head.writeUInt32LE(offset, at);
    at += 4;
    const picture = QkzPicture(entry.width, entry.height);
    const palette = Buffer.alloc(768);
    for (let i = 0; i < 256; i++) palette.set(picture.subarray(8 + 4 * i, 11 + 4 * i), 3 * i);
    const body = Buffer.concat([Le32(entry.width, entry.height), Buffer.from([1]), palette, picture.subarray(1032)]);
    bodies.push(body);
    offset += body.length;
  }
  return Buffer.concat([head, ...bodies]);
}

async function LoadEngine() {
  const engineDir = path.join(root, 'build/web');
  const KorvoEngine = require(path.join(engineDir, 'korvo_engine.js'));
  const module = await KorvoEngine({
    wasmBinary: fs.readFileSync(path.join(engineDir, 'korvo_engine.wasm')), print: () => {}, printErr: () => {},
  });
  const { KorvoApi } = require(path.join(root, 'web/engine_api.js'));
  return { module, api: KorvoApi(module) };
}

// Runs the table of cases, each an async function; prints and counts failures.
async function RunCases(title, cases) {
  let failed = 0;
  for (const [name, run] of cases) {
    try {
      await run();
    } catch (failure) {
      failed += 1;
      console.log(`FAIL ${title}: ${name}: ${failure.stack || failure}`);
    }
  }
  if (process.env.KORVO_TEST_VERBOSE) cases.forEach(([name]) => console.log('  ' + name));
  console.log(`${title}: ${cases.length - failed} of ${cases.length} passed`);
  return failed;
}

module.exports = { root, Korvo, Scratch, ReadPng, ReadZip, Le32, QkzPicture, NamedEntryArchive, LoadEngine, RunCases };
