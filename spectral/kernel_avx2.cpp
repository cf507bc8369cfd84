// The AVX2 kernel: the transforms on 8-lane registers and the frame's passes, all compiled for
// AVX2 beside the baseline code and run only when the CPU reports AVX2. What may follow the
// target pragma, and why, is the rule in kernel_passes.h: internal linkage only.
#include "spectral/kernel_passes.h"

#if defined(TINVOICER_HAVE_AVX2_KERNEL)

#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <utility>

#include "spectral/real_fft.h"
#include "spectral/spectral_processor.h"

#pragma GCC push_options
// AVX2 only: no "fma" here, and -ffp-contract=off keeps the compiler from fusing anyway.
#pragma GCC target("avx2")

// The kernels' own headers. The 4 lanes of the SSE2 kernel come VEX-encoded here, for the stage
// whose blocks are too short for 8 lanes.
#include "spectral/frame_loops.h"
#include "spectral/real_fft_eight_lanes.h"
#include "spectral/real_fft_four_lanes.h"
#include "spectral/real_fft_lanes.h"

namespace spectral {
namespace {

void forward(const StageTables& tables, float* out, const float* in) {
    realfft::forwardLanes<realfft::EightLanes, realfft::FourLanes>(tables, out, in);
}

void inverse(const StageTables& tables, float* out, const float* spec) {
    realfft::inverseLanes<realfft::EightLanes, realfft::FourLanes>(tables, out, spec);
}

}  // namespace

// The first pass fills 8 lanes with 16-point blocks: N >= 128.
const KernelPasses kernels::avx2 = passesWith(RealFft::Kernel::Avx2, 7, forward, inverse);

}  // namespace spectral

#pragma GCC pop_options

#endif
