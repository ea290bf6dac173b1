// Writes index.d.ts, the package's TypeScript declarations, from the built
// module's description of itself: every routine of the registry as a member
// of Geoconv (and each site routine as a member of Site) under its name,
// with the registry's names for its inputs and outputs, its summary, units
// and worked example; the constants; every unit and every fault's reason.
// What does not come from the registry is written here once. `make js` runs
// it after building geoconv.wasm and before packing:
//
//   node gen-types.mjs [OUTPUT]     (default: index.d.ts beside this file)
//
// The file is rewritten only when its text changes.

import { readFile, writeFile } from 'node:fs/promises';

import { load } from './geoconv.mjs';

const UNITS = { deg: 'degrees', ft: 'feet', m: 'metres', min: 'minutes', s: 'seconds', length: 'a length',
                'deg/s': 'degrees per second', 'ft/s': 'feet per second', 'm/s': 'metres per second' };

// Quantities with their units, those of one unit together:
// "lat, lon (degrees), alt (feet)".
function withUnits(quantities) {
  const groups = [];
  for (const q of quantities) {
    const last = groups.at(-1);
    if (last && last.unit === q.unit) last.names.push(q.name);
    else groups.push({ unit: q.unit, names: [q.name] });
  }
  return groups.map((g) => g.names.join(', ') + (g.unit ? ` (${UNITS[g.unit] ?? g.unit})` : '')).join(', ');
}

// Text in lines of at most 90 characters, broken at spaces.
function wrapped(text) {
  const lines = [''];
  for (const word of text.split(' ')) {
    if (lines.at(-1) && lines.at(-1).length + word.length >= 90) lines.push('');
    lines[lines.length - 1] += (lines.at(-1) ? ' ' : '') + word;
  }
  return lines;
}

// A number as JavaScript writes it, -0 included.
const shown = (v) => (Object.is(v, -0) ? '-0' : String(v));

// A routine's doc comment: its summary, its inputs and outputs with their
// units, whether it refuses points, and its worked example, called as text
// shows it, with the result the module gives.
function comment(r, siteNote, text, result) {
  let about = `${r.summary[0].toUpperCase()}${r.summary.slice(1)}: ${withUnits(r.inputs)}${siteNote} to ` +
              `${r.outputs.length === 1 ? withUnits(r.outputs) : `[${withUnits(r.outputs)}]`}.`;
  if ([...r.inputs, ...r.outputs].some((q) => q.unit === 'length')) about += ' Lengths in any one unit, the results\' in it.';
  if (r.fails) {
    about += ' A point it refuses throws a ConversionError (gives NaN with `{errors: \'nan\'}`): ' +
             `${r.faults.map((f) => `"${f.reason}"`).join(', ')}.`;
  }
  const example = `@example ${text}  // ${Array.isArray(result) ? `[${result.map(shown).join(', ')}]` : shown(result)}`;
  return ['  /**', ...[...wrapped(about), example].map((l) => `   * ${l}`), '   */'].join('\n');
}

// The routine's type: its inputs, then the base site's for a free site
// routine, to its output or its labelled outputs.
function conversion(r, free) {
  const tuple = (qs) => `[${qs.map((q) => `${q.name}: number`).join(', ')}]`;
  const result = r.outputs.length === 1 ? 'number' : tuple(r.outputs);
  return `Conversion<${tuple(r.inputs)}, ${result}${r.site && free ? ', BaseSite' : ''}>`;
}

function declarations(gc) {
  // The worked example's point and base site.
  const point = (r) => r.example.slice(0, r.inputs.length), site = (r) => r.example.slice(r.inputs.length);
  const numbers = (values) => values.map(shown).join(', ');
  const free = gc.routines.map((r) => {
    const note = r.site ? ', then the base site\'s lat, lon (degrees), alt (feet)' : '';
    return `${comment(r, note, `gc.${r.name}(${numbers(r.example)})`, gc[r.name](...r.example))}\n` +
           `  readonly ${r.name}: ${conversion(r, true)};`;
  });
  const members = gc.routines.filter((r) => r.site).map((r) => {
    const text = `new gc.Site(${numbers(site(r))}).${r.name}(${numbers(point(r))})`;
    return `${comment(r, ' seen from this site', text, new gc.Site(...site(r))[r.name](...point(r)))}\n` +
           `  readonly ${r.name}: ${conversion(r, false)};`;
  });
  const constants = Object.entries(gc.constants).map(([name, value]) => `  /** ${shown(value)} */ readonly ${name}: number;`);
  // Every fault a routine may give, by its code, and every unit of a quantity.
  const faults = new Map(gc.routines.flatMap((r) => r.faults.map((f) => [f.code, f.reason])));
  const codes = [...faults].sort(([a], [b]) => a - b).map(([code, reason]) => `${code} "${reason}"`).join(', ');
  const units = [...new Set(gc.routines.flatMap((r) => [...r.inputs, ...r.outputs].map((q) => q.unit)))]
    .sort((a, b) => (a === '') - (b === ''));  // "" (a plain number) last
  return HEAD.replace('FAULTS', () => wrapped(`The fault's code, with the reason it gives: ${codes}.`).join('\n   * ')) + `
/** The library's constants, exactly its doubles. */
export interface Constants {
${constants.join('\n')}
}
` + MIDDLE.replace('UNITS', () => units.map((u) => `"${u}"`).join(', ').replace(/, ([^,]*)$/, ' or $1')) + `
/** A site placed once for many targets: \`new gc.Site(lat, lon, alt)\`. */
export interface Site {
  /** False for a latitude beyond +-90 or NaN: every conversion then fails with the latitude fault. */
  readonly valid: boolean;
  /** The site as given: degrees. */ readonly latitude: number;
  /** The site as given: degrees. */ readonly longitude: number;
  /** The site as given: feet. */ readonly altitude: number;
  /** The site's Earth-fixed position, metres (NaN for an invalid site). */ readonly E: number;
  /** Metres. */ readonly F: number;
  /** Metres. */ readonly G: number;

${members.join('\n')}
}
` + SITE_CONSTRUCTOR + `
export interface Geoconv {
  /** The library's version, e.g. "${gc.version}". */
  readonly version: string;
  readonly constants: Constants;
  /** Every routine of the registry, in its order. */
  readonly routines: readonly Routine[];
  readonly Site: SiteConstructor;

${free.join('\n')}
` + TAIL;
}

const HEAD = `// Types of the geoconv package: coordinate conversions on the WGS 84
// ellipsoid, compiled to WebAssembly from the C++ library. Every routine of
// the library's registry is declared here under its name, with the
// registry's names for its inputs and outputs. Generated by gen-types.mjs
// from the module's description of itself.
//
// Units everywhere: latitude, longitude, azimuth and elevation in decimal
// degrees (latitude positive north, longitude positive east, azimuth
// clockwise from north); altitude and slant range in feet (0.3048 m; an
// altitude is the height above the ellipsoid plus 24.764 m); Earth-fixed
// E, F, G in metres; local x, y, z in the unit of the range; velocities
// Earth-fixed in metres per second and local in feet per second, like a
// range's rate; azimuth and elevation rates in degrees per second.
//
// Every routine takes its numbers and returns its one number or an array of
// its numbers (three, or six for a position with its velocity); or takes a
// Float64Array of many points (their numbers one after another) and returns
// a new Float64Array of their results; or takes one Float64Array for each
// input (all of one length) and returns one new Float64Array for each
// output. A point the library refuses throws a ConversionError (its index
// in a batch), or gives NaN with \`{ errors: 'nan' }\`. An argument the call
// would not use (one too many, numbers mixed with arrays, an unknown option)
// throws a TypeError; Float64Arrays of different lengths a RangeError.

/** Three results, in the order the routine's name gives them. */
export type Triple = [number, number, number];

export interface Options {
  /**
   * 'raise' (default): a refused point throws a ConversionError; 'nan': its
   * results are NaN. 'throw' is another name for 'raise'.
   */
  errors?: 'raise' | 'throw' | 'nan';
}

/** A point the library refused. */
export class ConversionError extends Error {
  /** The library's reason, e.g. "(LLA84toEFG84) problem: lat>90". */
  readonly message: string;
  /** The routine, e.g. "LLA84toEFG84". */
  readonly routine: string;
  /**
   * FAULTS
   */
  readonly fault: number;
  /** The line the library writes to its stream, e.g. "(LLA84toEFG84) problem: lat>90 \\n". */
  readonly libraryMessage: string;
  /** In a Float64Array call: the index of the refused point (the first one). */
  readonly index?: number;
}
`;

const MIDDLE = `
/** An input or output of a routine: its name, and its unit (UNITS). */
export interface Quantity {
  readonly name: string;
  readonly unit: string;
}

/** A routine of the library's registry. */
export interface Routine {
  /** e.g. "LLA84toEFG84". */ readonly name: string;
  /** One line on what it converts. */ readonly summary: string;
  /** The converter's command for it, e.g. "lla2efg", or null. */ readonly command: string | null;
  /** True when the base site's lat, lon (degrees) and alt (feet) follow the point's inputs. */ readonly site: boolean;
  /** True when it can refuse a point. */ readonly fails: boolean;
  readonly inputs: readonly Quantity[];
  readonly outputs: readonly Quantity[];
  /** A worked example's inputs (the base site's last for a site routine). */ readonly example: readonly number[];
  /** The faults it may give, in the order it checks them: each one's code and the reason a ConversionError shows. */
  readonly faults: readonly { readonly code: number; readonly reason: string }[];
}

/** The base site's numbers that follow a point's in the free site routines. */
export type BaseSite = [baseLat: number, baseLon: number, baseAlt: number];

/** A Float64Array for each of the numbers of T. */
export type Columns<T extends number[]> = { [K in keyof T]: Float64Array };

/**
 * A routine: a point's numbers P (then the base site's, S) to its result R
 * (a number, or its numbers: three or six); or a Float64Array of points
 * (their numbers one after another) to a new Float64Array of their results;
 * or a Float64Array for each input, of one length, to a new Float64Array for
 * each output (one output: a Float64Array). With one input the two batch forms
 * are one: its results are one Float64Array, a point's numbers one after
 * another.
 */
export interface Conversion<P extends number[], R extends number | number[], S extends number[] = []> {
  (...args: [...P, ...S, Options?]): R;
  (points: Float64Array, ...args: [...S, Options?]): Float64Array;
  (...args: [...Columns<P>, ...S, Options?]): R extends number[] ? Columns<R> : Float64Array;
}
`;

const SITE_CONSTRUCTOR = `
export interface SiteConstructor {
  /**
   * Places a site at lat, lon (degrees) and alt (feet); a latitude beyond
   * +-90 or NaN gives an invalid site. The options are the default of the
   * site's conversions.
   */
  new (lat: number, lon: number, alt: number, options?: Options): Site;
}
`;

const TAIL = `
  /**
   * The signed integer in bytes first..last (inclusive, from 0) of text, as
   * the library reads it: the bytes given, or a string's UTF-8 form. Reading
   * stops at a zero byte.
   */
  STRtoINT(text: string | Uint8Array, first: number, last: number): number;
  /**
   * Converts text as \`geoconv COMMAND [--site LAT,LON,ALT] [-p PRECISION]\`
   * converts a file: one output line per input line, "ERROR: reason" for a
   * line it cannot read or convert; blank and '#' lines copied. \`decimals\`
   * is another name for \`precision\`. What the converter refuses as its
   * arguments throws a RangeError with its reason.
   */
  convertLines(command: string, text: string,
               options?: { site?: [number, number, number]; precision?: number; decimals?: number }): { text: string; errors: number };
  /** The demonstration program's report, exactly as it writes it. */
  demoReport(): string;
}

/**
 * Loads the WebAssembly module: from geoconv.wasm beside the module by
 * default, or from a URL or path, its bytes, or a compiled module.
 */
export function load(source?: string | URL | ArrayBuffer | ArrayBufferView | WebAssembly.Module): Promise<Geoconv>;
`;

const output = process.argv[2] ?? new URL('./index.d.ts', import.meta.url);
const text = declarations(await load());
if (text !== await readFile(output, 'utf8').catch(() => null)) await writeFile(output, text);
