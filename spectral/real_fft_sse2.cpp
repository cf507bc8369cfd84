// RealFft's 4-lane kernel: the stages of real_fft_lanes.h on SSE2 registers.
#include "spectral/real_fft_kernels.h"

#if defined(TINVOICER_HAVE_SSE2_KERNEL)

#include <emmintrin.h>

#include "spectral/real_fft_lanes.h"

namespace realfft {
namespace {

struct Sse2Lanes {
    using Reg = __m128;
    static constexpr int32_t width = 4;
    static Reg load(const float* p) { return _mm_loadu_ps(p); }
    static void store(float* p, Reg v) { _mm_storeu_ps(p, v); }
    static Reg set1(float x) { return _mm_set1_ps(x); }
    static Reg add(Reg a, Reg b) { return _mm_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm_sub_ps(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm_mul_ps(a, b); }
    static Reg reversed(Reg v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3)); }
    static void transpose(Reg* rows) { _MM_TRANSPOSE4_PS(rows[0], rows[1], rows[2], rows[3]); }
};

}  // namespace

void forwardSse2(const StageTables& tables, float* out, const float* in) {
    forwardLanes<Sse2Lanes, Sse2Lanes>(tables, out, in);
}

void inverseSse2(const StageTables& tables, const float* spec, float* out) {
    inverseLanes<Sse2Lanes, Sse2Lanes>(tables, spec, out);
}

}  // namespace realfft

#endif
