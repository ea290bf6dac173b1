// Types of the geoconv package: coordinate conversions on the WGS 84
// ellipsoid, compiled to WebAssembly from the C++ library. Every routine of
// the library's registry is declared here under its name, with the
// registry's names for its parameters (js/test/api.test.mjs checks them).
//
// Units everywhere: latitude, longitude, azimuth and elevation in decimal
// degrees (latitude positive north, longitude positive east, azimuth
// clockwise from north); altitude and slant range in feet (0.3048 m; an
// altitude is the height above the ellipsoid plus 24.764 m); Earth-fixed
// E, F, G in metres; local x, y, z in the unit of the range.
//
// Every routine takes its numbers and returns its one number or three; or
// takes a Float64Array of many points (their numbers one after another) and
// returns a new Float64Array of their results; or takes one Float64Array for
// each input (all of one length) and returns one new Float64Array for each
// output. A point the library refuses throws a ConversionError (its index
// in a batch), or gives NaN with `{ errors: 'nan' }`. An argument the call
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
  /** The fault's code: 1 a latitude beyond +-90 or NaN (a point's or a site's), 2 no foot point, 3 a range of 0. */
  readonly fault: number;
  /** The line the library writes to its stream, e.g. "(LLA84toEFG84) problem: lat>90 \n". */
  readonly libraryMessage: string;
  /** In a Float64Array call: the index of the refused point (the first one). */
  readonly index?: number;
}

/** The library's constants, exactly its doubles. */
export interface Constants {
  /** WGS 72 first eccentricity squared. */ readonly WGS72_E2: number;
  /** WGS 84 first eccentricity squared. */ readonly WGS84_E2: number;
  /** WGS 72 semi-major axis, metres. */ readonly WGS72_A: number;
  /** WGS 84 semi-major axis, metres. */ readonly WGS84_A: number;
  /** Equatorial radius, metres (= WGS84_A). */ readonly EARTH_EQ_RADIUS: number;
  /** WGS 84 semi-minor axis to the metre, metres. */ readonly WGS84_B: number;
  /** Metres, paired with WGS 72. */ readonly WGS72_HEIGHT_OFFSET: number;
  /** Metres added to altitude (ft) * 0.3048 to give the height above the ellipsoid: -24.764. */ readonly WGS84_HEIGHT_OFFSET: number;
  /** Pi to 11 decimals. */ readonly PI: number;
  /** Radians per degree used by every conversion: 0.01745329252, not pi/180. */ readonly DEG2RAD: number;
  /** Degrees per radian used by every conversion: 57.295779512896, not 180/pi. */ readonly RAD2DEG: number;
  /** Metres per foot: 0.3048. */ readonly FEET_TO_METRES: number;
}

/** An input or output of a routine: its name, and its unit ("deg", "ft", "m", "length", "min", "s" or ""). */
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
}

/** The base site's numbers that follow a point's in the free site routines. */
export type BaseSite = [baseLat: number, baseLon: number, baseAlt: number];

/** A Float64Array for each of the numbers of T. */
export type Columns<T extends number[]> = { [K in keyof T]: Float64Array };

/**
 * A routine: a point's numbers P (then the base site's, S) to its result R;
 * or a Float64Array of points (their numbers one after another) to a new
 * Float64Array of their results; or a Float64Array for each input, of one
 * length, to a new Float64Array for each output (one output: a
 * Float64Array). With one input the two batch forms are one: its results
 * are one Float64Array, a point's numbers one after another.
 */
export interface Conversion<P extends number[], R, S extends number[] = []> {
  (...args: [...P, ...S, Options?]): R;
  (points: Float64Array, ...args: [...S, Options?]): Float64Array;
  (...args: [...Columns<P>, ...S, Options?]): R extends Triple ? Columns<Triple> : Float64Array;
}

/** A site placed once for many targets: `new gc.Site(lat, lon, alt)`. */
export interface Site {
  /** False for a latitude beyond +-90 or NaN: every conversion then fails with the latitude fault. */
  readonly valid: boolean;
  /** The site as given: degrees. */ readonly latitude: number;
  /** The site as given: degrees. */ readonly longitude: number;
  /** The site as given: feet. */ readonly altitude: number;
  /** The site's Earth-fixed position, metres (NaN for an invalid site). */ readonly E: number;
  /** Metres. */ readonly F: number;
  /** Metres. */ readonly G: number;
  /** Target at az, el (degrees) and range (feet) to [lat, lon (degrees), alt (feet)]; range exactly 0 is refused. */
  readonly AERtoLLA84: Conversion<[az: number, el: number, range: number], Triple>;
  /** Target at az, el (degrees) and range (feet) to Earth-fixed [E, F, G] (metres). */
  readonly AERtoEFG84: Conversion<[az: number, el: number, range: number], Triple>;
  /** Target at Earth-fixed E, F, G (metres) to [az (degrees, 0..360), el (degrees), range (feet)]. */
  readonly EFG84toAER: Conversion<[E: number, F: number, G: number], Triple>;
}

export interface SiteConstructor {
  /**
   * Places a site at lat, lon (degrees) and alt (feet); a latitude beyond
   * +-90 or NaN gives an invalid site. The options are the default of the
   * site's conversions.
   */
  new (lat: number, lon: number, alt: number, options?: Options): Site;
}

export interface Geoconv {
  /** The library's version, e.g. "2.0.0". */
  readonly version: string;
  readonly constants: Constants;
  /** Every routine of the registry, in its order. */
  readonly routines: readonly Routine[];
  readonly Site: SiteConstructor;

  /** sin(d * DEG2RAD); d in degrees. */ readonly sind: Conversion<[d: number], number>;
  /** cos(d * DEG2RAD); d in degrees. */ readonly cosd: Conversion<[d: number], number>;
  /** tan(d * DEG2RAD); d in degrees. */ readonly tand: Conversion<[d: number], number>;
  /** asin(v) * RAD2DEG, degrees. */ readonly asind: Conversion<[v: number], number>;
  /** acos(v) * RAD2DEG, degrees. */ readonly acosd: Conversion<[v: number], number>;
  /** atan(v) * RAD2DEG, degrees. */ readonly atand: Conversion<[v: number], number>;
  /** atan2(y, x) * RAD2DEG, degrees, ordinate first. */ readonly atan2d: Conversion<[y: number, x: number], number>;
  /** x*x. */ readonly sqr: Conversion<[x: number], number>;
  /** x*x*x. */ readonly cube: Conversion<[x: number], number>;
  /** Geodetic lat, lon (degrees), alt (feet) to Earth-fixed [E, F, G] (metres); |lat| > 90 or NaN is refused. */
  readonly LLA84toEFG84: Conversion<[lat: number, lon: number, alt: number], Triple>;
  /** Earth-fixed E, F, G (metres) to [lat, lon (degrees), alt (feet)]; points on or near the polar axis are refused. */
  readonly EFG84toLLA84: Conversion<[E: number, F: number, G: number], Triple>;
  /** Local az, el (degrees) and range to [x east, y north, z up] in the unit of the range. */
  readonly AERtoXYZ: Conversion<[az: number, el: number, range: number], Triple>;
  /** Local x, y, z to [az, el (degrees), range] in their unit. */
  readonly XYZtoAER: Conversion<[x: number, y: number, z: number], Triple>;
  /** Target at az, el (degrees), range (feet) from the base site to [lat, lon (degrees), alt (feet)]; range exactly 0 is refused. */
  readonly AERtoLLA84: Conversion<[az: number, el: number, range: number], Triple, BaseSite>;
  /** Target at az, el (degrees), range (feet) from the base site to [E, F, G] (metres). */
  readonly AERtoEFG84: Conversion<[az: number, el: number, range: number], Triple, BaseSite>;
  /** Target at E, F, G (metres) to [az (degrees, 0..360), el (degrees), range (feet)] seen from the base site. */
  readonly EFG84toAER: Conversion<[E: number, F: number, G: number], Triple, BaseSite>;
  /** WGS 84 Earth-fixed E, F, G (metres) to WGS 72 Earth-fixed [E72, F72, G72] (metres). */
  readonly EFG84toEFG72: Conversion<[E: number, F: number, G: number], Triple>;
  /** Angle (degrees) to [whole degrees with the angle's sign, whole minutes, seconds]. */
  readonly DEGtoDMS: Conversion<[angle: number], Triple>;

  /**
   * The signed integer in bytes first..last (inclusive, from 0) of text, as
   * the library reads it: the bytes given, or a string's UTF-8 form. Reading
   * stops at a zero byte.
   */
  STRtoINT(text: string | Uint8Array, first: number, last: number): number;
  /**
   * Converts text as `geoconv COMMAND [--site LAT,LON,ALT] [-p PRECISION]`
   * converts a file: one output line per input line, "ERROR: reason" for a
   * line it cannot read or convert; blank and '#' lines copied. `decimals`
   * is another name for `precision`. What the converter refuses as its
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
