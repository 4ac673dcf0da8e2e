// The web viewer in Debian's chromium, driven as a user drives it through
// playwright-core: files handed to the page's file input, tiles clicked,
// keys pressed, files saved. Checked against korvo: the gallery's names and
// counts, the viewer's pixels, the saved PNG and ZIP (pixels and extract's
// names), one error line per bad file, and no request leaving the page.
// Skips, saying why, where Chromium cannot start.
//
//   node tests/web/browser_test.js KORVO
'use strict';
const assert = require('assert/strict');
const fs = require('fs');
const http = require('http');
const path = require('path');
const t = require('./support');
const { Browser, OpenPage, WaitIdle, CanvasPixels, Sparse } = require('./browser_support');

const korvo = path.resolve(process.argv[2]);
const page = path.join(t.root, 'out/web/index.html');
const scratch = t.Scratch('browser');
const Korvo = (...args) => t.Korvo(korvo, ...args);
const input = (name) => path.join(scratch, 'in', name);

function Fixtures() {
  fs.mkdirSync(path.join(scratch, 'in'));
  fs.mkdirSync(path.join(scratch, 'jp'));
  const patterns = ['bars', 'arrow', 'rings', 'checker'];
  for (const pattern of patterns) Korvo('sample-picture', '--pattern', pattern, path.join(scratch, `${pattern}.QKZ`));
  const samples = patterns.map((p) => path.join(scratch, `${p}.QKZ`));
  // A picture named in lower case, as users name them.
  fs.copyFileSync(samples[0], input('bars.qkz'));
  Korvo('pack', '--layout', 'offset-table', '-o', input('offset-table.cg'), ...samples);
  Korvo('pack', '--layout', 'named-entry', '-o', input('NAMED-ENTRY.CG'), ...samples);
  // The demo's archive of Japanese names.
  const japanese = [['画像1', 0], ['矢印', 1], ['ﾘﾝｸﾞ', 2]].map(([name, i]) => {
    fs.copyFileSync(samples[i], path.join(scratch, 'jp', `${name}.QKZ`));
    return path.join(scratch, 'jp', `${name}.QKZ`);
  });
  Korvo('pack', '--layout', 'named-entry', '-o', input('japanese.cg'), ...japanese);
  // Damaged and hostile files.
  const picture = t.QkzPicture(4, 2);
  fs.writeFileSync(input('short.QKZ'), picture.subarray(0, 700));
  fs.writeFileSync(input('huge.QKZ'), Buffer.concat([t.Le32(65535, 65519), Buffer.alloc(1024)]));
  fs.writeFileSync(input('foreign.cg'), Buffer.from('GIF89a, no archive'));
  fs.writeFileSync(input('billion.cg'), Buffer.concat([t.Le32(1e9, 8), picture]));
  // An entry of one row of 2 GiB, sparse: its thumbnail needs that row.
  fs.writeFileSync(input('wide.cg'), Buffer.concat([t.Le32(1, 8, 0x7ffffffc, 1)]));
  fs.truncateSync(input('wide.cg'), 8 + 1032 + 0x7ffffffc);
  // More than 2 GiB, sparse: a picture entry and one of 65535x65519.
  Sparse(input('sparse.cg'), [t.QkzPicture(4, 2)]);
}

// korvo extract's files of an archive: { name: decoded PNG }.
function Extracted(archive) {
  const folder = path.join(scratch, 'extract', path.basename(archive));
  Korvo('extract', archive, '-o', folder);
  const files = {};
  for (const name of fs.readdirSync(folder)) files[name] = t.ReadPng(fs.readFileSync(path.join(folder, name)));
  return files;
}

function SamePixels(actual, expected, what) {
  assert.deepEqual([actual.width, actual.height], [expected.width, expected.height], `${what}: size`);
  assert.ok(Buffer.from(actual.rgba).equals(expected.rgba), `${what}: pixels differ`);
}

async function Saved(page, action) {
  const [download] = await Promise.all([page.waitForEvent('download'), action()]);
  const file = path.join(scratch, 'saved-' + download.suggestedFilename());
  await download.saveAs(file);
  return { name: download.suggestedFilename(), bytes: fs.readFileSync(file) };
}

async function Main() {
  const browser = await Browser();
  if (!browser) return 0;
  Fixtures();
  const archives = ['offset-table.cg', 'NAMED-ENTRY.CG', 'japanese.cg', 'sparse.cg'];
  const listed = {}, extracted = {};
  for (const name of archives) {
    listed[name] = JSON.parse(Korvo('list', '--json', input(name))).entries;
    if (name !== 'sparse.cg') extracted[name] = Extracted(input(name));
  }
  const { page: tab, requests, errors } = await OpenPage(browser, 'file://' + page);
  const all = ['bars.qkz', ...archives, 'short.QKZ', 'huge.QKZ', 'foreign.cg', 'billion.cg', 'wide.cg'];
  await tab.setInputFiles('#picker', all.map(input));
  await WaitIdle(tab, () => document.querySelectorAll('section').length === 6 && document.querySelectorAll('#errors li').length === 4);
  // Thumbnails are drawn as tiles come into view: bring the last file's.
  await tab.locator('.tile[data-name="00000008.QKZ"]').scrollIntoViewIfNeeded();
  await WaitIdle(tab, () => document.querySelectorAll('#errors li').length === 5);
  const sections = await tab.evaluate(() => [...document.querySelectorAll('section')].map((section) => ({
    title: section.querySelector('h2').firstChild.textContent.trim(),
    tiles: [...section.querySelectorAll('.tile')].map((tile) => tile.dataset.name),
  })));
  const cases = [];
  cases.push(['the gallery holds every file that opens, its names and counts as korvo list gives them', () => {
    assert.deepEqual(sections.map((s) => s.title).sort(), ['bars.qkz', ...archives, 'wide.cg'].sort());
    for (const section of sections.filter((s) => archives.includes(s.title)))
      assert.deepEqual(section.tiles, listed[section.title].map((e) => e.name), section.title);
    assert.deepEqual(sections.find((s) => s.title === 'bars.qkz').tiles, ['bars.qkz']);
  }]);
  cases.push(['each bad file gets one line naming it and what is wrong', async () => {
    const lines = await tab.evaluate(() => [...document.querySelectorAll('#errors li')].map((l) => l.textContent));
    assert.deepEqual(lines.sort(), [
      "billion.cg: neither a QKZ picture nor an archive of either layout (offset-table: an entry starts before the one before it; named-entry: an entry's position lies at or past the end of the file)",
      "foreign.cg: neither a QKZ picture nor an archive of either layout (offset-table: an entry's position lies at or past the end of the file; named-entry: the file ends inside a field or the rows)",
      'huge.QKZ: the file ends inside the picture (1032 of 4293854216 bytes)',
      "short.QKZ: the file ends inside the picture's head (700 of 1032 bytes)",
      // Its row does not fit in the engine's memory: one line, and the page goes on.
      'wide.cg: 00000008.QKZ: out of memory',
    ]);
  }]);
  cases.push(['the viewer shows every entry as korvo extract decodes it, going through them by keyboard', async () => {
    for (const archive of ['offset-table.cg', 'japanese.cg']) {
      const index = all.indexOf(archive);
      await tab.click(`section:nth-of-type(${sections.findIndex((s) => s.title === archive) + 1}) .tile >> nth=0`);
      for (let i = 0; i < listed[archive].length; i++) {
        if (i > 0) await tab.keyboard.press('ArrowRight');
        await WaitIdle(tab);
        const shown = await CanvasPixels(tab, '#picture');
        const entry = listed[archive][i];
        assert.equal(shown.entry, entry.name, `${archive}: entry ${i}`);
        if (entry.name === 'Palette.QKZ') {
          assert.match(await tab.textContent('#note'), /^The Palette entry is no picture to view/);
          assert.deepEqual([shown.width, shown.height], [16, 16]);
          continue;
        }
        const file = entry.name.replace(/\.QKZ$/, '.png');
        SamePixels(shown, extracted[archive][file], `${archive}: ${entry.name}`);
      }
      assert.ok(index >= 0);
      await tab.keyboard.press('Escape');
    }
  }]);
  cases.push(['a picture file is viewed as korvo convert decodes it; 1 shows it at 100%, F fits it', async () => {
    await tab.click('.tile[data-name="bars.qkz"]');
    await WaitIdle(tab);
    const converted = path.join(scratch, 'bars-converted.png');
    Korvo('convert', input('bars.qkz'), '-o', converted);
    SamePixels(await CanvasPixels(tab, '#picture'), t.ReadPng(fs.readFileSync(converted)), 'bars.qkz');
    await tab.keyboard.press('1');
    assert.equal(await tab.evaluate(() => document.getElementById('picture').getBoundingClientRect().width), 250);
    assert.equal(await tab.getAttribute('.stage', 'class'), 'stage actual');
    await tab.keyboard.press('f');
    assert.equal(await tab.getAttribute('.stage', 'class'), 'stage fit');
  }]);
  cases.push(['S saves the viewed entry as a PNG named and decoded as extract writes it', async () => {
    await tab.keyboard.press('Escape');
    const japanese = sections.findIndex((s) => s.title === 'japanese.cg') + 1;
    await tab.click(`section:nth-of-type(${japanese}) .tile >> nth=3`);
    await WaitIdle(tab);
    const saved = await Saved(tab, () => tab.keyboard.press('s'));
    assert.equal(saved.name, 'ﾘﾝｸﾞ.png');
    SamePixels(t.ReadPng(saved.bytes), extracted['japanese.cg']['ﾘﾝｸﾞ.png'], saved.name);
    assert.equal(t.ReadPng(saved.bytes).type, 3, 'indexed, palette kept');
    await tab.keyboard.press('Escape');
  }]);
  cases.push(['the selection saves as a ZIP of extract\'s PNGs', async () => {
    const japanese = sections.findIndex((s) => s.title === 'japanese.cg') + 1;
    for (const nth of [1, 3]) await tab.click(`section:nth-of-type(${japanese}) .tile >> nth=${nth}`, { modifiers: ['Control'] });
    const saved = await Saved(tab, () => tab.click('#save-selection'));
    assert.equal(saved.name, 'japanese.zip');
    const files = t.ReadZip(saved.bytes);
    assert.deepEqual(Object.keys(files), ['画像1.png', 'ﾘﾝｸﾞ.png']);
    for (const [name, bytes] of Object.entries(files)) SamePixels(t.ReadPng(bytes), extracted['japanese.cg'][name], name);
  }]);
  cases.push(['everything saves as a ZIP, each file\'s PNGs in a folder of its name', async () => {
    const saved = await Saved(tab, () => tab.click('#save-all'));
    assert.equal(saved.name, 'korvo-pictures.zip');
    const files = t.ReadZip(saved.bytes);
    const expected = ['bars/bars.png'];
    for (const archive of ['offset-table.cg', 'NAMED-ENTRY.CG', 'japanese.cg'])
      for (const name of Object.keys(extracted[archive])) expected.push(`${archive.replace(/\.[^.]*$/, '')}/${name}`);
    expected.push('sparse/00000010.png');
    assert.deepEqual(Object.keys(files).sort(), expected.sort());
    for (const [name, bytes] of Object.entries(files)) {
      const [folder, file] = name.split('/');
      const archive = archives.find((a) => a.replace(/\.[^.]*$/, '') === folder);
      if (archive && extracted[archive]) SamePixels(t.ReadPng(bytes), extracted[archive][file], name);
    }
    // The 65535x65519 entry is too large to save; it says so.
    const lines = await tab.evaluate(() => [...document.querySelectorAll('#errors li')].map((l) => l.textContent));
    assert.ok(lines.includes('sparse.cg: 00000420.QKZ: too large for this page: 65535x65519 pixels (it takes up to 67108864 pixels, 32767 a side)'), lines.join('\n'));
  }]);
  cases.push(['the sparse archive of 4 GiB is read only where its directory and thumbnails lie', async () => {
    const reads = await tab.evaluate(() => reads.bytes);
    assert.ok(reads < 400e6, `read ${reads} bytes`);
    // Its 65535x65519 entry is viewed as its thumbnail, reading nothing more.
    const sparse = sections.findIndex((s) => s.title === 'sparse.cg') + 1;
    await tab.click(`section:nth-of-type(${sparse}) .tile >> nth=1`);
    await WaitIdle(tab, () => document.getElementById('note').textContent !== '');
    assert.match(await tab.textContent('#note'), /^too large for this page: 65535x65519 pixels .*; shown as its thumbnail$/);
    assert.equal(await tab.evaluate(() => reads.bytes), reads);
    const shown = await CanvasPixels(tab, '#picture');
    assert.deepEqual([shown.width, shown.height], [128, 128]);
    await tab.keyboard.press('Escape');
  }]);
  cases.push(['gallery thumbnails are korvo thumbnail\'s at 128', async () => {
    const expected = path.join(scratch, 'bars-128.png');
    Korvo('thumbnail', input('bars.qkz'), expected, '--size', '128');
    SamePixels(await CanvasPixels(tab, '.tile[data-name="bars.qkz"] canvas'), t.ReadPng(fs.readFileSync(expected)), 'bars.qkz');
  }]);
  cases.push(['a file dropped on the page opens, and the gallery is walked by keyboard', async () => {
    const bytes = fs.readFileSync(input('bars.qkz')).toString('base64');
    const transfer = await tab.evaluateHandle((data) => {
      const dropped = new DataTransfer();
      dropped.items.add(new File([Uint8Array.from(atob(data), (c) => c.charCodeAt(0))], 'dropped.QKZ'));
      return dropped;
    }, bytes);
    await tab.dispatchEvent('body', 'drop', { dataTransfer: transfer });
    await WaitIdle(tab, () => document.querySelector('.tile[data-name="dropped.QKZ"]'));
    const japanese = sections.findIndex((s) => s.title === 'japanese.cg') + 1;
    await tab.focus(`section:nth-of-type(${japanese}) .tile >> nth=0`);
    await tab.keyboard.press('ArrowRight');
    await tab.keyboard.press('ArrowRight');
    await tab.keyboard.press('Enter');
    await WaitIdle(tab, () => document.getElementById('picture').dataset.entry === '矢印.QKZ');
    SamePixels(await CanvasPixels(tab, '#picture'), extracted['japanese.cg']['矢印.png'], '矢印.QKZ');
    await tab.keyboard.press('Escape');
  }]);
  cases.push(['an archive of 3,000 entries lists them all but makes tiles as they are reached', async () => {
    const count = 3000, picture = t.QkzPicture(1, 1), first = 4 + 4 * count;
    const table = t.Le32(count, ...Array.from({ length: count }, (_, i) => first + i * picture.length));
    fs.writeFileSync(input('many.cg'), Buffer.concat([table, ...Array(count).fill(picture)]));
    await tab.setInputFiles('#picker', [input('many.cg')]);
    await WaitIdle(tab, () => [...document.querySelectorAll('section h2')].some((h) => h.textContent.startsWith('many.cg')));
    const tiles = () => tab.evaluate(() => document.querySelectorAll('section:last-of-type .tile').length);
    assert.equal(await tab.textContent('section:last-of-type h2 small'), 'offset-table archive, 3000 entries, 3,120,004 bytes');
    assert.equal(await tiles(), 240);
    // From the gallery's first entry the viewer steps back to its last,
    // which makes every tile up to it.
    await tab.click('section:first-of-type .tile >> nth=0');
    await tab.keyboard.press('ArrowLeft');
    await WaitIdle(tab, () => document.getElementById('picture').dataset.entry === '002F9778.QKZ');
    assert.equal(await tiles(), 3000);
    await tab.keyboard.press('Escape');
    assert.equal(await tab.evaluate(() => document.activeElement.dataset.name), '002F9778.QKZ');
  }]);
  cases.push(['no request left the page, and no script failed', () => {
    assert.deepEqual(requests.filter((url) => !url.startsWith('blob:') && url !== 'file://' + page), []);
    assert.deepEqual(errors, []);
  }]);
  cases.push(['the page works from a static web server too', async () => {
    const server = http.createServer((request, response) => {
      response.setHeader('Content-Type', 'text/html; charset=utf-8');
      response.end(fs.readFileSync(page));
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    const url = `http://127.0.0.1:${server.address().port}/`;
    const served = await OpenPage(browser, url);
    await served.page.setInputFiles('#picker', [input('bars.qkz')]);
    await WaitIdle(served.page, () => document.querySelector('.tile[data-thumbnail="drawn"]'));
    assert.deepEqual(served.requests.filter((u) => !u.startsWith('blob:')), [url]);
    await served.page.close();
    server.close();
  }]);
  const failed = await t.RunCases('web page in chromium', cases);
  await browser.close();
  fs.rmSync(scratch, { recursive: true, force: true });
  return failed;
}

Main().then((failed) => process.exit(failed === 0 ? 0 : 1), (failure) => {
  console.log(failure.stack || failure);
  process.exit(1);
});
