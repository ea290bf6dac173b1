// The namespace of code compiled for one processor level. The array kernels
// are compiled once per level (kernels_*.cpp, each with its own instruction
// set), and every inline function they instantiate must stay that level's
// own: were two levels' copies to share a name, the linker would keep one of
// them for all, and code built for AVX-512 could run on a processor without
// it. Each level's source defines GEOCONV_LEVEL first; everything else is
// "baseline".
#ifndef GEOCONV_SRC_MATH_LEVEL_HPP
#define GEOCONV_SRC_MATH_LEVEL_HPP
#ifndef GEOCONV_LEVEL
#define GEOCONV_LEVEL baseline
#endif
#define GEOCONV_LEVEL_BEGIN(name) \
  namespace geoconv::detail {     \
  inline namespace GEOCONV_LEVEL { \
  namespace name {
#define GEOCONV_LEVEL_END \
  }                       \
  }                       \
  }
#endif  // GEOCONV_SRC_MATH_LEVEL_HPP
