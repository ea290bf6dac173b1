// The packed package: `npm pack` gives a tarball that installs offline into
// an empty project and converts there, types and module included.

import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import test from 'node:test';

const JS = fileURLToPath(new URL('..', import.meta.url));

test('npm pack, then an offline install that converts', { timeout: 120000 }, () => {
  const work = mkdtempSync(join(tmpdir(), 'geoconv-pack-'));
  const run = (cmd, args, cwd) => execFileSync(cmd, args, {
    cwd, encoding: 'utf8', timeout: 60000, maxBuffer: 1 << 20,
    env: { ...process.env, npm_config_cache: join(work, 'cache'), npm_config_update_notifier: 'false' },
  });
  try {
    const [packed] = JSON.parse(run('npm', ['pack', '--json', '--pack-destination', work], JS));
    assert.deepEqual(packed.files.map((f) => f.path).sort(),
                     ['README.md', 'geoconv.mjs', 'geoconv.wasm', 'index.d.ts', 'package.json']);
    const app = join(work, 'app');
    run('mkdir', [app]);
    writeFileSync(join(app, 'package.json'), '{"name": "app", "private": true, "type": "module"}');
    run('npm', ['install', '--offline', '--no-audit', '--no-fund', join(work, packed.filename)], app);
    writeFileSync(join(app, 'main.js'), `import { load } from 'geoconv';
      const gc = await load();
      console.log(gc.LLA84toEFG84(51.47222222, 0, 10).map((v) => v.toFixed(6)).join(' '));`);
    assert.equal(run('node', ['main.js'], app), '3981053.178755 0.000000 4966421.008341\n');
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});
