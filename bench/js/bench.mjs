// Speed of the npm package on Float64Arrays of 1,000,000 points next to
// Cesium (@cesium/engine) and proj4, and next to the native exact loop
// (native.cpp, the library's geoconv_convert_array), in one run: make bench-js.
//
//   MALLOC_MMAP_THRESHOLD_=33554432 MALLOC_TRIM_THRESHOLD_=4294967296 \
//     node --expose-gc bench/js/bench.mjs NATIVE-PROGRAM [--rounds N]
//
// The cases run in interleaved rounds after a warm-up round, so that a slow
// spell of a shared machine falls on every case alike; each keeps its
// fastest round, and only ratios of these are judged. Before each case the
// garbage collector runs and is given a moment to free what it found, so
// that no case pays for the garbage of the one before (Cesium's array call
// makes a million objects). With glibc's malloc told to keep freed memory
// (the variables above), each case's new arrays then land in memory the
// process has touched before, as the native loop's results do: a page fault
// on this virtual machine costs up to tens of microseconds when it is busy,
// which would otherwise swamp every case that returns a new array.
//
// The peers get their best: inputs in the order and units they take
// (longitude first, radians out for Cesium, metres above the ellipsoid),
// prepared before timing; results written to a Float64Array as ours are, or
// Cesium's own array call; proj4 given a point as an object, its fastest
// form. Before timing, each peer's results are checked against ours, so that
// every case computes the same thing.

import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { loadavg, tmpdir } from 'node:os';
import { join } from 'node:path';
import { createInterface } from 'node:readline';

import { Cartesian3, Cartographic, Ellipsoid } from '@cesium/engine';
import proj4 from 'proj4';

import { load } from '../../js/geoconv.mjs';

const POINTS = 1_000_000;
const args = process.argv.slice(2);
const native = args[0];
const rounds = args[1] === '--rounds' ? Number(args[2]) : 7;
if (!native || !(rounds >= 1)) throw new Error('usage: node bench/js/bench.mjs NATIVE-PROGRAM [--rounds N]');

const gc = await load();
const { FEET_TO_METRES, WGS84_HEIGHT_OFFSET } = gc.constants;

// The points: latitude, longitude and altitude uniform over the Earth from
// -1,000 to 40,000 ft (a fixed seed), in each layout and unit.
let seed = 42;
const random = () => {  // mulberry32
  seed = (seed + 0x6d2b79f5) | 0;
  let t = Math.imul(seed ^ (seed >>> 15), 1 | seed);
  t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
  return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
};
const lla = new Float64Array(3 * POINTS);
for (let i = 0; i < POINTS; ++i) {
  lla.set([-89 + 178 * random(), -180 + 360 * random(), -1000 + 41000 * random()], 3 * i);
}
const efg = gc.LLA84toEFG84(lla);
const columns = (a) => [0, 1, 2].map((k) => a.filter((_, i) => i % 3 === k));
const [lat, lon, alt] = columns(lla), [E, F, G] = columns(efg);
const lonLatH = [];  // Cesium's and proj4's order, heights in metres
for (let i = 0; i < POINTS; ++i) lonLatH.push(lon[i], lat[i], alt[i] * FEET_TO_METRES + WGS84_HEIGHT_OFFSET);

const cesium = Ellipsoid.WGS84, cartesian = new Cartesian3(), cartographic = new Cartographic();
const toGeocentric = proj4('EPSG:4326', '+proj=geocent +datum=WGS84 +units=m');

// The site routines on a placed site, over the targets' whole arrays and
// point by point (as the module converted them before they ran in lanes).
const site = new gc.Site(51.47222222, 0, 10);
const aer = site.EFG84toAER(efg);
const pointByPoint = (method, inputs) => {
  const out = new Float64Array(3 * POINTS);
  for (let i = 0; i < 3 * POINTS; i += 3) out.set(site[method](inputs[i], inputs[i + 1], inputs[i + 2]), i);
  return out;
};

// Each case converts every point and returns its results.
const CASES = {
  'ours Site.AERtoLLA84': () => site.AERtoLLA84(aer),
  'ours Site.AERtoLLA84, by point': () => pointByPoint('AERtoLLA84', aer),
  'ours Site.EFG84toAER': () => site.EFG84toAER(efg),
  'ours Site.EFG84toAER, by point': () => pointByPoint('EFG84toAER', efg),
  'ours forward, interleaved': () => gc.LLA84toEFG84(lla),
  'ours forward, columns': () => gc.LLA84toEFG84(lat, lon, alt),
  'Cesium fromDegreesArrayHeights': () => Cartesian3.fromDegreesArrayHeights(lonLatH),
  'Cesium fromDegrees': () => {
    const out = new Float64Array(3 * POINTS);
    for (let i = 0; i < 3 * POINTS; i += 3) {
      Cartesian3.fromDegrees(lonLatH[i], lonLatH[i + 1], lonLatH[i + 2], cesium, cartesian);
      out[i] = cartesian.x; out[i + 1] = cartesian.y; out[i + 2] = cartesian.z;
    }
    return out;
  },
  'proj4 forward': () => {
    const out = new Float64Array(3 * POINTS);
    for (let i = 0; i < 3 * POINTS; i += 3) {
      const { x, y, z } = toGeocentric.forward({ x: lonLatH[i], y: lonLatH[i + 1], z: lonLatH[i + 2] });
      out[i] = x; out[i + 1] = y; out[i + 2] = z;
    }
    return out;
  },
  'ours reverse, interleaved': () => gc.EFG84toLLA84(efg),
  'ours reverse, columns': () => gc.EFG84toLLA84(E, F, G),
  'Cesium cartesianToCartographic': () => {
    const out = new Float64Array(3 * POINTS);
    for (let i = 0; i < 3 * POINTS; i += 3) {
      cartesian.x = efg[i]; cartesian.y = efg[i + 1]; cartesian.z = efg[i + 2];
      cesium.cartesianToCartographic(cartesian, cartographic);
      out[i] = cartographic.longitude; out[i + 1] = cartographic.latitude; out[i + 2] = cartographic.height;
    }
    return out;
  },
  'proj4 inverse': () => {
    const out = new Float64Array(3 * POINTS);
    for (let i = 0; i < 3 * POINTS; i += 3) {
      const { x, y, z } = toGeocentric.inverse({ x: efg[i], y: efg[i + 1], z: efg[i + 2] });
      out[i] = x; out[i + 1] = y; out[i + 2] = z;
    }
    return out;
  },
};

// Each peer's results of point i as ours (E, F, G in metres; lat, lon in
// degrees, alt in feet), which they must match within 1 mm and 1e-9 degree.
const DEGREES = 180 / Math.PI;
const AS_OURS = {
  'Cesium fromDegreesArrayHeights': (r, i) => [r[i].x, r[i].y, r[i].z],
  'Cesium fromDegrees': (r, i) => r.subarray(3 * i, 3 * i + 3),
  'proj4 forward': (r, i) => r.subarray(3 * i, 3 * i + 3),
  'Cesium cartesianToCartographic': (r, i) => [r[3 * i + 1] * DEGREES, r[3 * i] * DEGREES, r[3 * i + 2]],
  'proj4 inverse': (r, i) => [r[3 * i + 1], r[3 * i], r[3 * i + 2]],
};
function check(name, results) {
  const reverse = / (inverse|cartesianToCartographic)/.test(name), ours = reverse ? lla : efg;
  let worst = 0;
  for (let i = 0; i < POINTS; ++i) {
    const got = AS_OURS[name](results, i), want = ours.subarray(3 * i, 3 * i + 3);
    if (reverse) got[2] = (got[2] - WGS84_HEIGHT_OFFSET) / FEET_TO_METRES;
    // Metres and feet by 1e-6, so that 1 mm weighs as 1e-9 degree.
    worst = Math.max(worst, ...[0, 1, 2].map((k) => Math.abs(got[k] - want[k]) * (reverse && k < 2 ? 1 : 1e-6)));
  }
  if (!(worst <= 1e-9)) throw new Error(`${name}: results differ from ours by ${worst} (degrees, or km)`);
}

const dir = mkdtempSync(join(tmpdir(), 'geoconv-bench-js-'));
const pointsFile = join(dir, 'points.f64');
const both = new Float64Array(6 * POINTS);
both.set(lla);
both.set(efg, 3 * POINTS);
writeFileSync(pointsFile, new Uint8Array(both.buffer));

// Per case the least elapsed time and, apart, the least processor time
// (all of Node's threads), in nanoseconds for all the points.
// The native loop: one process for the whole run, a round for each line.
// The native build's one-lane kernels (a loop of the point routine's
// arithmetic), as the module's own calls were measured against before the
// conversions ran in lanes.
const nativeLoop = spawn(native, [pointsFile], {
  stdio: ['pipe', 'pipe', 'inherit'], env: { ...process.env, GEOCONV_ISA: 'scalar' },
});
const nativeLines = createInterface({ input: nativeLoop.stdout })[Symbol.asyncIterator]();
const nativeRound = async () => {
  nativeLoop.stdin.write('\n');
  const { value, done } = await nativeLines.next();
  if (done) throw new Error(`${native} stopped`);
  return JSON.parse(value);
};

const best = {}, cpuBest = {};
const keep = (name, elapsed, processor) => {
  best[name] = Math.min(best[name] ?? Infinity, elapsed);
  cpuBest[name] = Math.min(cpuBest[name] ?? Infinity, processor);
};
const processorNs = () => { const { user, system } = process.cpuUsage(); return (user + system) * 1e3; };
for (let round = 0; round <= rounds; ++round) {  // round 0 warms up and checks
  for (const [name, run] of Object.entries(CASES)) {
    globalThis.gc?.();
    await new Promise((resolve) => setTimeout(resolve, 20));
    const cpu = processorNs(), start = performance.now();
    const results = run();
    const elapsed = (performance.now() - start) * 1e6, processor = processorNs() - cpu;
    if (round > 0) keep(name, elapsed, processor);
    else if (AS_OURS[name]) check(name, results);
  }
  const exact = await nativeRound();
  if (exact.points !== POINTS) throw new Error(`${native} read ${exact.points} points`);
  if (round > 0) {
    keep('native exact loop, forward', ...exact.forward);
    keep('native exact loop, reverse', ...exact.reverse);
  }
}
nativeLoop.stdin.end();
await once(nativeLoop, 'close');
rmSync(dir, { recursive: true });

console.log(`geoconv ${gc.version} in Node ${process.versions.node}, ${POINTS.toLocaleString('en')} points, ` +
            `the least of ${rounds} interleaved rounds; load average ${loadavg()[0].toFixed(1)} at the end` +
            `${process.env.MALLOC_MMAP_THRESHOLD_ ? '' : '; freed memory not kept (see bench.mjs)'}\n`);
const column = (v, width) => v.toFixed(v < 10 ? 3 : 1).padStart(width);
console.log(`${'ns per point'.padEnd(34)} elapsed  processor`);
for (const name of Object.keys(best)) {
  console.log(`${name.padEnd(34)} ${column(best[name] / POINTS, 7)} ${column(cpuBest[name] / POINTS, 10)}`);
}

// Targets judged on elapsed time; the ratio of processor times beside them
// shows how much a busy machine moved them. Cesium's is its faster call.
const TARGETS = [
  ['forward: ours / Cesium', 'ours forward, interleaved', ['Cesium fromDegreesArrayHeights', 'Cesium fromDegrees'], 0.4],
  ['forward: ours / proj4', 'ours forward, interleaved', ['proj4 forward'], 0.3],
  ['reverse: ours / Cesium', 'ours reverse, interleaved', ['Cesium cartesianToCartographic'], 0.8],
  ['reverse: ours / proj4', 'ours reverse, interleaved', ['proj4 inverse'], 0.5],
  ['forward: ours / native exact loop', 'ours forward, interleaved', ['native exact loop, forward'], 1.6],
  ['reverse: ours / native exact loop', 'ours reverse, interleaved', ['native exact loop, reverse'], 1.6],
  ['Site.AERtoLLA84: arrays / by point', 'ours Site.AERtoLLA84', ['ours Site.AERtoLLA84, by point'], 0.5],
  ['Site.EFG84toAER: arrays / by point', 'ours Site.EFG84toAER', ['ours Site.EFG84toAER, by point'], 0.5],
];
console.log(`\n${'ratio'.padEnd(34)} elapsed  processor  target`);
let missed = 0;
for (const [name, ours, peers, target] of TARGETS) {
  const [ratio, cpuRatio] = [best, cpuBest].map((b) => b[ours] / Math.min(...peers.map((p) => b[p])));
  missed += ratio > target;
  console.log(`${name.padEnd(34)} ${column(ratio, 7)} ${column(cpuRatio, 10)}  <= ${target} ${ratio <= target ? 'met' : 'MISSED'}`);
}
console.log(`\n${TARGETS.length - missed} of ${TARGETS.length} targets met`);
