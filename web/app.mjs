// The page: one conversion at a time, a point typed in or many lines pasted
// (through the converter's own line engine), a site, a plan-view scope of the
// targets entered, and the demonstration's report. Everything is computed by
// the library's WebAssembly build; nothing is fetched but the page's files.

import { ConversionError, load } from '../js/geoconv.mjs';

const $ = (id) => document.getElementById(id);
const element = (tag, className, textContent) => Object.assign(document.createElement(tag), { className, textContent });
const SVG = 'http://www.w3.org/2000/svg';
const MAX_PLOTTED = 5000;
const MAX_SHOWN = 20000;  // output lines put on the page; all of them can be saved

// A quantity as a field shows it: its name and unit, but for the unit of
// AERtoXYZ and XYZtoAER (whatever the range's) and a unit that is the name.
const fieldLabel = ({ name, unit }) => (unit && unit !== 'length' && unit !== name ? `${name} (${unit})` : name);
const names = (quantities) => quantities.map((q) => q.name).join(' ');

// The target a conversion puts on the scope, from what its inputs and outputs
// are: Earth-fixed where the point is a place, so that it stays put when the
// site moves (a direction from the site is fixed to the site it was seen from).
// Only the place is plotted: the first three numbers, not the rates after them.
function targetRule(r) {
  const place = (values) => values.slice(0, 3), ins = names(place(r.inputs)), outs = names(place(r.outputs));
  if (outs === 'E F G') return (i, o) => ({ efg: place(o) });
  if (ins === 'E F G') return (i) => ({ efg: place(i) });
  if (ins === 'az el range') return (i) => ({ aer: place(i), fix: r.site });
  if (outs === 'az el range') return (i, o) => ({ aer: place(o) });
  return null;
}

// Per converter command: its routine, fields, example and target rule.
let views = {};
function viewsOf(routines) {
  return Object.fromEntries(routines.filter((r) => r.command).map((r) => [r.command, {
    routine: r.name, site: r.site, in: r.inputs.map(fieldLabel), out: r.outputs.map(fieldLabel),
    example: r.example.slice(0, r.inputs.length), target: targetRule(r),
  }]));
}

// A decimal number as a person types it; anything else is refused.
const NUMBER = /^[+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?$/;
function readNumber(input, label) {
  const text = input.value.trim();
  if (!NUMBER.test(text)) throw new Error(`${label}: enter a number such as 51.5 or -1.2e3`);
  return Number(text);
}

let gc;
let targets = [];  // {efg: [E, F, G]} or {aer: [az, el, range]}, with a label and a tag
let unplotted = 0; // converted lines beyond the first MAX_PLOTTED, not made targets
let points = 0;    // single points converted, for their tags P1, P2, ...

function view() { return views[$('command').value]; }

function readSite() {
  const form = $('site');
  return [readNumber(form.lat, 'site lat'), readNumber(form.lon, 'site lon'), readNumber(form.alt, 'site alt')];
}

// The site (null while a field is not a number), with what is wrong with it
// shown: such a field, or the library's reason for refusing the site, which
// its conversions give.
function currentSite() {
  let site = null, problem = '';
  try {
    site = new gc.Site(...readSite());
    if (!site.valid) site.AERtoEFG84(0, 0, 0);
  } catch (error) {
    problem = error.message;
  }
  $('site-error').textContent = problem;
  $('site-error').hidden = !problem;
  return site;
}

function showCommand() {
  const v = view();
  const labels = $('point').querySelectorAll('label');
  labels.forEach((label, i) => {
    label.hidden = i >= v.in.length;
    label.querySelector('span').textContent = v.in[i] ?? '';
    label.querySelector('input').value = v.example[i] ?? '';
  });
  $('lines').text.placeholder = `${v.in.join('  ')}\n${v.example.join(' ')}`;
  $('result').replaceChildren();
}

// A target's direction from the site: azimuth, elevation, range (feet).
function direction(target, site) {
  if (target.aer) return target.aer;
  return site ? site.EFG84toAER(...target.efg, { errors: 'nan' }) : [NaN, NaN, NaN];
}

// The target for the scope: Earth-fixed where the point is a place, so that
// it stays put when the site moves.
function targetOf(v, input, output, label, site) {
  if (!v.target) return null;
  const t = v.target(input, output);
  if (t.fix) return site?.valid ? { efg: site.AERtoEFG84(...t.aer), label } : null;
  return { ...t, label };
}

function niceCeiling(x) {
  const p = 10 ** Math.floor(Math.log10(x));
  return [1, 1.5, 2, 2.5, 3, 4, 5, 6, 8, 10].map((m) => m * p).find((v) => v >= x);
}

function svg(name, attributes, text) {
  const e = document.createElementNS(SVG, name);
  for (const [k, v] of Object.entries(attributes)) e.setAttribute(k, v);
  if (text !== undefined) e.textContent = text;
  return e;
}

function drawScope() {
  const site = currentSite();
  const plotted = [];
  for (const t of targets) {
    const [az, el, range] = direction(t, site);
    const ground = range * Math.cos(el * Math.PI / 180);
    if (Number.isFinite(az) && Number.isFinite(ground)) plotted.push({ t, az, el, range, ground });
  }
  // The outer ring a little beyond the farthest target; 100,000 ft when empty.
  const reach = plotted.length ? niceCeiling(1.1 * Math.max(1, ...plotted.map((p) => p.ground))) : 100000;
  const scope = $('scope');
  const shapes = [];
  for (let k = 1; k <= 4; ++k) {
    shapes.push(svg('circle', { class: 'ring', r: 25 * k }));
    const label = (reach * k / 4).toLocaleString('en') + (k === 4 ? ' ft' : '');
    shapes.push(svg('text', { class: 'range-label', x: 1.5, y: -25 * k + 4.5 }, label));
  }
  for (let a = 0; a < 360; a += 30) {
    const s = Math.sin(a * Math.PI / 180), c = Math.cos(a * Math.PI / 180);
    shapes.push(svg('line', { class: 'spoke', x1: 0, y1: 0, x2: 100 * s, y2: -100 * c }));
    const name = { 0: 'N', 90: 'E', 180: 'S', 270: 'W' }[a] ?? String(a);
    shapes.push(svg('text', { x: 110 * s, y: -110 * c + 1.8, 'text-anchor': 'middle' }, name));
  }
  shapes.push(svg('circle', { class: 'site', r: 1.2 }));
  for (const [k, p] of plotted.entries()) {
    const r = (100 * p.ground) / reach, a = p.az * Math.PI / 180;
    const x = r * Math.sin(a), y = -r * Math.cos(a);
    const dot = svg('circle', { class: p.el < 0 ? 'target below' : 'target', cx: x, cy: y, r: 1.8 });
    const where = `az ${p.az.toFixed(3)}°  el ${p.el.toFixed(3)}°  range ${p.range.toFixed(1)}`;
    dot.append(svg('title', {}, `${p.t.label}\n${where}`));
    shapes.push(dot);
    // Few targets: each gets its number beside it (its line's, for lines).
    if (plotted.length <= 30) shapes.push(svg('text', { class: 'tag', x: x + 2.6, y: y + 1.6 }, p.t.tag ?? k + 1));
  }
  scope.replaceChildren(...shapes);
  // The same targets as numbers, the first rows of them, for reading and copying.
  const rows = plotted.slice(0, 30).map((p, k) => {
    const tr = document.createElement('tr');
    for (const cell of [p.t.tag ?? k + 1, p.az.toFixed(3), p.el.toFixed(3), p.range.toFixed(1), p.ground.toFixed(1)]) {
      tr.append(Object.assign(element('td', '', cell), { title: p.t.label }));
    }
    return tr;
  });
  $('targets').tBodies[0].replaceChildren(...rows);
  $('targets').hidden = rows.length === 0;
  const more = unplotted ? ` (the first ${targets.length} of ${targets.length + unplotted})` : '';
  $('scope-summary').textContent = plotted.length === 0 ? 'No targets yet.'
    : `${plotted.length} target${plotted.length === 1 ? '' : 's'}${more}; ` +
      `outer ring ${reach.toLocaleString('en')} ft of horizontal range.`;
}

function convertPoint(event) {
  event.preventDefault();
  const v = view();
  const result = $('result');
  try {
    const inputs = [...$('point').querySelectorAll('input')].slice(0, v.in.length);
    const values = inputs.map((input, i) => readNumber(input, v.in[i]));
    const site = v.site ? currentSite() : null;
    if (v.site && !site) throw new Error('The site above is not valid.');
    const output = v.site ? site[v.routine](...values) : gc[v.routine](...values);
    const rows = v.out.map((label, i) => {
      const tr = document.createElement('tr');
      tr.append(element('td', '', label), element('td', '', String(output[i])));
      return tr;
    });
    const table = document.createElement('table');
    table.append(...rows);
    result.replaceChildren(element('p', 'hint', `${v.routine}(${values.join(', ')})`), table);
    const t = targetOf(v, values, output, `${v.routine} ${values.join(' ')}`, currentSite());
    if (t && targets.length < MAX_PLOTTED) targets.push({ ...t, tag: `P${++points}` });
    drawScope();
  } catch (error) {
    const text = error instanceof ConversionError ? `${error.routine}: ${error.message}` : error.message;
    result.replaceChildren(element('p', 'error', text));
  }
}

function convertLines(event) {
  event.preventDefault();
  const v = view();
  const form = $('lines');
  const out = $('lines-out');
  try {
    // The converter's line engine refuses decimals that the converter refuses, with its reason.
    const siteValues = v.site ? readSite() : undefined;
    const converted = gc.convertLines($('command').value, form.text.value,
                                      { site: siteValues, precision: Number(form.decimals.value) });
    const lines = converted.text.split('\n');
    if (lines.at(-1) === '') lines.pop();
    // Runs of good lines as one text node each, ERROR lines marked.
    const shown = document.createDocumentFragment();
    let run = '';
    for (const line of lines.slice(0, MAX_SHOWN)) {
      if (!line.startsWith('ERROR')) {
        run += `${line}\n`;
        continue;
      }
      shown.append(run, element('span', 'error', `${line}\n`));
      run = '';
    }
    shown.append(run);
    out.replaceChildren(shown);
    out.hidden = lines.length === 0;
    const save = $('lines-save');
    URL.revokeObjectURL(save.href);
    save.href = URL.createObjectURL(new Blob([converted.text], { type: 'text/plain' }));
    save.hidden = lines.length === 0;
    const shownNote = lines.length > MAX_SHOWN ? ` The first ${MAX_SHOWN} are shown.` : '';
    const count = `${lines.length} line${lines.length === 1 ? '' : 's'}`;
    $('lines-summary').textContent = `${count}, ${converted.errors} ERROR.${shownNote}`;
    // The converted points go on the scope, in place of the earlier ones.
    const site = currentSite();
    const inputs = form.text.value.split('\n');
    const good = [...lines.keys()].filter((i) => !/^(ERROR|\s*#|\s*$)/.test(lines[i]));
    unplotted = Math.max(0, good.length - MAX_PLOTTED);
    targets = [];
    good.slice(0, MAX_PLOTTED).forEach((i) => {
      const values = inputs[i].split(/[ \t,]+/).filter(Boolean).map(Number);
      const convert = v.site ? site?.[v.routine] : gc[v.routine];
      const output = convert?.(...values, { errors: 'nan' });
      const t = output && targetOf(v, values, output, `line ${i + 1}: ${inputs[i].trim()}`, site);
      if (t) targets.push({ ...t, tag: `L${i + 1}` });
    });
    drawScope();
  } catch (error) {
    out.hidden = true;
    $('lines-summary').replaceChildren(element('span', 'error', error.message));
  }
}

function showDemo() {
  if (location.hash !== '#demo') return;
  $('demo-box').open = true;
  $('demo-box').scrollIntoView();
}

async function main() {
  try {
    gc = await load();
  } catch (error) {
    $('status').textContent = `The library could not be loaded: ${error.message}`;
    $('status').className = 'error';
    return;
  }
  views = viewsOf(gc.routines);
  // A field for each number of the conversion that takes the most.
  const fields = $('point').querySelectorAll('label'), last = fields[fields.length - 1];
  for (let k = fields.length; k < Math.max(...Object.values(views).map((v) => v.in.length)); ++k) {
    const label = last.cloneNode(true);
    label.querySelector('input').name = String.fromCharCode(97 + k);  // a, b, c, ...
    $('point').querySelector('button').before(label);
  }
  const select = $('command');
  for (const r of gc.routines.filter((c) => c.command)) {
    const option = new Option(`${r.name} (${r.command}): ${names(r.inputs)} → ${names(r.outputs)}`, r.command);
    option.title = r.summary + (r.site ? ', seen from the site' : '');
    select.append(option);
  }
  select.value = 'aer2lla';
  select.disabled = false;
  document.querySelectorAll('button[type=submit]').forEach((b) => { b.disabled = false; });
  select.addEventListener('change', showCommand);
  $('point').addEventListener('submit', convertPoint);
  $('lines').addEventListener('submit', convertLines);
  $('site').addEventListener('input', drawScope);
  $('clear').addEventListener('click', () => { targets = []; unplotted = 0; drawScope(); });
  $('demo').textContent = gc.demoReport();
  window.addEventListener('hashchange', showDemo);
  showCommand();
  drawScope();
  showDemo();
  $('status').textContent = 'Ready. Everything is computed in this page; nothing you enter is sent anywhere.';
  document.body.dataset.ready = 'true';
}

main();
