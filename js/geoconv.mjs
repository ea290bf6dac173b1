// geoconv for JavaScript: the library's conversions on the WGS 84 ellipsoid,
// compiled to WebAssembly (geoconv.wasm beside this file), for Node and for
// browsers.
//
//   import { load } from 'geoconv';
//   const gc = await load();
//   const [E, F, G] = gc.LLA84toEFG84(51.47222222, 0, 10);   // deg, deg, ft -> m
//
// Units as in the library: angles in degrees, altitudes and ranges in feet,
// Earth-fixed E, F, G in metres. Every conversion takes numbers and returns
// an array of three numbers, or takes a Float64Array of many points (three
// numbers each, one after the other) and returns a new Float64Array of their
// results. A conversion the library refuses (status 1) throws a
// ConversionError with the library's message, unless the options say
// {errors: 'nan'}: its results are then NaN. Arguments of the wrong type
// throw a TypeError, arguments out of range a RangeError.

const encoder = new TextEncoder();
const decoder = new TextDecoder();

/** A conversion the library refused; message is the library's line. */
export class ConversionError extends Error {
  constructor(routine, libraryMessage, index) {
    // The library's line ends with a newline, some with a blank before it.
    super(libraryMessage.replace(/[ \n]+$/, '') || `(${routine}) conversion failed`);
    this.name = 'ConversionError';
    this.routine = routine;
    this.libraryMessage = libraryMessage;
    if (index !== undefined) this.index = index;
  }
}

/** The library's constants, exactly the same doubles. */
export const constants = Object.freeze({
  WGS72_E2: 0.006694317778,
  WGS84_E2: 0.006694379990141317,
  WGS72_A: 6378135.0,
  WGS84_A: 6378137.0,
  EARTH_EQ_RADIUS: 6378137.0,
  WGS84_B: 6356752.0,
  WGS72_HEIGHT_OFFSET: -28.764,
  WGS84_HEIGHT_OFFSET: -24.764,
  PI: 3.14159265359,
  DEG2RAD: 0.01745329252,
  RAD2DEG: 57.295779512896,
  FEET_TO_METRES: 0.3048,
});

const SITE_BYTES = 88;                  // sizeof(geoconv_site)
const CHUNK_BYTES = 1 << 20;            // text handed to the converter at once

function number(value, name) {
  if (typeof value !== 'number') throw new TypeError(`${name} must be a number, not ${typeof value}`);
  return value;
}

function errorsOption(options, fallback = 'throw') {
  if (options === undefined) return fallback;
  if (options === null || typeof options !== 'object') throw new TypeError('options must be an object');
  const mode = options.errors ?? fallback;
  if (mode !== 'throw' && mode !== 'nan') throw new RangeError(`errors must be 'throw' or 'nan', not ${mode}`);
  return mode;
}

function points(values, per, name) {
  if (values.length % per !== 0) {
    throw new RangeError(`${name}: the Float64Array's length ${values.length} is not a multiple of ${per}`);
  }
  return values.length / per;
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
    // The library writes only to its own memory streams; anything sent to a
    // file descriptor (an abort message) is dropped.
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

  // Scratch space: three output doubles, then a site's storage.
  const scratch = x.malloc(32 + SITE_BYTES);
  if (scratch === 0) throw new Error('geoconv: out of memory');
  const outPtr = scratch, sitePtr = scratch + 32, o = outPtr / 8;
  // The diagnostic stream of every call: only a refused call writes to it,
  // and reading the message empties it again.
  let stream = x.geoconv_js_stream();
  const message = () => {
    const at = x.geoconv_js_message(), text = decoder.decode(view().slice(at, at + x.geoconv_js_message_length()));
    stream = x.geoconv_js_stream();
    return text;
  };
  const outputText = () => {
    const at = x.geoconv_js_output();
    return decoder.decode(view().subarray(at, at + x.geoconv_js_output_length()));
  };

  // One routine with three outputs: `count` numbers per point (1 or 3), then
  // `fixed` numbers for every point (a site), then options.
  // call(stream, a, b, c, f0, f1, f2) returns a status; extra arguments are
  // ignored.
  function three(name, count, fixed, call) {
    return function (...args) {
      const batch = args[0] instanceof Float64Array;
      const k = batch ? 1 : count;  // where the fixed numbers start
      if (args.length < k + fixed) throw new TypeError(`${name} needs ${k + fixed} arguments`);
      for (let i = batch ? 1 : 0; i < k + fixed; ++i) number(args[i], `${name} argument ${i + 1}`);
      const mode = errorsOption(args[k + fixed]);
      const f0 = args[k], f1 = args[k + 1], f2 = args[k + 2];
      if (!batch) {
        if (call(stream, args[0], args[1], args[2], f0, f1, f2) === 0) return [f64[o], f64[o + 1], f64[o + 2]];
        if (mode === 'throw') throw new ConversionError(name, message());
        message();
        return [NaN, NaN, NaN];
      }
      const input = args[0];
      const n = points(input, count, name);
      const result = new Float64Array(3 * n);
      for (let i = 0, j = 0; i < n; ++i, j += count) {
        if (call(stream, input[j], input[j + 1], input[j + 2], f0, f1, f2) === 0) {
          result[3 * i] = f64[o];
          result[3 * i + 1] = f64[o + 1];
          result[3 * i + 2] = f64[o + 2];
        } else {
          const text = message();
          if (mode === 'throw') throw new ConversionError(name, text, i);
          result.fill(NaN, 3 * i, 3 * i + 3);
        }
      }
      return result;
    };
  }

  function helper(name, f, arity = 1) {
    return function (...args) {
      if (arity === 1 && args[0] instanceof Float64Array) return args[0].map((v) => f(v));
      if (args.length < arity) throw new TypeError(`${name} needs ${arity} argument${arity > 1 ? 's' : ''}`);
      return f(...args.slice(0, arity).map((v, i) => number(v, `${name} argument ${i + 1}`)));
    };
  }

  const p = outPtr;
  const gc = {
    constants,
    sqr: helper('sqr', x.geoconv_sqr), cube: helper('cube', x.geoconv_cube),
    sind: helper('sind', x.geoconv_sind), cosd: helper('cosd', x.geoconv_cosd),
    tand: helper('tand', x.geoconv_tand), asind: helper('asind', x.geoconv_asind),
    acosd: helper('acosd', x.geoconv_acosd), atand: helper('atand', x.geoconv_atand),
    atan2d: helper('atan2d', x.geoconv_atan2d, 2),

    DEGtoDMS: three('DEGtoDMS', 1, 0, (s, a) => (x.geoconv_DEGtoDMS(a, p, p + 8, p + 16), 0)),

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

    /** The converter's commands: name, what each reads and writes. */
    commands: (() => {
      x.geoconv_js_commands();
      return outputText().split('\n').filter((l) => l.trim()).map((line) => {
        const [left, writes] = line.split('->');
        const name = left.trim().split(/\s+/)[0];
        return { name, reads: left.trim().slice(name.length).trim(), writes: writes.trim(),
                 site: withString(name, (at) => x.geoconv_js_needs_site(at)) === 1 };
      });
    })(),

    /**
     * Converts text as the converter `geoconv COMMAND` converts a file: one
     * output line for each line, ERROR lines included. Options: site
     * [lat, lon, alt] (degrees, degrees, feet; needed by the site commands),
     * decimals (0 to 20, default 6). Returns {text, errors}.
     */
    convertLines(command, text, options = {}) {
      if (typeof command !== 'string' || typeof text !== 'string') {
        throw new TypeError('convertLines: command and text must be strings');
      }
      const info = gc.commands.find((c) => c.name === command);
      if (!info) throw new RangeError(`convertLines: unknown command '${command}'`);
      if (info.site && (!Array.isArray(options.site) || options.site.length !== 3)) {
        throw new TypeError(`convertLines: ${command} needs options.site = [lat, lon, alt]`);
      }
      // The site as --site's text: each number written so that it reads back
      // as the same double (negative zero included).
      const site = info.site ? options.site.map((v, i) => (Object.is(number(v, `site[${i}]`), -0) ? '-0' : String(v))) : [];
      const decimals = options.decimals ?? 6;
      const converter = withString(command, (c) => withString(site.join(','), (s) =>
        x.geoconv_js_converter(c, s, Number.isInteger(decimals) ? decimals : -1)));
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

  // The C functions' arguments: the stream, the numbers, the three outputs
  // (a function without a status returns undefined: status 0).
  for (const name of ['LLA84toEFG84', 'EFG84toLLA84', 'AERtoXYZ', 'XYZtoAER', 'EFG84toEFG72']) {
    const f = x[`geoconv_${name}`];
    gc[name] = three(name, 3, 0, (s, a, b, c) => f(s, a, b, c, p, p + 8, p + 16) ?? 0);
  }
  for (const name of ['AERtoEFG84', 'AERtoLLA84', 'EFG84toAER']) {
    const f = x[`geoconv_${name}`];
    gc[name] = three(name, 3, 3, (s, a, b, c, la, lo, al) => f(s, a, b, c, la, lo, al, p, p + 8, p + 16));
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
  function withString(text, use) {
    return withBytes(encoder.encode(text), (at) => use(at));
  }

  /**
   * A site placed once for many targets: new gc.Site(lat, lon, alt, options)
   * (degrees, degrees, feet). An invalid site (latitude beyond +-90 or NaN)
   * throws a ConversionError, unless options say {errors: 'nan'}: the site
   * is then made, valid is false and its conversions give NaN. The options
   * are the default of the site's conversions.
   */
  class Site {
    #bytes = new Uint8Array(SITE_BYTES);
    #errors;
    constructor(lat, lon, alt, options) {
      [lat, lon, alt].forEach((v, i) => number(v, `Site argument ${i + 1}`));
      this.#errors = errorsOption(options);
      const status = x.geoconv_site_init(sitePtr, stream, lat, lon, alt);
      const text = status === 0 ? '' : message();
      if (status !== 0 && this.#errors === 'throw') throw new ConversionError('Site', text);
      this.#bytes.set(view().subarray(sitePtr, sitePtr + SITE_BYTES));
      this.valid = status === 0;
      this.latitude = lat;
      this.longitude = lon;
      this.altitude = alt;
      this.E = x.geoconv_site_E(sitePtr);
      this.F = x.geoconv_site_F(sitePtr);
      this.G = x.geoconv_site_G(sitePtr);
      const bytes = this.#bytes;
      const errors = this.#errors;
      for (const name of ['AERtoEFG84', 'AERtoLLA84', 'EFG84toAER']) {
        const f = x[`geoconv_site_${name}`];
        const convert = three(name, 3, 0, (s, a, b, c) => f(sitePtr, s, a, b, c, p, p + 8, p + 16));
        this[name] = (...args) => {
          view().set(bytes, sitePtr);  // this site into the call's storage
          const k = args[0] instanceof Float64Array ? 1 : 3;  // where the options are
          args[k] = { errors: errorsOption(args[k], errors) };
          args.length = k + 1;
          return convert(...args);
        };
      }
      Object.freeze(this);
    }
  }
  gc.Site = Site;
  return Object.freeze(gc);
}
