// The converter's lines against the native converter (GEOCONV_TOOL): the
// same bytes, ERROR lines included, but for last bits showing at many
// decimals. Then `npm pack` gives a tarball that installs offline into an
// empty project and converts there.

import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
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

test('npm pack, then an offline install that converts', { timeout: 120000 }, () => {
  const work = mkdtempSync(join(tmpdir(), 'geoconv-pack-')), app = join(work, 'app');
  const run = (cmd, args, cwd) => execFileSync(cmd, args, { cwd, encoding: 'utf8', timeout: 60000, maxBuffer: 1 << 20,
    env: { ...process.env, npm_config_cache: join(work, 'cache'), npm_config_update_notifier: 'false' } });
  try {
    const [packed] = JSON.parse(run('npm', ['pack', '--json', '--pack-destination', work], new URL('..', import.meta.url)));
    assert.deepEqual(packed.files.map((f) => f.path).sort(), ['README.md', 'geoconv.mjs', 'geoconv.wasm', 'index.d.ts', 'package.json']);
    mkdirSync(app);
    writeFileSync(join(app, 'package.json'), '{"name": "app", "private": true, "type": "module"}');
    run('npm', ['install', '--offline', '--no-audit', '--no-fund', join(work, packed.filename)], app);
    writeFileSync(join(app, 'main.js'), `import { load } from 'geoconv';
      console.log((await load()).LLA84toEFG84(51.47222222, 0, 10).map((v) => v.toFixed(6)).join(' '));`);
    assert.equal(run('node', ['main.js'], app), '3981053.178755 0.000000 4966421.008341\n');
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});
