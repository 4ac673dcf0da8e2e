// A picture of the page's gallery for the README, taken in headless
// Chromium: the page from out/web/ with FILES opened in it.
//
//   node web/screenshot.js OUTPUT.png FILE...
'use strict';
const path = require('path');
const { Browser, OpenPage, WaitIdle } = require('../tests/web/browser_support');

(async () => {
  const [output, ...files] = process.argv.slice(2);
  const browser = await Browser();
  if (!browser) process.exit(1);
  const { page } = await OpenPage(browser, 'file://' + path.resolve(__dirname, '../out/web/index.html'));
  await page.setViewportSize({ width: 1100, height: 760 });
  await page.setInputFiles('#picker', files.map((file) => path.resolve(file)));
  await WaitIdle(page, () => [...document.querySelectorAll('.tile')].filter((tile) =>
    tile.getBoundingClientRect().top < innerHeight).every((tile) => tile.dataset.thumbnail));
  await page.screenshot({ path: output });
  await browser.close();
})();
