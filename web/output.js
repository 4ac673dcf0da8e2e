// The files the viewer saves: an indexed PNG (palette kept, as korvo extract
// writes it) and a ZIP of such files, stored without compression (PNG data
// is compressed already). Deflate comes from the platform's
// CompressionStream, so nothing needs a library.
'use strict';

const kCrcTable = (() => {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; n++) {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  return table;
})();

function Crc32(bytes, crc = 0) {
  crc = ~crc >>> 0;
  for (let i = 0; i < bytes.length; i++) crc = kCrcTable[(crc ^ bytes[i]) & 0xff] ^ (crc >>> 8);
  return ~crc >>> 0;
}

async function Deflate(bytes) {
  const stream = new Blob([bytes]).stream().pipeThrough(new CompressionStream('deflate'));
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

// An 8-bit indexed PNG of width x height indices (width a row) and a palette
// of 256 red, green, blue triples.
async function EncodeIndexedPng(width, height, indices, palette) {
  const raw = new Uint8Array((width + 1) * height);  // each row behind filter byte 0
  for (let y = 0; y < height; y++) raw.set(indices.subarray(y * width, (y + 1) * width), y * (width + 1) + 1);
  const chunks = [];
  const chunk = (type, data) => {
    const out = new Uint8Array(12 + data.length);
    const view = new DataView(out.buffer);
    view.setUint32(0, data.length);
    for (let i = 0; i < 4; i++) out[4 + i] = type.charCodeAt(i);
    out.set(data, 8);
    view.setUint32(8 + data.length, Crc32(out.subarray(4, 8 + data.length)));
    chunks.push(out);
  };
  const head = new Uint8Array(13);
  const headView = new DataView(head.buffer);
  headView.setUint32(0, width);
  headView.setUint32(4, height);
  head.set([8, 3, 0, 0, 0], 8);  // 8 bits, indexed, deflate, adaptive filters, no interlace
  chunk('IHDR', head);
  chunk('PLTE', palette.subarray(0, 768));
  chunk('IDAT', await Deflate(raw));
  chunk('IEND', new Uint8Array(0));
  const signature = new Uint8Array([137, 80, 78, 71, 13, 10, 26, 10]);
  return new Blob([signature, ...chunks], { type: 'image/png' });
}

// A ZIP of `files` ({ name, data: Uint8Array }), stored, names in UTF-8
// (flag bit 11). Refuses what would need ZIP64.
function ZipStored(files) {
  const parts = [], central = [];
  const encoder = new TextEncoder();
  let offset = 0;
  for (const file of files) {
    const name = encoder.encode(file.name);
    const crc = Crc32(file.data), size = file.data.length;
    if (offset + size + 30 + name.length > 0xfffffffe) throw new Error('more than 4 GiB for one ZIP');
    const record = (signature, extra) => {
      const bytes = new Uint8Array(extra + name.length);
      const view = new DataView(bytes.buffer);
      view.setUint32(0, signature, true);
      return { bytes, view };
    };
    const local = record(0x04034b50, 30);
    local.view.setUint16(4, 20, true);        // version needed
    local.view.setUint16(6, 0x0800, true);    // names in UTF-8
    local.view.setUint32(14, crc, true);
    local.view.setUint32(18, size, true);
    local.view.setUint32(22, size, true);
    local.view.setUint16(26, name.length, true);
    local.bytes.set(name, 30);
    const entry = record(0x02014b50, 46);
    entry.view.setUint16(4, 20, true);        // made by
    entry.view.setUint16(6, 20, true);
    entry.view.setUint16(8, 0x0800, true);
    entry.view.setUint32(16, crc, true);
    entry.view.setUint32(20, size, true);
    entry.view.setUint32(24, size, true);
    entry.view.setUint16(28, name.length, true);
    entry.view.setUint32(42, offset, true);
    entry.bytes.set(name, 46);
    parts.push(local.bytes, file.data);
    central.push(entry.bytes);
    offset += local.bytes.length + size;
  }
  const centralSize = central.reduce((sum, bytes) => sum + bytes.length, 0);
  const end = new Uint8Array(22);
  const view = new DataView(end.buffer);
  view.setUint32(0, 0x06054b50, true);
  view.setUint16(8, files.length, true);
  view.setUint16(10, files.length, true);
  view.setUint32(12, centralSize, true);
  view.setUint32(16, offset, true);
  if (files.length > 0xffff) throw new Error('more than 65535 files for one ZIP');
  return new Blob([...parts, ...central, end], { type: 'application/zip' });
}

if (typeof module !== 'undefined') module.exports = { Crc32, EncodeIndexedPng, ZipStored };
