// The scalar kernel: RealFft's stages one butterfly at a time, the readable definition of the
// transforms' output bits, and the frame's passes built for the baseline instruction set.
//
// Each stage writes every slot of its destination from its source alone, storing each butterfly
// result as a float before the next stage reads it. A faster kernel must give the same bits.
#include <cstdint>
#include <utility>

#include "spectral/frame_loops.h"
#include "spectral/kernel_passes.h"
#include "spectral/real_fft_butterflies.h"

namespace spectral {
namespace {

using realfft::Four;
using realfft::OneLane;

// First forward stage: 4-point spectra of the samples gathered through the bit-reversal table.
void forwardGather4(float* __restrict dst, const float* __restrict in, const int32_t* indices, int32_t n) {
    for (int32_t i = 0; i < n; i += 4) {
        const Four<OneLane> r = realfft::forwardGather4<OneLane>(in[indices[i]], in[indices[i + 1]], in[indices[i + 2]],
                                                                 in[indices[i + 3]]);
        dst[i] = r.r0;
        dst[i + 1] = r.r1;
        dst[i + 2] = r.r2;
        dst[i + 3] = r.r3;
    }
}

void forwardStage8(float* __restrict dst, const float* __restrict src, int32_t n, float r) {
    for (int32_t j = 0; j < n; j += 8) realfft::forward8<OneLane>(dst + j, src + j, r);
}

void inverseStage8(float* __restrict dst, const float* __restrict src, int32_t n, float r) {
    for (int32_t j = 0; j < n; j += 8) realfft::inverse8<OneLane>(dst + j, src + j, r);
}

// Last inverse stage: 4-point inverse spectra scattered through the bit-reversal table.
void inverseScatter4(float* __restrict out, const float* __restrict src, const int32_t* indices, int32_t n) {
    for (int32_t i = 0; i < n; i += 4) {
        const Four<OneLane> r = realfft::inverseScatter4<OneLane>(src[i], src[i + 1], src[i + 2], src[i + 3]);
        out[indices[i]] = r.r0;
        out[indices[i + 1]] = r.r1;
        out[indices[i + 2]] = r.r2;
        out[indices[i + 3]] = r.r3;
    }
}

void forward(const StageTables& t, float* out, const float* in) {
    switch (t.bits) {
        case 0: out[0] = in[0]; return;
        case 1:
            out[0] = in[0] + in[1];
            out[1] = in[0] - in[1];
            return;
        case 2: {
            const Four<OneLane> r = realfft::forwardGather4<OneLane>(in[0], in[2], in[1], in[3]);
            out[0] = r.r0;
            out[1] = r.r1;
            out[2] = r.r2;
            out[3] = r.r3;
            return;
        }
        default: break;
    }
    const int32_t n = int32_t{1} << t.bits;
    // Starting in `work` for odd k and in `out` for even k makes the last stage land in `out`.
    float* src = (t.bits & 1) ? t.work : out;
    float* dst = (t.bits & 1) ? out : t.work;
    forwardGather4(src, in, t.indices, n);
    forwardStage8(dst, src, n, t.sqrtHalf);
    for (int32_t p = 3; p < t.bits; ++p) {
        std::swap(src, dst);
        realfft::forwardStageOnRegisters<OneLane>(dst, src, n, p, t.cosines);
    }
}

void inverse(const StageTables& t, float* out, const float* spec) {
    switch (t.bits) {
        case 0: out[0] = spec[0]; return;
        case 1:
            out[0] = spec[0] + spec[1];
            out[1] = spec[0] - spec[1];
            return;
        case 2: {
            const Four<OneLane> r = realfft::inverseScatter4<OneLane>(spec[0], spec[1], spec[2], spec[3]);
            out[0] = r.r0;
            out[2] = r.r1;
            out[1] = r.r2;
            out[3] = r.r3;
            return;
        }
        default: break;
    }
    const int32_t n = int32_t{1} << t.bits;
    // The general stages alternate starting from `work` for odd k and `out` for even k, so the
    // 8-point stage always writes `work` and the scatter reads `work` into `out`.
    const float* src = spec;
    float* dst = (t.bits & 1) ? t.work : out;
    for (int32_t p = t.bits - 1; p >= 3; --p) {
        realfft::inverseStageOnRegisters<OneLane>(dst, src, n, p, t.cosines);
        src = dst;
        dst = (dst == out) ? t.work : out;
    }
    inverseStage8(t.work, src, n, t.sqrtHalf);
    inverseScatter4(out, t.work, t.indices, n);
}

}  // namespace

const KernelPasses kernels::scalar = passesWith(RealFft::Kernel::Scalar, 0, forward, inverse);

}  // namespace spectral
