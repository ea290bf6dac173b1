// geoconv for JavaScript: the library's conversions on the WGS 84 ellipsoid,
// compiled to WebAssembly (geoconv.wasm beside this file), for Node and for
// browsers.
//
//   import { load } from 'geoconv';
//   const gc = await load();
//   const [E, F, G] = gc.LLA84toEFG84(51.47222222, 0, 10);   // deg, deg, ft -> m
//
// Every routine of the library's registry is here under its name, learnt from
// the module's own description of it (gc.routines: inputs and outputs with
// their units, whether it takes a base site, its converter command), with the
// library's constants and version. Units as in the library: angles in
// degrees, altitudes and ranges in feet, Earth-fixed E, F, G in metres,
// velocities in metres per second Earth-fixed and feet per second locally,
// angle rates in degrees per second. A routine takes its numbers and returns
// its one number or an array of its outputs (three, or six with their
// rates); or takes a Float64Array of many points (their numbers one after
// the other) and returns a new Float64Array of their results; or takes one
// Float64Array for each input, all of one length, and returns one for each
// output (an array of them, or the one). Float64Arrays are converted in one call into
// the module for each chunk of points, exactly as point by point. A point the
// library refuses throws a ConversionError whose message is the library's
// reason for the fault (in a batch, the first such point, with its index),
// unless the options say {errors: 'nan'}: its results are then NaN ('raise'
// is the default; 'throw' is another name for it). Arguments of the wrong
// type, and any a call would not use, throw a TypeError (a Float64Array
// whose buffer was transferred too); arguments out of range and
// Float64Arrays of different lengths a RangeError.

const encoder = new TextEncoder();
const decoder = new TextDecoder();

/** A point the library refused: message is the library's reason for the fault. */
export class ConversionError extends Error {
  constructor(routine, fault, reason, libraryMessage, index) {
    super(reason);
    this.name = 'ConversionError';
    this.routine = routine;
    this.fault = fault;
    this.libraryMessage = libraryMessage;
    if (index !== undefined) this.index = index;
  }
}

const CHUNK_BYTES = 1 << 20;            // text handed to the converter at once
const CHUNK_POINTS = 8192;              // points of a Float64Array call converted at once
// The failure modes by the names the options take: 'throw' is the earlier
// name of 'raise', which every binding of the library uses.
const ERRORS = new Map([['raise', 'raise'], ['throw', 'raise'], ['nan', 'nan']]);

function number(value, name) {
  if (typeof value !== 'number') {
    const kind = typeof value === 'object' && value !== null ? value.constructor?.name ?? 'object' : typeof value;
    throw new TypeError(`${name} must be a number, not ${kind}`);
  }
  return value;
}

// A Float64Array whose buffer was transferred reads as empty; it is refused
// rather than converted as no points.
function attached(array, name) {
  if (array.byteLength !== 0) return array;
  try {
    new Uint8Array(array.buffer);  // throws for a detached buffer
  } catch {
    throw new TypeError(`${name} is a Float64Array whose buffer is detached (transferred)`);
  }
  return array;
}

function checkedOptions(options) {
  if (options === null || typeof options !== 'object') throw new TypeError('options must be an object');
  return options;
}

// The errors option; an option of another name is refused rather than ignored.
function errorsOption(options, fallback = 'raise') {
  if (options === undefined) return fallback;
  const unknown = Object.keys(checkedOptions(options)).find((key) => key !== 'errors');
  if (unknown !== undefined) throw new TypeError(`unknown option ${unknown}: the only option is errors`);
  if (options.errors === undefined) return fallback;
  const mode = ERRORS.get(options.errors);
  if (!mode) throw new RangeError(`errors must be 'raise' (or 'throw') or 'nan', not ${options.errors}`);
  return mode;
}

async function wasmBytes(source) {
  if (source instanceof WebAssembly.Module || source instanceof ArrayBuffer || ArrayBuffer.isView(source)) {
    return source;
  }
  const url = source === undefined ? new URL('./geoconv.wasm', import.meta.url) : new URL(source, import.meta.url);
  if (url.protocol === 'file:') {
    const { readFile } = await import('node:fs/promises');
    return readFile(url);
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`geoconv: cannot load ${url}: HTTP ${response.status}`);
  return response.arrayBuffer();
}

/**
 * Loads the WebAssembly module and returns the conversions. source: where
 * geoconv.wasm is (a URL or path, default beside this module), or its bytes,
 * or a compiled WebAssembly.Module.
 */
export async function load(source) {
  let memory, heap, f64;  // the module's memory, and byte and double views of it
  const views = () => { heap = new Uint8Array(memory.buffer); f64 = new Float64Array(memory.buffer); };
  const view = () => (heap.buffer === memory.buffer ? heap : (views(), heap));
  const wasi = {
    // The module writes only to its own memory; anything sent to a file
    // descriptor (an abort message) is dropped.
    fd_write: (fd, iovs, count, written) => {
      const data = new DataView(memory.buffer);
      let total = 0;
      for (let i = 0; i < count; ++i) total += data.getUint32(iovs + 8 * i + 4, true);
      data.setUint32(written, total, true);
      return 0;
    },
    fd_close: () => 0,
    fd_seek: () => 70,  // ESPIPE
    proc_exit: (code) => { throw new Error(`geoconv: the WebAssembly module stopped (${code})`); },
  };
  const imports = { wasi_snapshot_preview1: wasi, env: { emscripten_notify_memory_growth: () => views() } };
  const bytes = await wasmBytes(source);
  const result = await WebAssembly.instantiate(bytes, imports);
  const x = (result.instance ?? result).exports;
  const SITE_BYTES = x.geoconv_site_size();  // sizeof(geoconv_site), as the module has it
  memory = x.memory;
  views();
  x._initialize();

  const outputText = () => {
    const at = x.geoconv_js_output();
    return decoder.decode(view().subarray(at, at + x.geoconv_js_output_length()));
  };
  const cString = (at) => decoder.decode(view().subarray(at, view().indexOf(0, at)));
  // The registry, version and constants, every part of it frozen.
  x.geoconv_js_describe();
  const described = JSON.parse(outputText(), (key, value) => (typeof value === 'object' ? Object.freeze(value) : value));

  // The most numbers any routine of the registry takes for a point, with a
  // base site's three, and gives back.
  const most = (count) => Math.max(...described.routines.map(count));
  const POINT_INPUTS = most((r) => r.inputs.length), INPUTS = most((r) => r.inputs.length + (r.site ? 3 : 0));
  const OUTPUTS = most((r) => r.outputs.length);
  // Scratch space: a point's inputs and a base site's (INPUTS doubles), the
  // outputs (OUTPUTS), then a site's storage.
  const scratch = x.malloc(8 * (INPUTS + OUTPUTS) + SITE_BYTES);
  // Scratch space of the Float64Array calls, reused by each: the input and
  // output columns handed to geoconv_convert_array (32-bit pointers, then
  // strides in doubles: INPUTS of each, then OUTPUTS), then CHUNK points'
  // inputs (POINT_INPUTS doubles each), outputs (OUTPUTS) and faults (a byte).
  const COLUMNS = 8 * (INPUTS + OUTPUTS);
  const batchScratch = x.malloc(COLUMNS + 8 * (POINT_INPUTS + OUTPUTS) * CHUNK_POINTS + CHUNK_POINTS);
  if (scratch === 0 || batchScratch === 0) throw new Error('geoconv: out of memory');
  views();
  const inPtr = scratch, outPtr = inPtr + 8 * INPUTS, sitePtr = outPtr + 8 * OUTPUTS, inAt = inPtr / 8, outAt = outPtr / 8;
  const inPtrs = batchScratch, inStrides = inPtrs + 4 * INPUTS, outPtrs = inStrides + 4 * INPUTS;
  const outStrides = outPtrs + 4 * OUTPUTS;
  const batchIn = batchScratch + COLUMNS, batchOut = batchIn + 8 * POINT_INPUTS * CHUNK_POINTS;
  const faultsPtr = batchOut + 8 * OUTPUTS * CHUNK_POINTS, batchInAt = batchIn / 8, batchOutAt = batchOut / 8;
  const refused = (name, fault, index) =>
    new ConversionError(name, fault, cString(x.geoconv_reason(fault)), cString(x.geoconv_message(fault)), index);

  // Lays out the columns of a batch in the scratch space: input k of a point
  // and output k interleaved (one point's numbers after another's) or each
  // in its own column of CHUNK_POINTS; a base site's numbers (args) repeated
  // for every point.
  function layColumns(per, count, interleaved, siteArgs) {
    const c = new Int32Array(memory.buffer, batchScratch, COLUMNS / 4);
    const [strideAt, outputAt, outStrideAt] = [inStrides, outPtrs, outStrides].map((at) => (at - batchScratch) / 4);
    for (let k = 0; k < per; ++k) {
      c[k] = interleaved ? batchIn + 8 * k : batchIn + 8 * CHUNK_POINTS * k;
      c[strideAt + k] = interleaved ? per : 1;
    }
    for (let k = 0; k < siteArgs.length; ++k) {  // after the points' inputs, stride 0
      f64[inAt + per + k] = siteArgs[k];
      c[per + k] = inPtr + 8 * (per + k);
      c[strideAt + per + k] = 0;
    }
    for (let k = 0; k < count; ++k) {
      c[outputAt + k] = interleaved ? batchOut + 8 * k : batchOut + 8 * CHUNK_POINTS * k;
      c[outStrideAt + k] = interleaved ? count : 1;
    }
  }

  // The routine at this index of the registry as a function: the point's
  // numbers, or a Float64Array of points or one of each input, then the
  // base site's three numbers for a site routine, then options (errors
  // default to fallback). With a site's storage, the routine through that
  // site, which takes no site numbers.
  function conversion(r, index, site, fallback = 'raise') {
    const { name } = r, per = r.inputs.length, count = r.outputs.length;
    const fixed = r.site && !site ? 3 : 0;
    const call = site ? () => x.geoconv_site_convert(sitePtr, index, inPtr, outPtr)
                      : () => x.geoconv_convert(index, inPtr, outPtr);
    const callArray = site
      ? (n) => x.geoconv_site_convert_array(sitePtr, index, n, inPtrs, inStrides, outPtrs, outStrides, faultsPtr, 0)
      : (n) => x.geoconv_convert_array(index, n, inPtrs, inStrides, outPtrs, outStrides, faultsPtr, 0);

    // Float64Arrays of points (one interleaved, or one per input) converted
    // CHUNK_POINTS at a time, each chunk in one call into the module.
    function batch(inputs, siteArgs, mode) {
      const interleaved = inputs.length === 1, n = interleaved ? inputs[0].length / per : inputs[0].length;
      const outputs = interleaved ? [new Float64Array(count * n)] : Array.from({ length: count }, () => new Float64Array(n));
      view();
      layColumns(per, count, interleaved, siteArgs);
      if (site) view().set(site, sitePtr);
      for (let start = 0; start < n; start += CHUNK_POINTS) {
        const m = Math.min(CHUNK_POINTS, n - start);
        if (interleaved) {
          f64.set(inputs[0].subarray(per * start, per * (start + m)), batchInAt);
        } else {
          inputs.forEach((a, k) => f64.set(a.subarray(start, start + m), batchInAt + CHUNK_POINTS * k));
        }
        const failed = callArray(m);
        if (interleaved) {
          outputs[0].set(f64.subarray(batchOutAt, batchOutAt + count * m), count * start);
        } else {
          outputs.forEach((o, k) => o.set(f64.subarray(batchOutAt + CHUNK_POINTS * k, batchOutAt + CHUNK_POINTS * k + m), start));
        }
        for (let i = 0, bytes = view(); failed !== 0 && i < m; ++i) {
          const fault = bytes[faultsPtr + i];
          if (fault === 0) continue;
          if (mode === 'raise') throw refused(name, fault, start + i);
          if (interleaved) outputs[0].fill(NaN, count * (start + i), count * (start + i + 1));
          else outputs.forEach((o) => { o[start + i] = NaN; });
        }
      }
      return interleaved || count === 1 ? outputs[0] : outputs;
    }

    return function (...args) {
      // Leading Float64Arrays: one of interleaved points, or one per input.
      let arrays = 0;
      while (arrays < args.length && args[arrays] instanceof Float64Array) ++arrays;
      if (arrays > 1 && arrays !== per) {
        throw new TypeError(`${name} takes one Float64Array of points${per > 1 ? ` or ${per}, one for each input,` : ''} not ${arrays}`);
      }
      for (let i = 0; i < arrays; ++i) attached(args[i], `${name} argument ${i + 1}`);
      const k = arrays || per, last = k + fixed;  // where the site's numbers start, and the options
      if (args.length < last) throw new TypeError(`${name} needs ${last} argument${last > 1 ? 's' : ''}`);
      if (args.length > last + 1) {
        const points = arrays ? `${arrays} Float64Array${arrays > 1 ? 's' : ''}` : `${per} number${per > 1 ? 's' : ''}`;
        throw new TypeError(`${name} takes ${points}${fixed ? ', the base site\'s 3 numbers' : ''} and options, ` +
                            `not ${args.length} arguments`);
      }
      for (let i = arrays; i < last; ++i) number(args[i], `${name} argument ${i + 1}`);
      const mode = errorsOption(args[last], fallback);
      if (arrays) {
        const inputs = args.slice(0, arrays);
        if (arrays === 1 && inputs[0].length % per !== 0) {
          throw new RangeError(`${name}: the Float64Array's length ${inputs[0].length} is not a multiple of ${per}`);
        }
        if (inputs.some((a) => a.length !== inputs[0].length)) {
          throw new RangeError(`${name}: the Float64Arrays' lengths differ (${inputs.map((a) => a.length).join(', ')})`);
        }
        return batch(inputs, args.slice(k, last), mode);
      }
      for (let i = 0; i < fixed; ++i) f64[inAt + per + i] = args[k + i];
      if (site) view().set(site, sitePtr);
      for (let i = 0; i < per; ++i) f64[inAt + i] = args[i];
      const fault = call();
      if (fault !== 0 && mode === 'raise') throw refused(name, fault);
      if (fault !== 0) return count === 1 ? NaN : new Array(count).fill(NaN);
      return count === 1 ? f64[outAt] : Array.from(f64.subarray(outAt, outAt + count));
    };
  }

  function withBytes(bytes, use) {
    const at = x.malloc(bytes.length + 1);
    if (at === 0) throw new Error('geoconv: out of memory');
    try {
      view().set(bytes, at);
      view()[at + bytes.length] = 0;
      return use(at, bytes.length);
    } finally {
      x.free(at);
    }
  }
  // A zero-terminated copy of text for the call; a null pointer for undefined.
  const withString = (text, use) => (text === undefined ? use(0) : withBytes(encoder.encode(text), (at) => use(at)));

  const gc = {
    version: described.version,
    constants: described.constants,
    routines: described.routines,

    /** The integer in bytes first..last of text (bytes, or a string's UTF-8 form). */
    STRtoINT(text, first, last) {
      if (typeof text !== 'string' && !(text instanceof Uint8Array)) {
        throw new TypeError('STRtoINT: text must be a string or a Uint8Array');
      }
      for (const [name, v] of [['first', first], ['last', last]]) {
        if (!Number.isInteger(v) || v < -0x80000000 || v > 0x7fffffff) {
          throw new RangeError(`STRtoINT: ${name} must be a 32-bit integer, not ${String(v)}`);
        }
      }
      return withBytes(typeof text === 'string' ? encoder.encode(text) : text,
                       (at) => x.geoconv_STRtoINT(at, first, last));
    },

    /**
     * Converts text as the converter `geoconv COMMAND` converts a file: one
     * output line for each line, ERROR lines included. Options: site
     * [lat, lon, alt] (degrees, degrees, feet; for the site commands only),
     * precision (decimals is another name for it; 0 to 20, default 6).
     * Returns {text, errors}. What the converter refuses as arguments throws
     * a RangeError with its reason.
     */
    convertLines(command, text, options = {}) {
      if (typeof command !== 'string' || typeof text !== 'string') {
        throw new TypeError('convertLines: command and text must be strings');
      }
      const { site, precision = options.decimals ?? described.defaultDecimals } = checkedOptions(options);
      if (site !== undefined && (!Array.isArray(site) || site.length !== 3)) {
        throw new TypeError('convertLines: options.site must be [lat, lon, alt]');
      }
      // The site as --site's text: each number written so that it reads back
      // as the same double (negative zero included).
      const siteText = site?.map((v, i) => (Object.is(number(v, `site[${i}]`), -0) ? '-0' : String(v))).join(',');
      // Whole numbers beyond an int stay out of range rather than wrapping.
      const decimals = Number.isInteger(precision) ? Math.max(-1, Math.min(precision, 0x7fffffff)) : -1;
      const converter = withString(command, (c) => withString(siteText, (s) => x.geoconv_js_converter(c, s, decimals)));
      if (converter === 0) throw new RangeError(`convertLines: ${outputText()}`);
      // The input in pieces of bounded size, so that memory stays bounded.
      const bytes = encoder.encode(text), pieces = [];
      let errors;
      try {
        for (let start = 0; start < bytes.length; start += CHUNK_BYTES) {
          withBytes(bytes.subarray(start, start + CHUNK_BYTES), (at, length) => x.geoconv_js_feed(converter, at, length));
          pieces.push(outputText());
        }
      } finally {
        errors = x.geoconv_js_finish(converter);
      }
      pieces.push(outputText());
      return { text: pieces.join(''), errors };
    },

    /** The demonstration's report, exactly as geoconv-demo writes it. */
    demoReport() {
      if (x.geoconv_js_demo() < 0) throw new Error('geoconv: cannot write the report');
      return outputText();
    },
  };
  gc.routines.forEach((r, index) => { gc[r.name] = conversion(r, index); });

  /**
   * A site placed once for many targets: new gc.Site(lat, lon, alt, options)
   * (degrees, degrees, feet), with the registry's site routines as members.
   * A latitude beyond +-90 or NaN gives an invalid site: valid is false and
   * its conversions fail with the latitude fault. The options are the
   * default of the site's conversions.
   */
  class Site {
    #bytes = new Uint8Array(SITE_BYTES);
    constructor(lat, lon, alt, options, ...extra) {
      [lat, lon, alt].forEach((v, i) => number(v, `Site argument ${i + 1}`));
      if (extra.length) throw new TypeError(`Site takes at most 4 arguments, not ${4 + extra.length}`);
      const errors = errorsOption(options);
      this.valid = x.geoconv_site_init(sitePtr, 0, lat, lon, alt) === 0;
      this.#bytes.set(view().subarray(sitePtr, sitePtr + SITE_BYTES));
      this.latitude = lat;
      this.longitude = lon;
      this.altitude = alt;
      // The site's Earth-fixed position, placed as LLA84toEFG84 places a
      // point: NaN for an invalid site.
      [this.E, this.F, this.G] = gc.LLA84toEFG84(lat, lon, alt, { errors: 'nan' });
      gc.routines.forEach((r, index) => { if (r.site) this[r.name] = conversion(r, index, this.#bytes, errors); });
      Object.freeze(this);
    }
  }
  gc.Site = Site;
  return Object.freeze(gc);
}
