// The fast kernels for x86-64 processors with AVX2 and FMA (4 doubles a vector),
// compiled for it: reached only where the processor has it.
#define GEOCONV_LEVEL fast_avx2
#define GEOCONV_SLEEF(f) Sleef_##f##d4_u10avx2
#define GEOCONV_SLEEF_PAIR Sleef___m256d_2
#define GEOCONV_FAST_SET kFastAvx2Kernels
#define GEOCONV_FAST_NAME "avx2"
#include "sleef.hpp"
