// The converter's lines and the demonstration's report from the WebAssembly
// build against the native programs (GEOCONV_TOOL and GEOCONV_DEMO, default
// the build/test ones), for every command and several precisions, for
// over-long lines, and for input large enough to be converted in several
// pieces. Lines must be the same byte for byte, ERROR lines included, but
// for two things the platform decides: the sign of a NaN ("-nan" or "nan":
// WebAssembly leaves it open), and the last bits of results, which show when
// numbers are written with many decimals (see accuracy.test.mjs).

import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';
import test from 'node:test';

import { load } from '../geoconv.mjs';

const built = (path) => fileURLToPath(new URL(`../../build/test/${path}`, import.meta.url));
const TOOL = process.env.GEOCONV_TOOL ?? built('tools/geoconv');
const DEMO = process.env.GEOCONV_DEMO ?? built('demo/geoconv-demo');
const SITE = [51.47222222, -0.5, 10];
const gc = await load();

// Runs a native program with a time limit and a cap on what it may print.
function run(program, args, input) {
  const r = spawnSync(program, args, { input, timeout: 60000, maxBuffer: 64 << 20, encoding: 'utf8' });
  if (r.error) throw r.error;
  return r;
}

// Native and WebAssembly output lines agree: the same text, NaN signs aside,
// or the same numbers within last-bit differences and the decimals' rounding.
function assertSameLines(ours, native, decimals, what) {
  const a = ours.replaceAll('-nan', 'nan').split('\n'), b = native.replaceAll('-nan', 'nan').split('\n');
  assert.equal(a.length, b.length, what);
  a.forEach((line, i) => {
    if (line === b[i]) return;
    const x = line.split(' ').map(Number), y = b[i].split(' ').map(Number);
    const near = (u, j) => Math.abs(u - y[j]) <= Math.max(1e-8, 1e-15 * Math.abs(y[j])) + 10 ** -decimals;
    assert.ok(x.length === y.length && x.every(near), `${what}, line ${i + 1}: ${line} | ${b[i]}`);
  });
}

test('every command and precision: the native converter\'s lines', { skip: !existsSync(TOOL) && `no ${TOOL}` }, () => {
  const lines = readFileSync(new URL('lines.txt', import.meta.url), 'utf8');
  for (const { name, site } of gc.commands) {
    for (const decimals of [0, 6, 20]) {
      const args = [name, '-p', String(decimals), ...(site ? ['--site', SITE.join(',')] : [])];
      const native = run(TOOL, args, lines);
      const ours = gc.convertLines(name, lines, { site: SITE, decimals });
      assertSameLines(ours.text, native.stdout, decimals, args.join(' '));
      assert.equal(ours.errors > 0 ? 1 : 0, native.status, args.join(' '));
    }
  }
});

test('long lines and large input: the native converter\'s lines', { skip: !existsSync(TOOL) && `no ${TOOL}` }, () => {
  const many = '51.5 -0.1 1000\n1 2\n'.repeat(70000);  // 1.3 MB, more than one piece
  const text = [`1 2 ${'3'.repeat(65532)}`, `1 2 ${'3'.repeat(65533)}`, '# '.repeat(40000),
                '4'.repeat(3 << 20), many, 'x'.repeat(70000)].join('\n');
  const native = run(TOOL, ['lla2efg'], text);
  const ours = gc.convertLines('lla2efg', text);
  assert.equal(ours.errors, native.stdout.split('\n').filter((l) => l.startsWith('ERROR')).length);
  assertSameLines(ours.text, native.stdout, 6, 'lla2efg');
});

test('the demonstration\'s report, exactly as the program writes it', { skip: !existsSync(DEMO) && `no ${DEMO}` }, () => {
  const native = run(DEMO, []);
  assert.equal(native.stderr.length > 1000, true);
  assert.equal(gc.demoReport(), native.stderr);
});
