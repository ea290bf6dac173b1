// Every row of the table of expected (native) results through the package,
// the site-relative rows through a Site too, bit for bit: the module has the
// library's own correctly rounded elementary functions, so its results are
// the native build's. And the digests of a million pseudo-random points of
// every routine (tests/data/routines_digest.txt, the native build's).

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


const gc = await load();
const rows = readTable(readFileSync(new URL('../../tests/data/expected.txt', import.meta.url), 'utf8'));
const routines = new Map(gc.routines.map((r) => [r.name, r]));

test('every table row: statuses, messages and values bit for bit', () => {
  assert.ok(rows.length > 300, 'the table has rows');
  const outcome = (line, convert) => {  // the outputs, or the message of a refusal
    try {
      return [convert()].flat();
    } catch (error) {
      assert.ok(error instanceof ConversionError, `${line}: ${error.message}`);
      return error.libraryMessage;
    }
  };
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
    // Object.is tells -0 from 0 and takes NaN for NaN.
    results.slice(refused ? 2 : 0).forEach((expected, i) => assert.ok(Object.is(got[i], expected), `${line}: output ${i} is ${got[i]}`));
  }
});

test('a million pseudo-random points of every routine give the native build\'s digests', () => {
  const text = readFileSync(new URL('../../tests/data/routines_digest.txt', import.meta.url), 'utf8');
  const entries = text.split('\n').filter((l) => l && !l.startsWith('#')).map((l) => l.split(' '));
  const points = Number(entries.find(([key]) => key === 'points')[1]);
  const RANGE = { deg: [-120, 120], ft: [-2e5, 5e7], m: [-8e6, 8e6], length: [-8e6, 8e6],
                  'm/s': [-3e3, 3e3], 'ft/s': [-3e3, 3e3], 'deg/s': [-5, 5] };
  const nan = { errors: 'nan' };
  for (const [name, want] of entries.filter(([key]) => key !== 'points')) {
    const r = routines.get(name), per = r.inputs.length, count = r.outputs.length;
    const units = [...r.inputs.map((q) => q.unit), ...(r.site ? ['deg', 'deg', 'ft'] : [])], all = units.length;
    let state = 2463534242;  // tests/routines_digest.cpp's xorshift and draws
    const next = () => { state = (state ^ (state << 13)) >>> 0; state = (state ^ (state >>> 17)) >>> 0; return (state = (state ^ (state << 5)) >>> 0); };
    const uniform = ([lo, hi]) => { const high = next(), low = next() >>> 11; return lo + (hi - lo) * ((high * 2097152 + low) * 2 ** -53); };
    const inputs = Float64Array.from({ length: points * units.length }, (_, i) => uniform(RANGE[units[i % units.length]] ?? [-1.2, 1.2]));
    let results;
    if (!r.site) {
      results = gc[name](inputs, nan);
    } else {  // a site per point: one call each
      results = new Float64Array(count * points);
      for (let i = 0; i < points; ++i) results.set(gc[name](...inputs.subarray(all * i, all * (i + 1)), nan), count * i);
    }
    const words = new Uint32Array(results.buffer, results.byteOffset, 2 * results.length);
    let hash = 2166136261;
    results.forEach((v, i) => {
      const [low, high] = Number.isNaN(v) ? [0, 0x7ff80000] : [words[2 * i], words[2 * i + 1]];
      hash = Math.imul(hash ^ low, 16777619);
      hash = Math.imul(hash ^ high, 16777619);
    });
    assert.equal((hash >>> 0).toString(16).padStart(8, '0'), want, `${name} over ${points} points (${per} inputs)`);
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
