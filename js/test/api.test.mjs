// The package's JavaScript surface over the registry (a Float64Array of any
// routine against its points one by one is accuracy.test.mjs's): a batch of
// many chunks; an invalid site is made and refuses; bad arguments throw the
// right error; the constants and version are the library's; the generated
// index.d.ts declares every routine with the registry's inputs and outputs,
// and TypeScript reads it as calls are written.

import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { access, copyFile, mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import test from 'node:test';
import { promisify } from 'node:util';

import { load } from '../geoconv.mjs';

const gc = await load(await readFile(new URL('../geoconv.wasm', import.meta.url)));
const SITE = [51.47222222, -0.5, 10];
const LATITUDE = '(LLA84toEFG84) problem: lat>90';

test('a batch of many chunks: each point where it belongs, a refused point raised by its index', () => {
  const n = 30000, lat = Float64Array.from({ length: n }, (_, i) => (i === 25000 ? 91 : (i % 181) - 90));
  const lon = lat.map((v, i) => i % 360), alt = lat.map((v, i) => i), nan = { errors: 'nan' };
  const one = Array.from(lat, (v, i) => gc.LLA84toEFG84(v, lon[i], alt[i], nan));
  const interleaved = new Float64Array(3 * n).map((_, i) => [lat, lon, alt][i % 3][Math.floor(i / 3)]);
  assert.deepEqual(Array.from(gc.LLA84toEFG84(interleaved, nan)), one.flat());
  assert.deepEqual(gc.LLA84toEFG84(lat, lon, alt, nan).map((c) => Array.from(c)), [0, 1, 2].map((k) => one.map((p) => p[k])));
  assert.throws(() => gc.LLA84toEFG84(lat, lon, alt), { index: 25000 });
  // One array for every input, and views that overlap, read as copies would be.
  const copy = (a) => Float64Array.from(a), shared = interleaved.subarray(1, n + 1);
  assert.deepEqual(gc.LLA84toEFG84(lat, lat, lat, nan), gc.LLA84toEFG84(copy(lat), copy(lat), copy(lat), nan));
  assert.deepEqual(gc.EFG84toAER(shared, interleaved.subarray(0, n), shared, ...SITE),
                   gc.EFG84toAER(copy(shared), interleaved.slice(0, n), copy(shared), ...SITE));
  // Six numbers in and six out, through a site: the points about the chunks' edges where they belong, in both layouts.
  const site = new gc.Site(...SITE), rates = interleaved.subarray(0, 6 * 9000).map((v, i) => (i % 6 === 2 ? 1e4 + v : v));
  const flat = site.AERratesToEFG84(rates);
  const columns = site.AERratesToEFG84(...[0, 1, 2, 3, 4, 5].map((k) => rates.filter((_, i) => i % 6 === k)));
  for (const i of [0, 8191, 8192, 8999]) {
    const point = site.AERratesToEFG84(...rates.subarray(6 * i, 6 * i + 6));
    assert.deepEqual([Array.from(flat.subarray(6 * i, 6 * i + 6)), columns.map((c) => c[i])], [point, point], `point ${i}`);
  }
});

test('an invalid site is made, and its conversions refuse with the latitude fault; sites stay apart', () => {
  const site = new gc.Site(...SITE);
  assert.deepEqual([site.valid, site.latitude, site.longitude, site.altitude], [true, ...SITE]);
  for (const lat of [90.5, -91, NaN]) {
    const invalid = new gc.Site(lat, 0, 0, { errors: 'nan' });
    assert.deepEqual([invalid.valid, invalid.E, invalid.EFG84toAER(1, 2, 3)], [false, NaN, [NaN, NaN, NaN]]);
    assert.throws(() => invalid.EFG84toAER(1, 2, 3, { errors: 'throw' }), { name: 'ConversionError', message: LATITUDE });
    assert.throws(() => new gc.Site(lat, 0, 0).AERtoLLA84(1, 2, 3), { fault: 1, libraryMessage: `${LATITUDE} \n` });
    assert.deepEqual(site.EFG84toAER(1, 2, 3), gc.EFG84toAER(1, 2, 3, ...SITE));
  }
});

test('bad arguments, and any a call would not use, throw TypeError or RangeError; precision and decimals name one option', () => {
  const f = (n) => new Float64Array(n), site = new gc.Site(...SITE);
  const detached = (n) => { const a = f(n); structuredClone(a.buffer, { transfer: [a.buffer] }); return a; };
  for (const [call, type] of [
    [() => gc.LLA84toEFG84('51', 0, 0), TypeError], [() => gc.AERtoLLA84(1, 2, 3, 51, 0), TypeError],
    [() => gc.LLA84toEFG84(new Float64Array(4)), RangeError], [() => gc.LLA84toEFG84(1, 2, 3, 'nan'), TypeError],
    [() => gc.LLA84toEFG84(f(3), f(3)), TypeError], [() => gc.LLA84toEFG84(f(3), f(3), f(3), f(3)), TypeError],
    [() => gc.LLA84toEFG84(f(3), 0, 0), TypeError], [() => gc.LLA84toEFG84(1, f(3), 0), TypeError],
    [() => gc.LLA84toEFG84(f(2), f(2), f(3)), RangeError], [() => gc.atan2d(f(1), f(2)), RangeError],
    [() => gc.LLA84toEFG84(1, 2, 3, {}, 4), TypeError], [() => gc.LLA84toEFG84(f(3), undefined, {}), TypeError],
    [() => gc.sind(1, 2), TypeError], [() => gc.AERtoLLA84(f(1), f(1), f(1), f(1), 0, 0), TypeError],
    [() => site.AERtoLLA84(f(3), ...SITE), TypeError], [() => site.AERtoLLA84(f(1), f(1), f(1), {}, {}), TypeError],
    [() => gc.LLA84toEFG84(new Float32Array(3)), TypeError], [() => gc.LLA84toEFG84(1, 2, 3, { error: 'nan' }), TypeError],
    [() => new gc.Site(1, 2, 3, {}, 4), TypeError], [() => gc.LLA84toEFG84(detached(3)), TypeError],
    [() => gc.sind(detached(1).subarray(0)), TypeError], [() => site.EFG84toAER(f(2), detached(2), f(2)), TypeError],
    [() => gc.LLA84toEFG84(1, 2, 3, { errors: 'ignore' }), RangeError], [() => gc.atan2d(1), TypeError],
    [() => new gc.Site(1, 2), TypeError], [() => new gc.Site(1, 2, 3, { errors: 'none' }), RangeError],
    [() => gc.STRtoINT(42, 0, 1), TypeError], [() => gc.STRtoINT('42', 0, 1.5), { name: 'RangeError', message: 'STRtoINT: last must be a 32-bit integer, not 1.5' }],
    [() => gc.convertLines('lla2xyz', '1 2 3'), RangeError], [() => gc.convertLines('aer2lla', '1 2 3'), RangeError],
    [() => gc.convertLines('lla2efg', '1 2 3', { site: SITE }), RangeError],
    [() => gc.convertLines('aer2lla', '1 2 3', { site: [1, 2] }), TypeError],
    [() => gc.convertLines('lla2efg', '1 2 3', { precision: 21 }), RangeError],
    [() => gc.convertLines('lla2efg', '1 2 3', { decimals: 2 ** 32 + 6 }), RangeError],
    [() => gc.EFG84toAERrates(1, 2, 3, 4, 5, 6), TypeError], [() => site.EFG84toAERrates(1, 2, 3, 4, 5, 6, 7), TypeError],
    [() => site.AERratesToEFG84(f(3), f(3), f(3)), TypeError], [() => site.AERratesToEFG84(f(9)), RangeError],
    [() => gc.convertLines('efg2aerrates', '1 2 3 4 5 6'), RangeError],
  ]) assert.throws(call, type, call.toString());
  assert.deepEqual([gc.STRtoINT('é12', 0, 3), gc.STRtoINT('12\u000034', 0, 4)], [12, 0]);
  const lines = (options) => gc.convertLines('lla2efg', '51.5 0 0', options).text;
  assert.equal(lines({ decimals: 2 }), lines({ precision: 2 }));
  assert.notEqual(lines({ decimals: 2 }), lines({}));
});

test('the constants are the doubles of geoconv.h, the version the package\'s', async () => {
  const header = await readFile(new URL('../../geoconv/include/geoconv/geoconv.h', import.meta.url), 'utf8');
  // The constants are the macros with a decimal point (not the codes).
  const defined = [...header.matchAll(/#define GEOCONV_(\w+) \(?(-?\d+\.[\d]*(?:e-?\d+)?)\)?/g)];
  assert.deepEqual(Object.fromEntries(defined.map(([, name, text]) => [name, Number(text)])), gc.constants);
  const { version } = JSON.parse(await readFile(new URL('../package.json', import.meta.url), 'utf8'));
  assert.equal(gc.version, version);
});

test('index.d.ts declares every routine with the registry\'s inputs and outputs, and the constants', async () => {
  const types = await readFile(new URL('../index.d.ts', import.meta.url), 'utf8');
  const block = (name) => types.match(new RegExp(`^export interface ${name} \\{\\n([^]*?)^\\}`, 'm'))[1];
  // Each routine's declaration as "name(inputs) -> outputs".
  const declared = (text) => [...text.matchAll(/readonly (\w+): Conversion<\[(.*?)\], (number|\[.*?\])(, BaseSite)?>;$/gm)]
    .map(([, name, params, result, site]) => `${name}(${params}${site ? ', ...BaseSite' : ''}) -> ${result}`);
  const tuple = (qs) => qs.map((q) => `${q.name}: number`).join(', ');
  const expected = (routines, free) => routines.map((r) => `${r.name}(${tuple(r.inputs)}${r.site && free ? ', ...BaseSite' : ''}) -> ` +
    `${r.outputs.length === 1 ? 'number' : `[${tuple(r.outputs)}]`}`);
  assert.deepEqual(declared(block('Geoconv')), expected(gc.routines, true));
  assert.deepEqual(declared(block('Site')), expected(gc.routines.filter((r) => r.site), false));
  assert.deepEqual([...block('Constants').matchAll(/readonly (\w+): number/g)].map(([, name]) => name), Object.keys(gc.constants));
});

// Calls as a program would write them, the wrong ones marked: TypeScript's
// compiler (Debian's node-typescript, which `make js` installs) accepts the
// right ones and refuses each wrong one.
const USES = `import { load, Triple } from './index';
const gc = await load(), a = new Float64Array(3), site = new gc.Site(1, 2, 3, { errors: 'nan' });
const point: [E: number, F: number, G: number] = gc.LLA84toEFG84(1, 2, 3);
const triple: Triple = gc.EFG84toLLA84(1, 2, 3, { errors: 'nan' }), s: number = gc.sind(30) + gc.atan2d(1, 1);
const flat: Float64Array = gc.LLA84toEFG84(a), one: Float64Array = gc.atan2d(a, a);
const columns: [Float64Array, Float64Array, Float64Array] = gc.AERtoLLA84(a, a, a, 4, 5, 6, { errors: 'raise' });
const seen: Triple = site.EFG84toAER(1, 2, 3), free: Triple = gc.AERtoLLA84(1, 2, 3, 4, 5, 6);
const [az, el, range, azRate, elRate, rangeRate]: number[] = site.EFG84toAERrates(1, 2, 3, 4, 5, 6);
const motion: [Float64Array, Float64Array, Float64Array, Float64Array, Float64Array, Float64Array] =
  gc.AERratesToEFG84(a, a, a, a, a, a, 7, 8, 9);
const n: number = gc.constants.WGS84_A + gc.STRtoINT('12', 0, 1) + gc.convertLines('lla2efg', '1 2 3').errors;
// @ts-expect-error
gc.sind('30');
// @ts-expect-error
gc.AERtoLLA84(1, 2, 3);
// @ts-expect-error
site.AERtoLLA84(1, 2, 3, 4, 5, 6);
// @ts-expect-error
site.EFG84toAERrates(1, 2, 3);
// @ts-expect-error
const three: Triple = site.AERratesToEFG84(1, 2, 3, 4, 5, 6);
// @ts-expect-error
gc.LLA84toEFG84(1, 2, 3, { errors: 'ignore' });
// @ts-expect-error
const wrong: number = gc.LLA84toEFG84(1, 2, 3);
`;

test('TypeScript takes index.d.ts, and calls by its declarations', async (t) => {
  const tsc = '/usr/bin/tsc';
  if (!(await access(tsc).then(() => true, () => false))) return t.skip('no tsc (apt-get install node-typescript)');
  const dir = await mkdtemp(join(tmpdir(), 'geoconv-types-'));
  try {
    await copyFile(new URL('../index.d.ts', import.meta.url), join(dir, 'index.d.ts'));
    await writeFile(join(dir, 'uses.ts'), USES);
    const args = ['--noEmit', '--strict', '--target', 'es2022', '--module', 'es2022', '--moduleResolution', 'node',
                  '--lib', 'es2022,dom', join(dir, 'uses.ts')];
    await promisify(execFile)(tsc, args, { timeout: 120000 }).catch((e) => assert.fail(`${e.stdout}${e.stderr}`));
  } finally {
    await rm(dir, { recursive: true, force: true });
  }
});
