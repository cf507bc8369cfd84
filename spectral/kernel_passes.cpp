#include "spectral/kernel_passes.h"

namespace spectral {

namespace {

RealFft::Kernel narrower(RealFft::Kernel kernel) {
    return static_cast<RealFft::Kernel>(static_cast<int32_t>(kernel) - 1);
}

const KernelPasses& tableOf(RealFft::Kernel kernel) {
    switch (kernel) {
        case RealFft::Kernel::Scalar: break;
        case RealFft::Kernel::Sse2:
#if defined(TINVOICER_HAVE_SSE2_KERNEL)
            return kernels::sse2;
#else
            break;
#endif
        case RealFft::Kernel::Avx2:
#if defined(TINVOICER_HAVE_AVX2_KERNEL)
            return kernels::avx2;
#else
            break;
#endif
        case RealFft::Kernel::Avx512:
#if defined(TINVOICER_HAVE_AVX512_KERNEL)
            return kernels::avx512;
#else
            break;
#endif
    }
    return kernels::scalar;
}

}  // namespace

RealFft::Kernel kernelFor(RealFft::Kernel kernel, int32_t bits) {
    while (kernel != RealFft::Kernel::Scalar && (!RealFft::supports(kernel) || bits < tableOf(kernel).minBits)) {
        kernel = narrower(kernel);
    }
    return kernel;
}

const KernelPasses& kernelPasses(RealFft::Kernel kernel) {
    constexpr int32_t longest = 31;  // no length limits the choice
    return tableOf(kernelFor(kernel, longest));
}

}  // namespace spectral
