// The page: hands dropped or picked files to the worker, shows each file's
// entries as a gallery (thumbnails drawn as tiles come into view), views one
// at 100% or fitted, and saves PNGs and ZIPs. Every failure is one line in
// #errors naming the file (and the entry) and what is wrong.
'use strict';

const kThumbnailSize = 128;
const $ = (id) => document.getElementById(id);

// The worker, made from this page's own text: nothing is fetched.
const worker = new Worker(URL.createObjectURL(
  new Blob([$('worker-source').textContent], { type: 'text/javascript' })));
const answers = new Map();
let serial = 0, pending = 0;
let reads = { bytes: 0, calls: 0 };

function Ask(message, transfer = []) {
  return new Promise((resolve) => {
    message.serial = ++serial;
    answers.set(message.serial, resolve);
    SetPending(+1);
    worker.postMessage(message, transfer);
  });
}

worker.onmessage = (event) => {
  const answer = event.data;
  reads = answer.reads || reads;
  const resolve = answers.get(answer.serial);
  answers.delete(answer.serial);
  SetPending(-1);
  ShowStatus();
  resolve(answer);
};

// How many requests are out, for people (the status line) and tests.
function SetPending(change) {
  pending += change;
  document.body.dataset.pending = String(pending);
}

const started = (() => {
  const text = $('engine-wasm').textContent.trim();
  const binary = atob(text);
  const wasm = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; i++) wasm[i] = binary.charCodeAt(i);
  return Ask({ type: 'start', wasm }, [wasm.buffer]);
})();

const opened = [];  // { id, name, listing, tiles }
let nextId = 0;

function Bytes(count) {
  return count.toLocaleString('en-US') + (count === 1 ? ' byte' : ' bytes');
}

function Megabytes(count) {
  return count < 1e6 ? (count / 1e3).toFixed(1) + ' kB' : (count / 1e6).toFixed(1) + ' MB';
}

function ShowStatus() {
  const entries = opened.reduce((sum, file) => sum + file.tiles.length, 0);
  const total = opened.reduce((sum, file) => sum + file.size, 0);
  $('status').textContent = opened.length === 0 ? '' :
    `${opened.length} ${opened.length === 1 ? 'file' : 'files'}, ${entries} ${entries === 1 ? 'entry' : 'entries'}; ` +
    `${Megabytes(total)} of files, ${Megabytes(reads.bytes)} read from them`;
  $('save-all').disabled = entries === 0;
  $('save-selection').disabled = !document.querySelector('.tile.selected');
}

// One line per failure: the same failure met again (an entry viewed twice)
// adds none.
function AddError(...parts) {
  const text = parts.join(': ');
  if ([...$('errors').children].some((line) => line.textContent === text)) return;
  const line = document.createElement('li');
  line.textContent = text;
  $('errors').append(line);
}

function Element(tag, className, text) {
  const element = document.createElement(tag);
  if (className) element.className = className;
  if (text !== undefined) element.textContent = text;
  return element;
}

// Thumbnails are made as tiles come into view, so an archive of thousands of
// entries costs what the screen shows.
const observer = new IntersectionObserver((seen) => {
  for (const item of seen) {
    if (!item.isIntersecting) continue;
    observer.unobserve(item.target);
    DrawThumbnail(item.target.korvo);
  }
}, { rootMargin: '200px' });

async function DrawThumbnail(tile) {
  const answer = await Ask({ type: 'thumbnail', id: tile.file.id, index: tile.index, size: kThumbnailSize });
  if (answer.error) {
    tile.element.classList.add('failed');
    tile.what.textContent = answer.error;
    AddError(tile.file.name, tile.entry.name, answer.error);
    return;
  }
  const canvas = tile.canvas;
  canvas.width = answer.width;
  canvas.height = answer.height;
  canvas.getContext('2d').putImageData(
    new ImageData(new Uint8ClampedArray(answer.pixels.buffer), answer.width, answer.height), 0, 0);
  tile.element.dataset.thumbnail = 'drawn';
  if (!answer.paletteSwatch) tile.size.textContent += ` · ${answer.pictureWidth}×${answer.pictureHeight}`;
}

// Tiles are made in batches as the end of a file's grid comes near the
// screen: an archive of 100,000 entries would otherwise be a million
// elements before anything shows.
const kTileBatch = 240;
const batches = new IntersectionObserver((seen) => {
  for (const item of seen) if (item.isIntersecting) RenderTiles(item.target.korvo, kTileBatch);
}, { rootMargin: '400px' });

function MakeTile(tile) {
  const { entry } = tile;
  const element = Element('figure', 'tile');
  element.tabIndex = 0;
  element.dataset.name = entry.name;
  const frame = Element('div', 'frame');
  const canvas = Element('canvas');
  canvas.width = canvas.height = 0;
  frame.append(canvas);
  const caption = Element('figcaption');
  const size = Element('span', 'size', Bytes(entry.size));
  const what = Element('span', 'what');
  caption.append(Element('span', 'name', entry.name), size, what);
  if (entry.palette) {
    element.classList.add('palette');
    what.textContent = 'the Palette entry: the 256 colours the other entries share';
  }
  element.append(frame, caption);
  Object.assign(tile, { element, canvas, size, what });
  element.korvo = tile;
  observer.observe(element);
  return element;
}

// Makes `more` further tiles of the file's grid.
function RenderTiles(file, more) {
  const end = Math.min(file.tiles.length, file.rendered + more);
  const made = document.createDocumentFragment();
  for (; file.rendered < end; file.rendered++) made.append(MakeTile(file.tiles[file.rendered]));
  file.grid.append(made);
  if (file.rendered === file.tiles.length) batches.unobserve(file.sentinel);
}

// The tile's element, made first if it is not yet.
function Reach(tile) {
  if (!tile.element) RenderTiles(tile.file, tile.index + 1 - tile.file.rendered + kTileBatch);
  return tile.element;
}

function AddFileSection(file) {
  const section = Element('section');
  const { listing } = file;
  const count = listing.entries.length;
  const kind = listing.kind === 'picture' ? 'QKZ picture'
    : `${listing.layout} archive, ${count} ${count === 1 ? 'entry' : 'entries'}`;
  const heading = Element('h2', '', file.name + ' ');
  heading.append(Element('small', '', `${kind}, ${Bytes(file.size)}`));
  file.grid = Element('div', 'grid');
  file.sentinel = Element('div');
  file.sentinel.korvo = file;
  file.rendered = 0;
  file.tiles = listing.entries.map((entry, index) => ({ file, index, entry }));
  section.append(heading, file.grid, file.sentinel);
  $('gallery').append(section);
  RenderTiles(file, kTileBatch);
  batches.observe(file.sentinel);
}

async function OpenFiles(list) {
  await started;
  const work = [];
  for (const blob of list) {
    const file = { id: ++nextId, name: blob.name, size: blob.size, tiles: [] };
    work.push(Ask({ type: 'open', id: file.id, file: blob }).then((answer) => {
      if (answer.error) {
        AddError(file.name, answer.error);
        return;
      }
      file.listing = answer.listing;
      opened.push(file);
      AddFileSection(file);
      ShowStatus();
    }));
  }
  await Promise.all(work);
}

// Saving: a blob under a name, through the browser's own download.
function Download(blob, name) {
  const link = Element('a');
  link.href = URL.createObjectURL(blob);
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

async function SavePng(tile) {
  const answer = await Ask({ type: 'png', id: tile.file.id, index: tile.index });
  if (answer.error) AddError(tile.file.name, tile.entry.name, answer.error);
  else Download(answer.blob, answer.name);
}

function Stem(name) {
  const dot = name.lastIndexOf('.');
  return dot > 0 ? name.slice(0, dot) : name;
}

// A ZIP of the tiles' entries; with entries of several files, each file's
// PNGs in a folder of its name, as korvo extract -o would put them.
async function SaveZip(tiles) {
  const groups = [];
  for (const tile of tiles) {
    let group = groups.find((g) => g.id === tile.file.id);
    if (!group) groups.push(group = { id: tile.file.id, file: tile.file, indices: [] });
    group.indices.push(tile.index);
  }
  const several = groups.length > 1;
  const answer = await Ask({
    type: 'zip',
    groups: groups.map((g) => ({ id: g.id, indices: g.indices, folder: several ? Stem(g.file.name) + '/' : '' })),
  });
  if (answer.error) {
    AddError('ZIP', answer.error);
    return;
  }
  for (const failure of answer.failures) {
    const file = opened.find((f) => f.id === failure.id);
    const entry = failure.index === undefined ? [] : [file.listing.entries[failure.index].name];
    AddError(file.name, ...entry, failure.error);
  }
  if (answer.blob) Download(answer.blob, several ? 'korvo-pictures.zip' : Stem(groups[0].file.name) + '.zip');
}

function AllTiles() {
  return opened.flatMap((file) => file.tiles);
}

// The viewer.
let viewed = null;

async function View(tile) {
  viewed = tile;
  $('viewer').hidden = false;
  const canvas = $('picture');
  $('caption').textContent = `${tile.file.name}: ${tile.entry.name} (${Bytes(tile.entry.size)})`;
  $('note').textContent = '';
  canvas.classList.toggle('swatch', tile.entry.palette);
  let answer = tile.entry.palette
    ? await Ask({ type: 'thumbnail', id: tile.file.id, index: tile.index, size: kThumbnailSize })
    : await Ask({ type: 'view', id: tile.file.id, index: tile.index });
  if (viewed !== tile) return;
  // A picture too large to decode whole is shown as its gallery thumbnail,
  // already made: reading it again larger would cost gigabytes of reads.
  if (answer.error && answer.error.startsWith('too large for this page') && tile.canvas && tile.canvas.width > 0) {
    canvas.width = tile.canvas.width;
    canvas.height = tile.canvas.height;
    canvas.getContext('2d').drawImage(tile.canvas, 0, 0);
    canvas.dataset.entry = tile.entry.name;
    $('note').textContent = answer.error + '; shown as its thumbnail';
    return;
  }
  if (answer.error) {
    canvas.width = canvas.height = 0;
    $('note').textContent = answer.error;
    AddError(tile.file.name, tile.entry.name, answer.error);
    return;
  }
  canvas.width = answer.width;
  canvas.height = answer.height;
  canvas.getContext('2d').putImageData(
    new ImageData(new Uint8ClampedArray(answer.pixels.buffer), answer.width, answer.height), 0, 0);
  canvas.dataset.entry = tile.entry.name;
  $('note').textContent = tile.entry.palette
    ? `The Palette entry is no picture to view: it holds the 256 colours the archive's other entries share, shown here 16×16. Its stored picture is ${answer.pictureWidth}×${answer.pictureHeight}.`
    : `${answer.pictureWidth}×${answer.pictureHeight}`;
}

function Step(by) {
  const tiles = AllTiles();
  if (!viewed || tiles.length === 0) return;
  const at = (tiles.indexOf(viewed) + by + tiles.length) % tiles.length;
  Reach(tiles[at]).focus();
  View(tiles[at]);
}

function Zoom(actual) {
  const stage = document.querySelector('.stage');
  stage.classList.toggle('fit', !actual);
  stage.classList.toggle('actual', actual);
  $('zoom').textContent = actual ? 'Fit' : '100%';
}

function CloseViewer() {
  $('viewer').hidden = true;
  if (viewed) viewed.element.focus();
  viewed = null;
}

$('previous').onclick = () => Step(-1);
$('next').onclick = () => Step(+1);
$('zoom').onclick = () => Zoom(document.querySelector('.stage').classList.contains('fit'));
$('save-png').onclick = () => viewed && SavePng(viewed);
$('close').onclick = CloseViewer;
$('save-all').onclick = () => SaveZip(AllTiles());
$('save-selection').onclick = () => SaveZip(AllTiles().filter((t) => t.element && t.element.classList.contains('selected')));
$('picker').onchange = (event) => {
  OpenFiles([...event.target.files]);
  event.target.value = '';
};

$('gallery').addEventListener('click', (event) => {
  const element = event.target.closest('.tile');
  if (!element) return;
  if (event.ctrlKey || event.metaKey || event.shiftKey) ToggleSelection(element);
  else View(element.korvo);
});

function ToggleSelection(element) {
  element.classList.toggle('selected');
  element.setAttribute('aria-selected', element.classList.contains('selected'));
  ShowStatus();
}

document.addEventListener('keydown', (event) => {
  if (!$('viewer').hidden) {
    const keys = {
      ArrowRight: () => Step(+1), ArrowDown: () => Step(+1), PageDown: () => Step(+1), ' ': () => Step(+1),
      ArrowLeft: () => Step(-1), ArrowUp: () => Step(-1), PageUp: () => Step(-1),
      Escape: CloseViewer, '1': () => Zoom(true), f: () => Zoom(false), F: () => Zoom(false),
      s: () => SavePng(viewed), S: () => SavePng(viewed),
    };
    if (keys[event.key]) {
      event.preventDefault();
      keys[event.key]();
    }
    return;
  }
  const element = document.activeElement && document.activeElement.closest && document.activeElement.closest('.tile');
  if (!element) return;
  const tiles = AllTiles();
  const at = tiles.indexOf(element.korvo);
  const across = Math.max(1, Math.round(element.parentElement.clientWidth / element.offsetWidth));
  const moves = { ArrowRight: 1, ArrowLeft: -1, ArrowDown: across, ArrowUp: -across };
  if (event.key in moves) {
    event.preventDefault();
    const target = tiles[Math.min(tiles.length - 1, Math.max(0, at + moves[event.key]))];
    Reach(target).focus();
  } else if (event.key === 'Enter') {
    event.preventDefault();
    View(element.korvo);
  } else if (event.key === ' ') {
    event.preventDefault();
    ToggleSelection(element);
  }
});

// Files dropped anywhere on the page.
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  document.body.classList.add('dragging');
});
document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
document.addEventListener('drop', (event) => {
  event.preventDefault();
  document.body.classList.remove('dragging');
  OpenFiles([...event.dataTransfer.files]);
});
