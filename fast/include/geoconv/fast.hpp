// geoconv::fast: the fast mode of the array routines of <geoconv/geoconv.hpp>
// and <geoconv/registry.hpp>, several points at a time with SLEEF's vector
// functions.
//
// A program links the library (CMake target geoconv::fast, pkg-config
// geoconv-fast) and passes mode() as the Mode of an array call; a program
// that names it without linking it does not build. Mode::kFast alone gives
// the exact bits.
//
//   geoconv::Site radar(51.4722, 0.0, 328.0);
//   radar.EFG84toAER(n, E, F, G, az, el, range, nullptr, geoconv::fast::mode());
//
// How. The kernels are the exact arrays' own template, each conversion's one
// text (no fused multiply-add), on vectors of 8 points (AVX-512) or 4 (AVX2
// with FMA), with SLEEF's vector sine, cosine, arc tangent and arc sine
// (1-ulp bounds) in place of the library's correctly rounded ones;
// square roots and divisions are correctly rounded in both. So results
// differ from the exact mode only through those functions' last bits, and
// where the exact routine's result does not depend on them it is the same
// bits: every range of XYZtoAER, and a placed site's EFG84toAER range. It
// covers, where it is at least 1.5 times as fast as the exact arrays of the
// same level: with AVX-512, LLA84toEFG84, EFG84toLLA84, AERtoXYZ, XYZtoAER,
// AERtoEFG84 and EFG84toAER; with AVX2, XYZtoAER. The rest (AERtoLLA84, the
// helpers, EFG84toEFG72, DEGtoDMS, every routine with SSE2) gives the exact
// bits in the fast mode. Points are read a vector at a time from contiguous
// columns; strided ones (stride 0 included) are gathered and scattered point
// by point. A site repeated by a stride of 0 in all three site columns is
// placed once, as a Site.
//
// Refusals. A point is refused with the exact mode's Fault, and its outputs
// left exactly as the exact mode leaves them, because such points are handed
// to the exact routine: a latitude outside -90..90 or NaN (a point's or a
// site's), AERtoLLA84's zero range, EFG84toLLA84's q <= 0 (its q is computed
// from its inputs with the exact operations, so it is the same bits and the
// same points are refused), and an angle beyond SLEEF's argument reduction
// (|degrees * DEG2RAD| > 1e299). The one place the modes could disagree is
// AERtoLLA84 (free or on a Site) on and within a few metres of the polar
// axis: its target's E, F, G come from SLEEF's sines and differ from the
// exact mode's by a few nanometres, which moves q = (a^2 m - t^2) m by about
// 2 t dt, a few hundredths of a square metre, where the exact routine refuses
// (q <= 0, within about a decimetre of the axis). Every target with q below
// 4 m^2 (about 2 m from the axis) or nearer than 2,000 km to the centre
// (where the passes run away) is converted by the exact routine instead, so
// the two modes refuse the same targets: the test counts the disagreements
// over targets aimed at the axis and finds none. (Without that margin none
// were seen either, but the longitude, whose difference is the position's
// over the distance from the axis, went beyond the bands below.)
//
// Bounds against Mode::kExact, per point, for finite inputs, enforced by
// tests/fast.cpp at every level the processor has over the points of
// tests/data/expected.txt and millions of random ones, with altitudes from
// -1e7 to 3e7 ft and ranges up to 1e7 ft (positions up to 2e7 m from the
// centre; beyond, a position's difference grows to about 4e-16 of its
// distance from the centre, a few units in its last place):
//
//   LLA84toEFG84          E, F, G within 1e-8 m
//   EFG84toLLA84          latitude and longitude within 1e-12 degree
//                         (in practice a unit in their last place: the
//                         Newton passes and q are the exact bits), altitude
//                         within 1e-7 ft; the same points refused
//   AERtoXYZ              x, y, z within 6e-16 * |range| (1e-8 of the range's
//                         unit up to ranges of 1.6e7)
//   XYZtoAER              azimuth and elevation within 1e-12 degree; range
//                         the exact bits
//   EFG84toEFG72          the exact bits
//   AERtoEFG84            E, F, G within 1e-8 m
//   AERtoLLA84            altitude within 1e-7 ft; latitude and longitude
//                         within 1e-12 degree, and near the poles within
//                         EFG84toLLA84's round-trip bands by |latitude|
//                         (geoconv.hpp): 85..89: 3e-12, 89..89.9: 2e-11,
//                         89.9..89.99: 2e-10, 89.99..89.999: 2e-9, then 2e-8
//                         and 2e-7, since the target's position (within
//                         1e-8 m) is divided by its distance from the axis
//   EFG84toAER            on a placed site (a Site, or one site repeated):
//                         azimuth and elevation within 1e-12 degree, range
//                         the exact bits. With a site per point, whose own
//                         position differs within 1e-8 m, the range within
//                         1e-7 ft and the angles within 1e-12 degree plus
//                         that 1e-8 m over the lever arm: the horizontal
//                         distance for the azimuth, the range for the
//                         elevation (in radians). Due south on the site's
//                         own meridian, where the east offset is a
//                         rounding's worth, the two modes may put the
//                         azimuth on either side of the cut there:
//                         pi*RAD2DEG = 180 - 5.9e-10 or 360 minus that
//                         (RAD2DEG is not 180/pi), 1.2e-9 apart; due
//                         north, one may give 360 for the other's 0.
//
// Where an exact result is not finite, the fast one is NaN for NaN (its sign
// and payload may differ) and the same infinity.

#ifndef GEOCONV_FAST_HPP
#define GEOCONV_FAST_HPP

#include <geoconv/registry.hpp>

namespace geoconv::fast {

// Processor levels, lowest first.
enum class Level : unsigned char { kScalar = 0, kSSE2 = 1, kAVX2 = 2, kAVX512 = 3 };

// The fast mode, to pass as an array routine's Mode: the kernels of the best
// level the processor has, at most `cap` (for tests and comparisons);
// below AVX2, Mode::kFast, which gives the exact bits.
Mode mode(Level cap = Level::kAVX512) noexcept;
// The best level this processor has (kSSE2 at least: every x86-64 has it),
// found once.
Level best_level() noexcept;
// The level a Mode of mode() converts with: kAVX512 or kAVX2, else kScalar
// (the exact bits).
Level level(Mode mode) noexcept;
// "scalar", "sse2", "avx2" or "avx512".
const char* name(Level level) noexcept;

}  // namespace geoconv::fast

#endif  // GEOCONV_FAST_HPP
