#include "spectral/bin_magnitudes.h"

#include <cmath>

#include "spectral/cpu_features.h"
#include "spectral/kernel_passes.h"

namespace spectral {
namespace {

inline void magnitudesLoop(SpectralBin* bins, int32_t count) {
    for (int32_t k = 0; k < count; ++k) {
        const double re = bins[k].re;
        const double im = bins[k].im;
        bins[k].re = static_cast<float>(std::sqrt(re * re + im * im));
        bins[k].im = 0.0f;
    }
}

#if defined(TINVOICER_HAVE_AVX2_KERNEL)
// The loop inlined into an AVX2 function, where the compiler vectorises it 4 doubles wide.
__attribute__((target("avx2"))) void magnitudesAvx2(SpectralBin* bins, int32_t count) { magnitudesLoop(bins, count); }

// Decided once, at start-up.
const bool cpuHasAvx2 = cpuFeatures().avx2;
#endif

}  // namespace

void replaceByMagnitudesBaseline(SpectralBin* bins, int32_t count) { magnitudesLoop(bins, count); }

bool replaceByMagnitudesAvx2(SpectralBin* bins, int32_t count) {
#if defined(TINVOICER_HAVE_AVX2_KERNEL)
    if (cpuHasAvx2) {
        magnitudesAvx2(bins, count);
        return true;
    }
#endif
    (void)bins;
    (void)count;
    return false;
}

void replaceByMagnitudes(SpectralBin* bins, int32_t count) {
    if (!replaceByMagnitudesAvx2(bins, count)) magnitudesLoop(bins, count);
}

}  // namespace spectral
