// The exact kernels for x86-64 processors with AVX2 and FMA (4 doubles a
// vector), compiled with -mavx2 -mfma: reached only where the processor has
// both.
#define GEOCONV_LEVEL avx2
#include "kernels.hpp"

const geoconv::detail::KernelSet geoconv::detail::kAvx2Kernels =
    geoconv::detail::kernels::kernel_set<geoconv::detail::kernels::Widest,
                                         geoconv::detail::conv::Exact>("avx2");
