// The page in headless Chromium, its files answered from the tree by request
// interception (no server; any other request fails the test): a point, a
// refused point, a bad field, many lines, the scope, refused decimals, an
// invalid site, then #demo against the demonstration program's standard
// error (GEOCONV_DEMO) and a conversion of six numbers in and out.
// GEOCONV_SCREENSHOT=FILE saves a picture of the page.

import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import test from 'node:test';
import puppeteer from 'puppeteer-core';

const ROOT = fileURLToPath(new URL('../../', import.meta.url));
const DEMO = process.env.GEOCONV_DEMO ?? join(ROOT, 'build/test/demo/geoconv-demo');
const TYPES = { html: 'text/html', mjs: 'text/javascript', css: 'text/css', wasm: 'application/wasm' };

test('the page converts a point and lines, plots them and shows the report', { timeout: 120000 }, async () => {
  const profile = mkdtempSync(join(tmpdir(), 'geoconv-chromium-'));
  const browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: true, userDataDir: profile,
    timeout: 60000, args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'] });
  const problems = [];
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 1000 });
    page.on('pageerror', (e) => problems.push(e.message));
    await page.setRequestInterception(true);
    page.on('request', (request) => {
      const { origin, pathname } = new URL(request.url());
      const file = join(ROOT, pathname);
      if (origin !== 'http://geoconv.test' || !/^\/(web|js)\/[\w.-]+$/.test(pathname) || !existsSync(file)) {
        problems.push(`request for ${request.url()}`);
        return request.abort();
      }
      return request.respond({ contentType: TYPES[pathname.split('.').pop()], body: readFileSync(file) });
    });
    const open = (hash) => page.goto(`http://geoconv.test/web/index.html${hash}`)
      .then(() => page.waitForSelector('body[data-ready]', { timeout: 30000 }));
    const text = (selector) => page.$eval(selector, (e) => e.textContent);
    const point = async (...values) => {  // fills the first fields and converts
      for (const [k, v] of values.entries()) await page.$eval(`#point input[name=${'abcdef'[k]}]`, (e, x) => { e.value = x; }, v);
      await page.click('#point button');
    };

    await open('');
    await page.select('#command', 'lla2efg');
    await point('51.47222222', '0', '10');
    assert.match(await text('#result'), /E \(m\)3981053\.1787552065F \(m\)0G \(m\)4966421\.008340718/);
    await point('91');
    assert.equal(await text('#result .error'), 'LLA84toEFG84: (LLA84toEFG84) problem: lat>90');
    await point('5 1');
    assert.match(await text('#result .error'), /^lat \(deg\): enter a number/);

    await page.select('#command', 'aer2lla');
    await page.$eval('#lines textarea', (e) => { e.value = '180 45 10000\nx 1 2\n# note\n90 -1 60000'; });
    await page.click('#lines button');
    assert.equal(await text('#lines-out'), "51.452856805 -0.000000000 7082.262787\nERROR: not a number: 'x'\n" +
                 '# note\n51.471926921 0.263174224 -951.323671\n');
    assert.equal(await text('#lines-summary'), '4 lines, 1 ERROR.');
    assert.deepEqual(await page.$$eval('#scope .target', (e) => e.map((c) => c.classList.contains('below'))), [false, true]);
    assert.equal(await text('#targets tbody'), 'L1180.00045.00010000.07071.1L490.000-1.00060000.059990.9');
    await page.$eval('#lines input[name=decimals]', (e) => { e.value = '21'; });
    await page.click('#lines button');
    assert.equal(await text('#lines-summary'), 'convertLines: precision must be a whole number from 0 to 20');
    if (process.env.GEOCONV_SCREENSHOT) {
      await point('300', '45', '10000');
      await page.screenshot({ path: process.env.GEOCONV_SCREENSHOT, fullPage: true });
    }
    await page.$eval('#site input[name=lat]', (e) => { e.value = '91'; e.dispatchEvent(new Event('input')); });
    await point('180', '45', '10000');
    assert.deepEqual([await text('#site-error'), await text('#result .error')],
                     ['(LLA84toEFG84) problem: lat>90', 'AERtoLLA84: (LLA84toEFG84) problem: lat>90']);

    await open('#demo');
    assert.equal(await page.$eval('#demo-box', (e) => e.open), true);
    const native = spawnSync(DEMO, [], { timeout: 30000, maxBuffer: 1 << 20, encoding: 'utf8' });
    assert.equal(await text('#demo'), native.error ? 'no native demonstration to compare with' : native.stderr);
    // Six numbers in and out, from the valid site again: the target goes on the scope by its place alone.
    await page.$eval('#site input[name=lat]', (e) => { e.value = '51.47222222'; e.dispatchEvent(new Event('input')); });
    await page.click('#clear');
    await page.select('#command', 'efg2aerrates');
    await point('3984081.752697', '-0.00002', '4966764.583483', '100', '200', '-50');
    assert.match(await text('#result'), /range \(ft\)9999\.999999625148azRate \(deg\/s\)-5\.316828666738544.*rangeRate \(ft\/s\)307\.50192143974516$/);
    assert.match(await text('#targets tbody'), /^P\d+180\.00045\.00010000\.07071\.1$/);
    assert.deepEqual(problems, []);
  } finally {
    await browser.close();
    rmSync(profile, { recursive: true, force: true });
  }
});
