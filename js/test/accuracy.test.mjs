// Every row of the table of expected (native) results through the package,
// the site-relative rows through a Site too: statuses, messages and STRtoINT
// exact; values, computed with emscripten's libm, within 4 ulps or 1e-12
// degree or 1e-8 ft/m, the rounding of Earth-radius-sized intermediates (an
// ulp of 6.4e6 m is 9.3e-10 m) carried through.

import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import test from 'node:test';

import { ConversionError, load } from '../geoconv.mjs';

// The table as its header describes it: ROUTINE INPUT... -> RESULT...,
// numbers (nan, inf, -inf; "unwritten" reads as NaN) and quoted texts with
// the escapes \n, \\, \" and \xHH, read as strings of bytes.
function readTable(text) {
  const escape = (e) => (e === 'n' ? '\n' : e[0] === 'x' ? String.fromCharCode(parseInt(e.slice(1), 16)) : e);
  const value = (t) => (t.startsWith('"') ? t.slice(1, -1).replace(/\\(x[0-9a-f]{2}|.)/g, (_, e) => escape(e))
    : { nan: NaN, inf: Infinity, '-inf': -Infinity }[t] ?? Number(t));
  return text.split('\n').flatMap((line) => {
    const tokens = line.match(/"(?:[^"\\]|\\.)*"|\S+/g) ?? [];
    if (!tokens.length || tokens[0].startsWith('#') || tokens[0] === 'checksum') return [];
    const arrow = tokens.indexOf('->');
    return [{ line, name: tokens[0], inputs: tokens.slice(1, arrow).map(value), results: tokens.slice(arrow + 1).map(value) }];
  });
}

// Beyond 4 ulps, how far off an output may be, by its unit; others are held to 4 ulps.
const FLOOR = { deg: 1e-12, ft: 1e-8, m: 1e-8, length: 1e-8 };
const bits = new BigInt64Array(1), value = new Float64Array(bits.buffer);
const ordinal = (x) => ((value[0] = x), bits[0] < 0n ? -(bits[0] & 0x7fffffffffffffffn) : bits[0]);
const ulps = (a, b) => (Number.isNaN(a) && Number.isNaN(b) ? 0 : Math.abs(Number(ordinal(a) - ordinal(b))));

const gc = await load();
const rows = readTable(readFileSync(new URL('../../tests/data/expected.txt', import.meta.url), 'utf8'));
const routines = new Map(gc.routines.map((r) => [r.name, r]));

test('every table row: statuses and messages exact, values within the stated bound', (t) => {
  assert.ok(rows.length > 300, 'the table has rows');
  const outcome = (line, convert) => {  // the outputs, or the message of a refusal
    try {
      return [convert()].flat();
    } catch (error) {
      assert.ok(error instanceof ConversionError, `${line}: ${error.message}`);
      return error.libraryMessage;
    }
  };
  const worst = {};
  let outputs = 0, identical = 0;
  for (const { line, name, inputs, results } of rows) {
    if (name === 'STRtoINT') {
      const [text, first, last] = inputs;
      assert.equal(gc.STRtoINT(Uint8Array.from(text, (c) => c.charCodeAt(0)), first, last), results[0], line);
      continue;
    }
    const r = routines.get(name);
    const got = outcome(line, () => gc[name](...inputs));
    if (r.site) {
      const site = new gc.Site(...inputs.slice(-3));
      assert.deepEqual(outcome(line, () => site[name](...inputs.slice(0, -3))), got, `${line}: through a Site`);
    }
    const refused = typeof results[1] === 'string';  // STATUS "MESSAGE" OUT...
    assert.equal(typeof got === 'string' ? got : '', refused ? results[1] : '', `${line}: status or message`);
    if (refused && results[0] === 1) continue;
    results.slice(refused ? 2 : 0).forEach((expected, i) => {
      const u = ulps(got[i], expected), off = Math.abs(got[i] - expected);
      assert.ok(u <= 4 || off <= (FLOOR[r.outputs[i].unit] ?? 0), `${line}: output ${i} is ${got[i]}, ${u} ulps off`);
      const w = (worst[name] ??= { ulps: 0, off: 0 });
      [w.ulps, w.off, outputs, identical] = [Math.max(w.ulps, u), u > 4 ? Math.max(w.off, off) : w.off, outputs + 1, identical + (u === 0)];
    });
  }
  t.diagnostic(`${identical} of ${outputs} outputs bit-identical to the native build`);
  for (const [name, w] of Object.entries(worst).filter(([, w]) => w.ulps)) {
    t.diagnostic(`${name}: at most ${w.ulps} ulps${w.off ? `; beyond 4 ulps at most ${w.off.toExponential(2)} off` : ''}`);
  }
});

test('the table\'s points of each routine and base site as one batch, interleaved and one Float64Array per input, free and through a Site: the per-point results, and the first refused point raised as asked', () => {
  const batches = new Map();  // routine and base site -> the points
  for (const { name, inputs } of rows.filter((row) => row.name !== 'STRtoINT')) {
    const per = routines.get(name).inputs.length, key = [name, ...inputs.slice(per)].join(' ');
    if (!batches.has(key)) batches.set(key, { name, site: inputs.slice(per), points: [] });
    batches.get(key).points.push(inputs.slice(0, per));
  }
  for (const { name, site, points } of batches.values()) {
    const convert = site.length ? [gc[name], new gc.Site(...site)[name]] : [gc[name]], base = [site, []];
    const one = points.map((p) => [gc[name](...p, ...site, { errors: 'nan' })].flat());
    let error;  // the first refused point's
    const refused = points.findIndex((p) => { try { gc[name](...p, ...site); } catch (e) { error = e; return true; } });
    const columns = points[0].map((_, k) => Float64Array.from(points, (p) => p[k]));
    convert.forEach((f, i) => {
      const interleaved = f(new Float64Array(points.flat()), ...base[i], { errors: 'nan' });
      assert.deepEqual(Array.from(interleaved), one.flat(), `${name} ${site}: interleaved`);
      const separate = f(...columns, ...base[i], { errors: 'nan' }), count = one[0].length;
      if (columns.length > 1) {
        assert.deepEqual((count > 1 ? separate : [separate]).map((c) => Array.from(c)),
                         one[0].map((_, k) => one.map((o) => o[k])), `${name} ${site}: one Float64Array per input`);
      }
      for (const errors of refused < 0 ? [] : [undefined, 'raise', 'throw']) {
        assert.throws(() => f(...columns, ...base[i], { errors }), (e) => e instanceof ConversionError && e.index === refused &&
                      e.routine === name && e.fault === error.fault && e.message === error.message, `${name} ${site}`);
      }
    });
  }
});

test('random points of the geodetic conversions in one Float64Array give the bits the points give one by one', () => {
  // Angles near multiples of 45 degrees (where sines and cosines change
  // quadrant and their reductions change), tiny ones, any, and oddities;
  // then the Earth-fixed points of these, some coordinates made odd too.
  let seed = 1;
  const random = () => (seed = (seed * 16807) % 2147483647) / 2147483647;
  const pick = (list) => list[Math.floor(random() * list.length)];
  const angle = (turns, oddities) => pick([
    () => (2 * random() - 1) * 45 * turns,
    () => 45 * Math.round((2 * random() - 1) * turns) * (1 + (2 * random() - 1) * 10 ** -(5 + 11 * random())),
    () => (2 * random() - 1) * 10 ** -(3 + 9 * random()),
    () => pick(oddities),
  ])();
  const POINTS = 40000, lla = new Float64Array(3 * POINTS);
  for (let i = 0; i < 3 * POINTS; i += 3) {
    lla.set([angle(2, [0, -0, 90, -90, 91, NaN]), angle(12, [180, -180, Infinity, NaN, 1e300]),
             -1e4 + 1e8 * random() ** 4], i);
  }
  const efg = gc.LLA84toEFG84(lla, { errors: 'nan' }).map((v) => (random() < 0.03 ? pick([0, -0, 1e-3, NaN, Infinity, 1e30]) : v));
  for (const [name, points] of [['LLA84toEFG84', lla], ['EFG84toLLA84', efg]]) {
    const batch = gc[name](points, { errors: 'nan' });
    let differ = 0, first;
    for (let i = 0; i < POINTS; ++i) {
      const one = gc[name](...points.subarray(3 * i, 3 * i + 3), { errors: 'nan' });
      if (!one.every((v, k) => Object.is(v, batch[3 * i + k])) && differ++ === 0) first = [points.subarray(3 * i, 3 * i + 3), one];
    }
    assert.equal(differ, 0, `${name}: ${differ} points differ, the first ${first}`);
  }
});
