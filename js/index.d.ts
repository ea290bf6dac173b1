// Types of the geoconv package: coordinate conversions on the WGS 84
// ellipsoid, compiled to WebAssembly from the C++ library.
//
// Units everywhere: latitude, longitude, azimuth and elevation in decimal
// degrees (latitude positive north, longitude positive east, azimuth
// clockwise from north); altitude and slant range in feet (0.3048 m; an
// altitude is the height above the ellipsoid plus 24.764 m); Earth-fixed
// E, F, G in metres; local x, y, z in the unit of the range.
//
// Every conversion takes numbers and returns three numbers, or takes a
// Float64Array of many points (three numbers each, one after another; one
// number each for DEGtoDMS) and returns a new Float64Array of three numbers
// per point. A point the library refuses (its status 1) throws a
// ConversionError, or gives NaN, NaN, NaN with `{ errors: 'nan' }`.

/** Three results, in the order the routine's name gives them. */
export type Triple = [number, number, number];

export interface Options {
  /** 'throw' (default): a refused point throws a ConversionError; 'nan': its results are NaN. */
  errors?: 'throw' | 'nan';
}

/** A conversion the library refused. */
export class ConversionError extends Error {
  /** The routine, e.g. "LLA84toEFG84", or "Site" for an invalid site. */
  readonly routine: string;
  /** The library's message line exactly, e.g. "(LLA84toEFG84) problem: lat>90 \n". */
  readonly libraryMessage: string;
  /** In a Float64Array call: the index of the refused point. */
  readonly index?: number;
}

/** The library's constants, exactly the same doubles. */
export declare const constants: Readonly<{
  /** WGS 72 first eccentricity squared. */ WGS72_E2: number;
  /** WGS 84 first eccentricity squared. */ WGS84_E2: number;
  /** WGS 72 semi-major axis, metres. */ WGS72_A: number;
  /** WGS 84 semi-major axis, metres. */ WGS84_A: number;
  /** Equatorial radius, metres (= WGS84_A). */ EARTH_EQ_RADIUS: number;
  /** WGS 84 semi-minor axis to the metre, metres. */ WGS84_B: number;
  /** Metres, paired with WGS 72. */ WGS72_HEIGHT_OFFSET: number;
  /** Metres added to altitude (ft) * 0.3048 to give the height above the ellipsoid: -24.764. */ WGS84_HEIGHT_OFFSET: number;
  /** Pi to 11 decimals. */ PI: number;
  /** Radians per degree used by every conversion: 0.01745329252, not pi/180. */ DEG2RAD: number;
  /** Degrees per radian used by every conversion: 57.295779512896, not 180/pi. */ RAD2DEG: number;
  /** Metres per foot: 0.3048. */ FEET_TO_METRES: number;
}>;

/** A converter command, as `geoconv COMMAND` knows it. */
export interface Command {
  /** e.g. "lla2efg". */ name: string;
  /** What a line holds, e.g. "lat lon alt(ft)". */ reads: string;
  /** What an output line holds, e.g. "E F G (m)". */ writes: string;
  /** True when the command needs a site. */ site: boolean;
}

/** A site placed once for many targets: `new gc.Site(lat, lon, alt)`. */
export interface Site {
  /** False only for a site made with `{ errors: 'nan' }` from a latitude beyond +-90 or NaN. */
  readonly valid: boolean;
  /** The site as given: degrees. */ readonly latitude: number;
  /** The site as given: degrees. */ readonly longitude: number;
  /** The site as given: feet. */ readonly altitude: number;
  /** The site's Earth-fixed position, metres (NaN for an invalid site). */ readonly E: number;
  /** Metres. */ readonly F: number;
  /** Metres. */ readonly G: number;
  /** Target at az, el (degrees) and range (feet) to Earth-fixed [E, F, G] (metres). */
  AERtoEFG84(az: number, el: number, range: number, options?: Options): Triple;
  AERtoEFG84(aer: Float64Array, options?: Options): Float64Array;
  /** Target at az, el (degrees) and range (feet) to [lat, lon (degrees), alt (feet)]; range exactly 0 is refused. */
  AERtoLLA84(az: number, el: number, range: number, options?: Options): Triple;
  AERtoLLA84(aer: Float64Array, options?: Options): Float64Array;
  /** Target at Earth-fixed E, F, G (metres) to [az (degrees, 0..360), el (degrees), range (feet)]. */
  EFG84toAER(E: number, F: number, G: number, options?: Options): Triple;
  EFG84toAER(efg: Float64Array, options?: Options): Float64Array;
}

export interface SiteConstructor {
  /**
   * Places a site at lat, lon (degrees) and alt (feet). A latitude beyond
   * +-90 or NaN throws a ConversionError, unless options say 'nan'. The
   * options are the default of the site's conversions.
   */
  new (lat: number, lon: number, alt: number, options?: Options): Site;
}

export interface Geoconv {
  readonly constants: typeof constants;
  readonly Site: SiteConstructor;

  /** x*x. */ sqr(x: number): number;
  /** x*x*x. */ cube(x: number): number;
  /** sin(d * DEG2RAD); d in degrees. */ sind(d: number): number;
  sind(d: Float64Array): Float64Array;
  /** cos(d * DEG2RAD); d in degrees. */ cosd(d: number): number;
  cosd(d: Float64Array): Float64Array;
  /** tan(d * DEG2RAD); d in degrees. */ tand(d: number): number;
  tand(d: Float64Array): Float64Array;
  /** asin(v) * RAD2DEG, degrees. */ asind(v: number): number;
  asind(v: Float64Array): Float64Array;
  /** acos(v) * RAD2DEG, degrees. */ acosd(v: number): number;
  acosd(v: Float64Array): Float64Array;
  /** atan(v) * RAD2DEG, degrees. */ atand(v: number): number;
  atand(v: Float64Array): Float64Array;
  /** atan2(y, x) * RAD2DEG, degrees, ordinate first. */ atan2d(y: number, x: number): number;

  /** Geodetic lat, lon (degrees), alt (feet) to Earth-fixed [E, F, G] (metres); |lat| > 90 or NaN is refused. */
  LLA84toEFG84(lat: number, lon: number, alt: number, options?: Options): Triple;
  LLA84toEFG84(lla: Float64Array, options?: Options): Float64Array;
  /** Earth-fixed E, F, G (metres) to [lat, lon (degrees), alt (feet)]; points on or near the polar axis are refused. */
  EFG84toLLA84(E: number, F: number, G: number, options?: Options): Triple;
  EFG84toLLA84(efg: Float64Array, options?: Options): Float64Array;
  /** Local az, el (degrees) and range to [x east, y north, z up] in the unit of the range. */
  AERtoXYZ(az: number, el: number, range: number, options?: Options): Triple;
  AERtoXYZ(aer: Float64Array, options?: Options): Float64Array;
  /** Local x, y, z to [az, el (degrees), range] in their unit. */
  XYZtoAER(x: number, y: number, z: number, options?: Options): Triple;
  XYZtoAER(xyz: Float64Array, options?: Options): Float64Array;
  /** Target at az, el (degrees), range (feet) from the site baseLat, baseLon (degrees), baseAlt (feet) to [E, F, G] (metres). */
  AERtoEFG84(az: number, el: number, range: number, baseLat: number, baseLon: number, baseAlt: number, options?: Options): Triple;
  AERtoEFG84(aer: Float64Array, baseLat: number, baseLon: number, baseAlt: number, options?: Options): Float64Array;
  /** Target at az, el (degrees), range (feet) from the site to [lat, lon (degrees), alt (feet)]; range exactly 0 is refused. */
  AERtoLLA84(az: number, el: number, range: number, baseLat: number, baseLon: number, baseAlt: number, options?: Options): Triple;
  AERtoLLA84(aer: Float64Array, baseLat: number, baseLon: number, baseAlt: number, options?: Options): Float64Array;
  /** Target at E, F, G (metres) to [az (degrees, 0..360), el (degrees), range (feet)] seen from the site. */
  EFG84toAER(E: number, F: number, G: number, baseLat: number, baseLon: number, baseAlt: number, options?: Options): Triple;
  EFG84toAER(efg: Float64Array, baseLat: number, baseLon: number, baseAlt: number, options?: Options): Float64Array;
  /** WGS 84 Earth-fixed E, F, G (metres) to WGS 72 Earth-fixed [E72, F72, G72] (metres). */
  EFG84toEFG72(E: number, F: number, G: number, options?: Options): Triple;
  EFG84toEFG72(efg: Float64Array, options?: Options): Float64Array;
  /** Angle (degrees) to [whole degrees with the angle's sign, whole minutes, seconds]. */
  DEGtoDMS(angle: number, options?: Options): Triple;
  DEGtoDMS(angles: Float64Array, options?: Options): Float64Array;
  /**
   * The signed integer in bytes first..last (inclusive, from 0) of text, as
   * the library reads it: the bytes given, or a string's UTF-8 form. Reading
   * stops at a zero byte.
   */
  STRtoINT(text: string | Uint8Array, first: number, last: number): number;

  /** The converter's commands. */
  readonly commands: readonly Command[];
  /**
   * Converts text as `geoconv COMMAND [--site LAT,LON,ALT] [-p DECIMALS]`
   * converts a file: one output line per input line, "ERROR: reason" for a
   * line it cannot read or convert; blank and '#' lines copied.
   */
  convertLines(command: string, text: string,
               options?: { site?: [number, number, number]; decimals?: number }): { text: string; errors: number };
  /** The demonstration program's report, exactly as it writes it. */
  demoReport(): string;
}

/**
 * Loads the WebAssembly module: from geoconv.wasm beside the module by
 * default, or from a URL or path, its bytes, or a compiled module.
 */
export function load(source?: string | URL | ArrayBuffer | ArrayBufferView | WebAssembly.Module): Promise<Geoconv>;
