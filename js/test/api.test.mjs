// The package's JavaScript surface: the three ways to call a conversion
// (numbers, Float64Array, Site) agree bit for bit, refused points throw or
// give NaN as asked, bad arguments throw the right error, and the constants
// are the C header's.

import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import test from 'node:test';

import { ConversionError, constants, load } from '../geoconv.mjs';

const gc = await load();
const SITE = [51.47222222, -0.5, 10];

// Per routine: points of its inputs, the second of them refused by the library.
const CASES = {
  LLA84toEFG84: [[51.5, -0.1, 1000], [91, 0, 0], [-33.9, 151.2, -50]],
  EFG84toLLA84: [[3981053.18, 0, 4966421.01], [0, 0, 6356752], [-4.6e6, 2.6e6, -3.5e6]],
  AERtoLLA84: [[180, 45, 10000], [10, 20, 0], [359.9, -2, 2e6]],
  AERtoEFG84: [[180, 45, 10000], [0, 90, 0], [12.5, 3, 1e5]],
  EFG84toAER: [[3984081.75, -0.00002, 4966764.58], [3981053.18, 0, 4966421.01], [0, 0, 0]],
  AERtoXYZ: [[180, 45, 10000], [0, 0, 0], [-30, 10, 5]],
  XYZtoAER: [[-1, 1, 0], [0, 0, 0], [3, -4, 12]],
  EFG84toEFG72: [[6378137, 0, 0], [0, 0, 0], [1e6, -2e6, 3e6]],
};

test('numbers, Float64Array and Site give the same bits; refused points throw or give NaN', () => {
  for (const [name, points] of Object.entries(CASES)) {
    const site = name.startsWith('AERto') && name !== 'AERtoXYZ' || name === 'EFG84toAER';
    const extra = site ? SITE : [];
    const one = (p) => gc[name](...p, ...extra, { errors: 'nan' });
    const flat = new Float64Array(points.flat());
    const batch = gc[name](flat, ...extra, { errors: 'nan' });
    assert.deepEqual(Array.from(batch), points.flatMap(one), name);
    if (site) assert.deepEqual(Array.from(new gc.Site(...SITE)[name](flat, { errors: 'nan' })), Array.from(batch), name);
    // Only the routines with a status refuse; the refused point is the second.
    const refused = one(points[1]).every(Number.isNaN);
    if (!refused) continue;
    assert.throws(() => gc[name](flat, ...extra), (e) => e instanceof ConversionError && e.index === 1 &&
                  e.routine === name && e.message === e.libraryMessage.trimEnd() && e.message.startsWith('('));
    assert.throws(() => gc[name](...points[1], ...extra), ConversionError);
  }
  assert.deepEqual(gc.DEGtoDMS(-0.5), [-0, 30, 0]);
  assert.deepEqual(Array.from(gc.DEGtoDMS(new Float64Array([1.5, -0.5]))), [1, 30, 0, -0, 30, 0]);
  assert.deepEqual(Array.from(gc.sind(new Float64Array([30, 90]))), [gc.sind(30), gc.sind(90)]);
});

test('a site: its position and validity, an invalid one refused or kept', async () => {
  const site = new gc.Site(...SITE);
  assert.deepEqual([site.valid, site.latitude, site.longitude, site.altitude], [true, ...SITE]);
  assert.deepEqual([site.E, site.F, site.G], gc.LLA84toEFG84(...SITE));
  assert.throws(() => new gc.Site(90.5, 0, 0), { name: 'ConversionError', message: '(LLA84toEFG84) problem: lat>90' });
  const invalid = new gc.Site(NaN, 0, 0, { errors: 'nan' });
  assert.equal(invalid.valid, false);
  assert.ok(invalid.EFG84toAER(1, 2, 3).every(Number.isNaN));
  assert.throws(() => invalid.EFG84toAER(1, 2, 3, { errors: 'throw' }), ConversionError);
  // Loading from bytes gives a second, independent instance.
  const other = await load(await readFile(new URL('../geoconv.wasm', import.meta.url)));
  assert.deepEqual(other.AERtoLLA84(1, 2, 3, ...SITE), site.AERtoLLA84(1, 2, 3));
});

test('bad arguments throw TypeError or RangeError, never reach the library', () => {
  const bad = [
    [() => gc.LLA84toEFG84('51', 0, 0), TypeError],
    [() => gc.LLA84toEFG84(51, 0), TypeError],
    [() => gc.AERtoLLA84(1, 2, 3, 51, 0), TypeError],
    [() => gc.LLA84toEFG84(new Float64Array(4)), RangeError],
    [() => gc.LLA84toEFG84(1, 2, 3, { errors: 'ignore' }), RangeError],
    [() => gc.LLA84toEFG84(1, 2, 3, 'nan'), TypeError],
    [() => gc.atan2d(1), TypeError],
    [() => new gc.Site(1, 2), TypeError],
    [() => gc.STRtoINT(42, 0, 1), TypeError],
    [() => gc.STRtoINT('42', 0, 1.5), RangeError],
    [() => gc.STRtoINT('42', 0, 2 ** 31), RangeError],
    [() => gc.convertLines('lla2xyz', '1 2 3'), RangeError],
    [() => gc.convertLines('aer2lla', '1 2 3'), TypeError],
    [() => gc.convertLines('lla2efg', '1 2 3', { decimals: 21 }), RangeError],
    [() => gc.convertLines('lla2efg', 7), TypeError],
  ];
  for (const [call, type] of bad) assert.throws(call, type, call.toString());
  // The text is read as bytes up to a zero byte, as the library reads it.
  assert.deepEqual([gc.STRtoINT('é12', 0, 3), gc.STRtoINT('12\u000034', 0, 4)], [12, 0]);
});

test('constants are the doubles of geoconv.h', async () => {
  const header = await readFile(new URL('../../geoconv/include/geoconv/geoconv.h', import.meta.url), 'utf8');
  const defined = [...header.matchAll(/#define GEOCONV_(\w+) \(?(-?[\d.e]+)\)?/g)];
  assert.equal(defined.length, Object.keys(constants).length);
  for (const [, name, text] of defined) assert.equal(constants[name], Number(text), name);
});
