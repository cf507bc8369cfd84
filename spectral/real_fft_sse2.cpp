// RealFft's 4-lane kernel: the stages of real_fft_lanes.h on SSE2 registers.
#include "spectral/real_fft_kernels.h"

#if defined(TINVOICER_HAVE_SSE2_KERNEL)

#include "spectral/real_fft_four_lanes.h"
#include "spectral/real_fft_lanes.h"

namespace realfft {

void forwardSse2(const StageTables& tables, float* out, const float* in) {
    forwardLanes<FourLanes, FourLanes>(tables, out, in);
}

void inverseSse2(const StageTables& tables, const float* spec, float* out) {
    inverseLanes<FourLanes, FourLanes>(tables, spec, out);
}

}  // namespace realfft

#endif
