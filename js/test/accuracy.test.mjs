// The WebAssembly build against the native results of the table of expected
// results (tests/data/expected.txt): every row through the package, the
// site-relative ones also through a Site. Statuses and messages must be the
// library's exactly. Values may differ in their last bits, since the module
// uses emscripten's C library's sine, cosine and arctangents: each must lie
// within 4 ulps of the native value, or within 1e-12 degree (angles) or
// 1e-8 foot or metre (lengths), the rounding of intermediates of Earth-radius
// size (an ulp of 6.4e6 m is 9.3e-10 m) carried through the solution.

import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import test from 'node:test';

import { ConversionError, load } from '../geoconv.mjs';

const TABLE = new URL('../../tests/data/expected.txt', import.meta.url);
// Kind of each output: a (angle, degrees), l (length), n (no floor: exact).
const KINDS = {
  LLA84toEFG84: 'lll', EFG84toLLA84: 'aal', AERtoXYZ: 'lll', XYZtoAER: 'aal', AERtoLLA84: 'aal',
  AERtoEFG84: 'lll', EFG84toAER: 'aal', EFG84toEFG72: 'lll', DEGtoDMS: 'nnl', atan2d: 'a',
};
const FLOOR = { a: 1e-12, l: 1e-8, n: 0 };

const bits = new BigInt64Array(1), value = new Float64Array(bits.buffer);
function ordinal(x) {
  value[0] = x;
  return bits[0] < 0n ? -(bits[0] & 0x7fffffffffffffffn) : bits[0];
}
function ulps(a, b) {
  const d = ordinal(a) - ordinal(b);
  return Number(d < 0n ? -d : d);
}

const numberOf = (t) => ({ nan: NaN, inf: Infinity, '-inf': -Infinity })[t] ?? Number(t);
const unquote = (t) => JSON.parse(t.replace(/\\x([0-9a-f]{2})/g, '\\u00$1'));

function rows() {
  const out = [];
  for (const line of readFileSync(TABLE, 'utf8').split('\n')) {
    const t = line.match(/"(?:[^"\\]|\\.)*"|\S+/g) ?? [];
    if (t.length === 0 || t[0].startsWith('#') || t[0] === 'checksum') continue;
    const arrow = t.indexOf('->');
    const row = { line, name: t[0], in: t.slice(1, arrow), result: t.slice(arrow + 1) };
    if (row.result[1]?.startsWith('"')) {
      row.status = Number(row.result[0]);
      row.message = unquote(row.result[1]);
      row.result = row.result.slice(2);
    }
    out.push(row);
  }
  return out;
}

test('every table row: statuses and messages exact, values within the stated bound', async (t) => {
  const gc = await load();
  const table = rows();
  assert.ok(table.length > 300, 'the table has rows');
  const worst = {};
  let outputs = 0, identical = 0;
  for (const row of table) {
    if (row.name === 'STRtoINT') {
      const [first, last] = row.in.slice(1).map(Number);
      const text = Uint8Array.from(unquote(row.in[0]), (c) => c.charCodeAt(0));
      assert.equal(gc.STRtoINT(text, first, last), Number(row.result[0]), row.line);
      continue;
    }
    const input = row.in.map(numberOf);
    const calls = [() => gc[row.name](...input)];
    if (input.length === 6) {
      calls.push(() => new gc.Site(input[3], input[4], input[5], { errors: 'nan' })[row.name](...input.slice(0, 3), { errors: 'throw' }));
    }
    for (const call of calls) {
      let got;
      try {
        got = [call()].flat();
        assert.equal(row.status ?? 0, 0, `${row.line}: converted, the library refuses`);
      } catch (error) {
        if (!(error instanceof ConversionError)) throw error;
        assert.equal(row.status, 1, `${row.line}: refused with ${error.message}`);
        assert.equal(error.libraryMessage, row.message, row.line);
        continue;
      }
      const kinds = KINDS[row.name] ?? 'n';
      got.forEach((v, i) => {
        const want = numberOf(row.result[i]);
        const u = Number.isNaN(want) && Number.isNaN(v) ? 0 : ulps(v, want);
        const off = Math.abs(v - want);
        ++outputs;
        identical += u === 0;
        const ok = u <= 4 || off <= FLOOR[kinds[i]];
        assert.ok(ok, `${row.line}: output ${i} is ${v}, ${u} ulps and ${off} off`);
        const w = (worst[row.name] ??= { ulps: 0, off: 0 });
        w.ulps = Math.max(w.ulps, u);
        if (u > 4) w.off = Math.max(w.off, off);
      });
    }
  }
  t.diagnostic(`${identical} of ${outputs} outputs bit-identical to the native build`);
  for (const [name, w] of Object.entries(worst)) {
    if (w.ulps > 0) t.diagnostic(`${name}: at most ${w.ulps} ulps` + (w.off ? `; beyond 4 ulps at most ${w.off.toExponential(2)} off` : ''));
  }
});
