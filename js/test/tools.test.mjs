// The converter's lines against the native converter (GEOCONV_TOOL): the
// same bytes, ERROR lines included, but for last bits showing at many
// decimals. (The packed tarball's install is package.t's.)

import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';
import test from 'node:test';

import { load } from '../geoconv.mjs';

const TOOL = process.env.GEOCONV_TOOL ?? fileURLToPath(new URL('../../build/test/tools/geoconv', import.meta.url));
const SITE = [51.47222222, -0.5, 10];

test('the native converter\'s lines', { skip: !existsSync(TOOL) && `no ${TOOL}` }, async () => {
  const gc = await load();
  const lines = readFileSync(new URL('lines.txt', import.meta.url), 'utf8');
  const large = [`\uFEFF1 2 ${'3'.repeat(65532)}`, `1 2 ${'3'.repeat(65533)}`, '# '.repeat(40000), '4'.repeat(3 << 20),
                 '51.5 -0.1 1000\n1 2\n'.repeat(70000), 'x'.repeat(70000)].join('\n');
  const runs = gc.routines.filter((r) => r.command).flatMap(({ command, site }) => [0, 6, 20].map((precision) =>
    [command, lines, precision, site])).concat([['lla2efg', large, 6, false]]);
  for (const [command, text, precision, site] of runs) {
    const args = [command, '-p', String(precision), ...(site ? ['--site', SITE.join(',')] : [])];
    const native = spawnSync(TOOL, args, { input: text, timeout: 60000, maxBuffer: 64 << 20, encoding: 'utf8' });
    const ours = gc.convertLines(command, text, { site: site ? SITE : undefined, precision });
    assert.equal(ours.errors, native.stdout.split('\n').filter((l) => l.startsWith('ERROR')).length, args.join(' '));
    const a = ours.text.split('\n'), b = native.stdout.split('\n');
    assert.equal(a.length, b.length, args.join(' '));
    a.forEach((line, i) => {
      const x = line.split(' ').map(Number), y = b[i].split(' ').map(Number);
      const near = (u, j) => Math.abs(u - y[j]) <= Math.max(1e-8, 1e-15 * Math.abs(y[j])) + 10 ** -precision;
      assert.ok(line === b[i] || (x.length === y.length && x.every(near)), `${args.join(' ')}, line ${i + 1}: ${line} | ${b[i]}`);
    });
  }
});
