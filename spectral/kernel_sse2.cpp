// The SSE2 kernel: the transforms on 4-lane registers, the frame's passes as the baseline builds
// them (SSE2 is part of every x86-64 baseline).
#include "spectral/kernel_passes.h"

#if defined(TINVOICER_HAVE_SSE2_KERNEL)

#include "spectral/frame_loops.h"
#include "spectral/real_fft_four_lanes.h"
#include "spectral/real_fft_lanes.h"

namespace spectral {
namespace {

void forward(const StageTables& tables, float* out, const float* in) {
    realfft::forwardLanes<realfft::FourLanes>(tables, out, in);
}

void inverse(const StageTables& tables, float* out, const float* spec) {
    realfft::inverseLanes<realfft::FourLanes>(tables, out, spec);
}

}  // namespace

// The first pass fills 4 lanes with 16-point blocks: N >= 64.
const KernelPasses kernels::sse2 = passesWith(RealFft::Kernel::Sse2, 6, forward, inverse);

}  // namespace spectral

#endif
