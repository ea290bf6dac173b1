// The page in Debian's Chromium, headless, driven by puppeteer-core. The
// page's files are answered from the tree by request interception, so no
// server runs and any other request fails the test. A person's steps: load,
// convert a point, a bad point, many lines, then open #demo, whose report
// must be the demonstration program's standard error exactly (GEOCONV_DEMO,
// default the build/test one). GEOCONV_SCREENSHOT=FILE saves a picture.

import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import test from 'node:test';
import puppeteer from 'puppeteer-core';

const ROOT = fileURLToPath(new URL('../../', import.meta.url));
const ORIGIN = 'http://geoconv.test';
const DEMO = process.env.GEOCONV_DEMO ?? join(ROOT, 'build/test/demo/geoconv-demo');
const TYPES = { html: 'text/html', mjs: 'text/javascript', css: 'text/css', wasm: 'application/wasm' };

test('the page converts a point and lines, plots them and shows the report', { timeout: 120000 }, async () => {
  const profile = mkdtempSync(join(tmpdir(), 'geoconv-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true, userDataDir: profile, timeout: 60000,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
  const problems = [];
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 1000 });
    page.on('pageerror', (e) => problems.push(e.message));
    page.on('console', (m) => m.type() === 'error' && problems.push(m.text()));
    await page.setRequestInterception(true);
    page.on('request', (request) => {
      const path = new URL(request.url()).pathname;
      const file = join(ROOT, path);
      if (!request.url().startsWith(ORIGIN) || !/^\/(web|js)\/[\w./-]+$/.test(path) || path.includes('..') || !existsSync(file)) {
        problems.push(`request for ${request.url()}`);
        return request.abort();
      }
      return request.respond({ status: 200, contentType: TYPES[path.split('.').pop()], body: readFileSync(file) });
    });

    await page.goto(`${ORIGIN}/web/index.html`);
    await page.waitForSelector('body[data-ready]', { timeout: 30000 });
    const text = (selector) => page.$eval(selector, (e) => e.textContent);

    // One point, geodetic to Earth-fixed: the library's doubles, in full.
    await page.select('#command', 'lla2efg');
    for (const [name, value] of [['a', '51.47222222'], ['b', '0'], ['c', '10']]) {
      await page.$eval(`#point input[name=${name}]`, (e, v) => { e.value = v; }, value);
    }
    await page.click('#point button');
    assert.match(await text('#result'), /E \(m\)3981053\.1787552065F \(m\)0G \(m\)4966421\.008340718/);
    await page.$eval('#point input[name=a]', (e) => { e.value = '91'; });
    await page.click('#point button');
    assert.equal(await text('#result .error'), 'LLA84toEFG84: (LLA84toEFG84) problem: lat>90');
    await page.$eval('#point input[name=a]', (e) => { e.value = '5 1'; });
    await page.click('#point button');
    assert.match(await text('#result .error'), /^lat \(deg\): enter a number/);

    // Many lines seen from the site: the converter's lines, ERROR included,
    // and the converted targets on the scope.
    await page.select('#command', 'aer2lla');
    await page.$eval('#lines textarea', (e) => { e.value = '180 45 10000\nx 1 2\n# note\n90 -1 60000'; });
    await page.click('#lines button');
    assert.equal(await text('#lines-out'), "51.452856805 -0.000000000 7082.262787\nERROR: not a number: 'x'\n" +
                 '# note\n51.471926921 0.263174224 -951.323671\n');
    assert.equal(await text('#lines-summary'), '4 lines, 1 ERROR.');
    assert.equal(await page.$$eval('#scope .target', (e) => e.length), 2);
    assert.equal(await page.$$eval('#scope .target.below', (e) => e.length), 1);
    if (process.env.GEOCONV_SCREENSHOT) {
      await page.$eval('#point input[name=a]', (e) => { e.value = '300'; });
      await page.click('#point button');
      await page.screenshot({ path: process.env.GEOCONV_SCREENSHOT, fullPage: true });
    }

    await page.goto(`${ORIGIN}/web/index.html#demo`);
    await page.waitForSelector('body[data-ready]', { timeout: 30000 });
    assert.equal(await page.$eval('#demo-box', (e) => e.open), true);
    const report = await text('#demo');
    if (existsSync(DEMO)) {
      const native = spawnSync(DEMO, [], { timeout: 30000, maxBuffer: 1 << 20, encoding: 'utf8' });
      assert.equal(report, native.stderr);
    } else {
      assert.match(report, /^All these coordinate transformations/);  // no native program to compare with
    }
    assert.deepEqual(problems, []);
  } finally {
    await browser.close();
    rmSync(profile, { recursive: true, force: true });
  }
});
