// The fast kernels for x86-64 processors with SSE2 (2 doubles a vector),
// compiled for it: reached only where the processor has it.
#define GEOCONV_LEVEL fast_sse2
#define GEOCONV_SLEEF(f) Sleef_##f##d2_u10sse2
#define GEOCONV_SLEEF_PAIR Sleef___m128d_2
#define GEOCONV_FAST_SET kFastSse2Kernels
#define GEOCONV_FAST_NAME "sse2"
#include "sleef.hpp"
