// Chromium through playwright-core for the web viewer's tests and
// benchmark, and the sparse archive of gigabytes they open.
'use strict';
const fs = require('fs');
const path = require('path');
const t = require('./support');

// Debian's chromium, headless; as root it starts only without its sandbox.
// null, with the reason printed, where it cannot start.
async function Browser() {
  let chromium;
  try {
    ({ chromium } = require(path.join(__dirname, 'node_modules/playwright-core')));
  } catch (failure) {
    console.log('web page tests skipped: playwright-core is not installed (scripts/setup installs it)');
    return null;
  }
  try {
    return await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
  } catch (failure) {
    console.log(`web page tests skipped: chromium cannot start (${String(failure.message).split('\n')[0]})`);
    return null;
  }
}

// A new page at `url` that records every request its context makes and
// every script failure or console error.
async function OpenPage(browser, url) {
  const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1280, height: 800 } });
  const requests = [], errors = [];
  context.on('request', (request) => requests.push(request.url()));
  const page = await context.newPage();
  page.on('pageerror', (failure) => errors.push(failure.message));
  page.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
  await page.goto(url);
  return { page, requests, errors };
}

// Waits until `done` holds in the page and no request to its worker is out.
async function WaitIdle(page, done = () => true) {
  await page.waitForFunction(done, null, { timeout: 60000, polling: 50 });
  await page.waitForFunction(() => document.body.dataset.pending === '0', null, { timeout: 60000, polling: 50 });
}

// A canvas's pixels ({ width, height, rgba, entry }), read back whole.
async function CanvasPixels(page, selector) {
  const shown = await page.evaluate((query) => {
    const canvas = document.querySelector(query);
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let binary = '';
    for (let i = 0; i < data.length; i += 0x8000) binary += String.fromCharCode(...data.subarray(i, i + 0x8000));
    return { width: canvas.width, height: canvas.height, rgba: btoa(binary), entry: canvas.dataset.entry };
  }, selector);
  return { ...shown, rgba: Buffer.from(shown.rgba, 'base64') };
}

// An offset-table archive of `pictures` (QKZ bytes) followed by one entry of
// 65535x65519 whose rows are a hole: 4 GiB on the file system's books, a
// few kilobytes on its disk.
function Sparse(file, pictures) {
  const count = pictures.length + 1;
  let at = 4 + 4 * count + 4;
  const offsets = [];
  for (const picture of pictures) {
    offsets.push(at);
    at += picture.length;
  }
  offsets.push(at);
  const head = t.QkzPicture(1, 1).subarray(0, 1032);
  t.Le32(65535, 65519).copy(head, 0);
  fs.writeFileSync(file, Buffer.concat([t.Le32(count, ...offsets), Buffer.alloc(4), ...pictures, head]));
  fs.truncateSync(file, at + 1032 + 65536 * 65519);
  return offsets.map((offset) => offset.toString(16).toUpperCase().padStart(8, '0') + '.QKZ');
}

module.exports = { Browser, OpenPage, WaitIdle, CanvasPixels, Sparse };
