// The page's worker: runs the engine on the files the page hands it. Each
// File is mounted through WORKERFS, which reads it in slices, so an archive
// of gigabytes is never read into memory: a listing reads its directory, a
// thumbnail the rows it samples, a view the one picture. Requests run one at
// a time, in the order they came.
'use strict';

let api = null, fs = null, engine = null;
const files = new Map();  // the page's id -> { handle, folder }
const reads = { bytes: 0, calls: 0 };

async function Start(wasm) {
  const module = await KorvoEngine({ wasmBinary: wasm, print: () => {}, printErr: () => {} });
  engine = module;
  api = KorvoApi(module);
  fs = module.FS;
  fs.mkdir('/in');
  // Every byte read from a File, for the page's figures and the benchmark.
  const workerfs = fs.filesystems.WORKERFS;
  const read = workerfs.stream_ops.read;
  workerfs.stream_ops.read = function (...args) {
    const count = read.apply(this, args);
    reads.bytes += count;
    reads.calls += 1;
    return count;
  };
}

function Open(id, file) {
  const folder = '/in/' + id;
  fs.mkdir(folder);
  fs.mount(fs.filesystems.WORKERFS, { blobs: [{ name: 'file', data: file }] }, folder);
  const opened = api.open(folder + '/file', file.name);
  if (opened.error) {
    Unmount(folder);
    return { error: opened.error };
  }
  files.set(id, { handle: opened.handle, folder });
  return { listing: api.listing(opened.handle) };
}

function Unmount(folder) {
  fs.unmount(folder);
  fs.rmdir(folder);
}

function Close(id) {
  const file = files.get(id);
  if (!file) return {};
  api.close(file.handle);
  Unmount(file.folder);
  files.delete(id);
  return {};
}

function HandleOf(id) {
  const file = files.get(id);
  if (!file) throw new Error('the file is no longer open');
  return file.handle;
}

// Pixels go to the page without a copy.
function WithPixels(answer) {
  return answer.error ? answer : { ...answer, transfer: [answer.pixels.buffer] };
}

// The entry as an indexed PNG, and the name korvo extract gives it.
async function Png(id, index, name) {
  const decoded = api.decode(HandleOf(id), index, false);
  if (decoded.error) return decoded;
  const blob = await EncodeIndexedPng(decoded.width, decoded.height, decoded.pixels, decoded.palette);
  return { blob, name };
}

// A ZIP of the chosen entries of each file ({ id, indices, folder }), named
// as korvo extract names them; entries that fail are left out, each with its line.
async function Zip(groups) {
  const entries = [], failures = [];
  for (const group of groups) {
    const handle = HandleOf(group.id);
    const names = api.outputNames(handle, group.indices);
    if (names.error) {
      failures.push({ id: group.id, error: names.error });
      continue;
    }
    for (let i = 0; i < group.indices.length; i++) {
      const index = group.indices[i];
      if (names[i] === '') {
        failures.push({ id: group.id, index, error: 'its name is not valid cp932, so it has no file name' });
        continue;
      }
      const png = await Png(group.id, index, names[i]);
      if (png.error) {
        failures.push({ id: group.id, index, error: png.error });
        continue;
      }
      entries.push({ name: group.folder + names[i], data: new Uint8Array(await png.blob.arrayBuffer()) });
    }
  }
  return { blob: entries.length ? ZipStored(entries) : null, count: entries.length, failures };
}

async function Answer(message) {
  switch (message.type) {
    case 'start': await Start(message.wasm); return {};
    case 'open': return Open(message.id, message.file);
    case 'close': return Close(message.id);
    case 'thumbnail': return WithPixels(api.thumbnail(HandleOf(message.id), message.index, message.size));
    case 'view': return WithPixels(api.decode(HandleOf(message.id), message.index, true));
    case 'png': {
      const names = api.outputNames(HandleOf(message.id), [message.index]);
      if (names.error) return names;
      if (names[0] === '') return { error: 'its name is not valid cp932, so it has no file name' };
      return Png(message.id, message.index, names[0]);
    }
    case 'zip': return Zip(message.groups);
    case 'reads': return { ...reads };
  }
  return { error: 'unknown request ' + message.type };
}

// Thumbnails wait behind everything else, so that a click is answered at
// once even while a screenful of tiles is still being drawn.
const urgent = [], background = [];
let running = false;

async function Pump() {
  if (running) return;
  running = true;
  while (urgent.length || background.length) {
    const message = urgent.length ? urgent.shift() : background.shift();
    let answer;
    try {
      answer = await Answer(message);
    } catch (failure) {
      answer = { error: String((failure && failure.message) || failure) };
    }
    const transfer = answer.transfer || [];
    delete answer.transfer;
    // What was read from the Files, and the engine's memory, with every answer.
    const memory = engine ? engine.HEAPU8.length : 0;
    self.postMessage({ serial: message.serial, reads: { ...reads, memory }, ...answer }, transfer);
  }
  running = false;
}

self.onmessage = (event) => {
  const message = event.data;
  (message.type === 'thumbnail' && message.size <= 256 ? background : urgent).push(message);
  Pump();
};
