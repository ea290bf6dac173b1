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
// degrees, altitudes and ranges in feet, Earth-fixed E, F, G in metres. A
// routine takes its numbers and returns its one number or an array of three,
// or takes a Float64Array of many points (their numbers one after the other)
// and returns a new Float64Array of their results. A point the library
// refuses throws a ConversionError whose message is the library's reason for
// the fault, unless the options say {errors: 'nan'}: its results are then
// NaN ('raise' is the default; 'throw' is another name for it). Arguments of
// the wrong type throw a TypeError, arguments out of range a RangeError.

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

const SITE_BYTES = 88;                  // sizeof(geoconv_site)
const CHUNK_BYTES = 1 << 20;            // text handed to the converter at once
// The failure modes by the names the options take: 'throw' is the earlier
// name of 'raise', which every binding of the library uses.
const ERRORS = new Map([['raise', 'raise'], ['throw', 'raise'], ['nan', 'nan']]);

function number(value, name) {
  if (typeof value !== 'number') throw new TypeError(`${name} must be a number, not ${typeof value}`);
  return value;
}

function checkedOptions(options) {
  if (options === null || typeof options !== 'object') throw new TypeError('options must be an object');
  return options;
}

function errorsOption(options, fallback = 'raise') {
  if (options === undefined || checkedOptions(options).errors === undefined) return fallback;
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

  // Scratch space: a point's inputs and a base site's (six doubles), three
  // outputs, then a site's storage.
  const scratch = x.malloc(72 + SITE_BYTES);
  if (scratch === 0) throw new Error('geoconv: out of memory');
  const inPtr = scratch, outPtr = scratch + 48, sitePtr = scratch + 72, inAt = inPtr / 8, outAt = outPtr / 8;
  const refused = (name, fault, index) =>
    new ConversionError(name, fault, cString(x.geoconv_reason(fault)), cString(x.geoconv_message(fault)), index);

  // The routine at this index of the registry as a function: the point's
  // numbers or a Float64Array of points, the base site's three numbers for a
  // site routine, then options (errors default to fallback). With a site's
  // storage, the routine through that site, which takes no site numbers.
  function conversion(r, index, site, fallback = 'raise') {
    const { name } = r, per = r.inputs.length, count = r.outputs.length;
    const fixed = r.site && !site ? 3 : 0;
    const call = site ? () => x.geoconv_site_convert(sitePtr, index, inPtr, outPtr)
                      : () => x.geoconv_convert(index, inPtr, outPtr);
    return function (...args) {
      const batch = args[0] instanceof Float64Array;
      const k = batch ? 1 : per;  // where the site's numbers start
      if (args.length < k + fixed) throw new TypeError(`${name} needs ${k + fixed} argument${k + fixed > 1 ? 's' : ''}`);
      for (let i = batch ? 1 : 0; i < k + fixed; ++i) number(args[i], `${name} argument ${i + 1}`);
      const mode = errorsOption(args[k + fixed], fallback);
      for (let i = 0; i < fixed; ++i) f64[inAt + per + i] = args[k + i];
      if (site) view().set(site, sitePtr);
      if (!batch) {
        for (let i = 0; i < per; ++i) f64[inAt + i] = args[i];
        const fault = call();
        if (fault !== 0 && mode === 'raise') throw refused(name, fault);
        if (fault !== 0) return count === 1 ? NaN : new Array(count).fill(NaN);
        return count === 1 ? f64[outAt] : [f64[outAt], f64[outAt + 1], f64[outAt + 2]];  // 1 or 3 outputs
      }
      const input = args[0];
      if (input.length % per !== 0) {
        throw new RangeError(`${name}: the Float64Array's length ${input.length} is not a multiple of ${per}`);
      }
      const n = input.length / per, results = new Float64Array(count * n);
      for (let i = 0; i < n; ++i) {
        for (let j = 0; j < per; ++j) f64[inAt + j] = input[per * i + j];
        const fault = call();
        if (fault === 0) {
          for (let j = 0; j < count; ++j) results[count * i + j] = f64[outAt + j];
        } else if (mode === 'raise') {
          throw refused(name, fault, i);
        } else {
          results.fill(NaN, count * i, count * i + count);
        }
      }
      return results;
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
      for (const v of [first, last]) {
        if (!Number.isInteger(v) || v < -0x80000000 || v > 0x7fffffff) {
          throw new RangeError('STRtoINT: first and last must be 32-bit integers');
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
    constructor(lat, lon, alt, options) {
      [lat, lon, alt].forEach((v, i) => number(v, `Site argument ${i + 1}`));
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
