// The exact kernels for x86-64 processors with AVX-512 (8 doubles a vector),
// compiled with -mavx512f -mfma: reached only where the processor has them.
#define GEOCONV_LEVEL avx512
#include "kernels.hpp"

const geoconv::detail::KernelSet geoconv::detail::kAvx512Kernels =
    geoconv::detail::kernels::kernel_set<geoconv::detail::kernels::Widest,
                                         geoconv::detail::conv::Exact>("avx512");
