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
// Per routine: three points, the second refused by the routines with a status
// (every routine's own arguments are checked by accuracy.test.mjs).
const CASES = {
  LLA84toEFG84: [51.5, -0.1, 1000, 91, 0, 0, -33.9, 151.2, -50],
  AERtoLLA84: [180, 45, 10000, 10, 20, 0, 359.9, -2, 2e6],
  AERtoEFG84: [180, 45, 10000, 0, 90, 0, 12.5, 3, 1e5],
  EFG84toAER: [3984081.75, -0.00002, 4966764.58, 0, 0, 0, 1e6, 2e6, -3e6],
  DEGtoDMS: [1.23, -0.5, 51.47222222],
};

test('numbers, Float64Array and Site agree; refused points throw or give NaN', async () => {
  for (const [name, flat] of Object.entries(CASES)) {
    const site = /^(AERto[LE]|EFG84toAER)/.test(name) ? SITE : [];
    const per = flat.length / 3, points = [0, 1, 2].map((k) => flat.slice(per * k, per * k + per));
    const one = (p) => gc[name](...p, ...site, { errors: 'nan' });
    const batch = Array.from(gc[name](new Float64Array(flat), ...site, { errors: 'nan' }));
    assert.deepEqual(batch, points.flatMap(one), name);
    if (site.length) assert.deepEqual(Array.from(new gc.Site(...SITE)[name](new Float64Array(flat), { errors: 'nan' })), batch);
    if (!one(points[1]).every(Number.isNaN)) continue;  // a routine that never refuses
    assert.throws(() => gc[name](new Float64Array(flat), ...site), (e) => e instanceof ConversionError &&
                  e.index === 1 && e.routine === name && e.message === e.libraryMessage.trimEnd());
  }
  const site = new gc.Site(...SITE), other = await load(await readFile(new URL('../geoconv.wasm', import.meta.url)));
  assert.deepEqual([site.valid, site.latitude, site.longitude, site.altitude], [true, ...SITE]);
  assert.deepEqual([site.E, site.F, site.G], other.LLA84toEFG84(...SITE));
  assert.throws(() => new gc.Site(90.5, 0, 0), { name: 'ConversionError', message: '(LLA84toEFG84) problem: lat>90' });
  const invalid = new gc.Site(NaN, 0, 0, { errors: 'nan' });
  assert.deepEqual([invalid.valid, invalid.EFG84toAER(1, 2, 3)], [false, [NaN, NaN, NaN]]);
  assert.throws(() => invalid.EFG84toAER(1, 2, 3, { errors: 'throw' }), ConversionError);
});

test('bad arguments throw TypeError or RangeError; texts are read as bytes', () => {
  for (const [call, type] of [
    [() => gc.LLA84toEFG84('51', 0, 0), TypeError], [() => gc.AERtoLLA84(1, 2, 3, 51, 0), TypeError],
    [() => gc.LLA84toEFG84(new Float64Array(4)), RangeError], [() => gc.LLA84toEFG84(1, 2, 3, 'nan'), TypeError],
    [() => gc.LLA84toEFG84(1, 2, 3, { errors: 'ignore' }), RangeError], [() => gc.atan2d(1), TypeError],
    [() => new gc.Site(1, 2), TypeError], [() => gc.STRtoINT(42, 0, 1), TypeError], [() => gc.STRtoINT('42', 0, 1.5), RangeError],
    [() => gc.convertLines('lla2xyz', '1 2 3'), RangeError], [() => gc.convertLines('aer2lla', '1 2 3'), TypeError],
    [() => gc.convertLines('lla2efg', '1 2 3', { decimals: 21 }), RangeError],
  ]) assert.throws(call, type, call.toString());
  assert.deepEqual([gc.STRtoINT('é12', 0, 3), gc.STRtoINT('12\u000034', 0, 4)], [12, 0]);
});

test('constants are the doubles of geoconv.h', async () => {
  const header = await readFile(new URL('../../geoconv/include/geoconv/geoconv.h', import.meta.url), 'utf8');
  const defined = [...header.matchAll(/#define GEOCONV_(\w+) \(?(-?[\d.e]+)\)?/g)].filter(([, name]) => !name.startsWith('FAULT_'));
  assert.equal(defined.length, Object.keys(constants).length);
  for (const [, name, text] of defined) assert.equal(constants[name], Number(text), name);
});
