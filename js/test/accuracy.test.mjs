// Every row of the table of expected (native) results through the package:
// statuses and messages exact; values, computed with emscripten's libm, within
// 4 ulps or 1e-12 degree or 1e-8 ft/m, the rounding of Earth-radius-sized
// intermediates (an ulp of 6.4e6 m is 9.3e-10 m) carried through.

import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import test from 'node:test';

import { ConversionError, load } from '../geoconv.mjs';

// Kind of each output, a: angle, l: length; a routine not named is exact.
const KINDS = { LLA84toEFG84: 'lll', EFG84toLLA84: 'aal', AERtoXYZ: 'lll', XYZtoAER: 'aal', AERtoLLA84: 'aal',
                AERtoEFG84: 'lll', EFG84toAER: 'aal', EFG84toEFG72: 'lll' };
const FLOOR = { a: 1e-12, l: 1e-8 };
const bits = new BigInt64Array(1), value = new Float64Array(bits.buffer);
const ordinal = (x) => ((value[0] = x), bits[0] < 0n ? -(bits[0] & 0x7fffffffffffffffn) : bits[0]);
const ulps = (a, b) => (Number.isNaN(a) && Number.isNaN(b) ? 0 : Math.abs(Number(ordinal(a) - ordinal(b))));
const numberOf = (t) => ({ nan: NaN, inf: Infinity, '-inf': -Infinity })[t] ?? Number(t);
const unquote = (t) => JSON.parse(t.replace(/\\x([0-9a-f]{2})/g, '\\u00$1'));

test('every table row: statuses and messages exact, values within the stated bound', async (t) => {
  const gc = await load();
  const table = readFileSync(new URL('../../tests/data/expected.txt', import.meta.url), 'utf8').split('\n')
    .map((line) => ({ line, t: line.match(/"(?:[^"\\]|\\.)*"|\S+/g) ?? [] }))
    .filter(({ t }) => t.length && !t[0].startsWith('#') && t[0] !== 'checksum');
  assert.ok(table.length > 300, 'the table has rows');
  const worst = {};
  let outputs = 0, identical = 0;
  for (const { line, t: [name, ...rest] } of table) {
    const input = rest.slice(0, rest.indexOf('->')), result = rest.slice(rest.indexOf('->') + 1);
    if (name === 'STRtoINT') continue;  // reads text, no arithmetic to differ
    const quoted = result[1]?.startsWith('"');  // STATUS "MESSAGE" first
    const [status, message] = quoted ? [Number(result[0]), unquote(result[1])] : [0, ''];
    const values = result.slice(quoted ? 2 : 0).map(numberOf);
    let got;
    try {
      got = [gc[name](...input.map(numberOf))].flat();
    } catch (error) {
      assert.ok(error instanceof ConversionError && status === 1, `${line}: ${error.message}`);
      assert.equal(error.libraryMessage, message, line);
      continue;
    }
    assert.equal(status, 0, `${line}: converted, the library refuses`);
    got.forEach((v, i) => {
      const u = ulps(v, values[i]), off = Math.abs(v - values[i]);
      assert.ok(u <= 4 || off <= (FLOOR[KINDS[name]?.[i]] ?? 0), `${line}: output ${i} is ${v}, ${u} ulps off`);
      const w = (worst[name] ??= { ulps: 0, off: 0 });
      [w.ulps, w.off, outputs, identical] = [Math.max(w.ulps, u), u > 4 ? Math.max(w.off, off) : w.off, outputs + 1, identical + (u === 0)];
    });
  }
  t.diagnostic(`${identical} of ${outputs} outputs bit-identical to the native build`);
  for (const [name, w] of Object.entries(worst).filter(([, w]) => w.ulps)) {
    t.diagnostic(`${name}: at most ${w.ulps} ulps${w.off ? `; beyond 4 ulps at most ${w.off.toExponential(2)} off` : ''}`);
  }
});
