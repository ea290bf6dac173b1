// The fast kernels for x86-64 processors with AVX512 (8 doubles a vector),
// compiled for it: reached only where the processor has it.
#define GEOCONV_LEVEL fast_avx512
#define GEOCONV_SLEEF(f) Sleef_##f##d8_u10avx512f
#define GEOCONV_SLEEF_PAIR Sleef___m512d_2
#define GEOCONV_FAST_SET kFastAvx512Kernels
#define GEOCONV_FAST_NAME "avx512"
#include "sleef.hpp"
