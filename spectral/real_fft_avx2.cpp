// RealFft's 8-lane kernel: the stages of real_fft_lanes.h on AVX registers, compiled for AVX2
// beside the baseline code and run only when the CPU reports AVX2 (and the system saves its
// registers). Everything defined in this file is built for that target, nothing else is.
#include "spectral/real_fft_kernels.h"

#if defined(TINVOICER_HAVE_AVX2_KERNEL)

#include <immintrin.h>

#include <cstdint>
#include <utility>  // before the pragma: the standard library stays built for the baseline

#pragma GCC push_options
// AVX2 only: no "fma" here, and -ffp-contract=off keeps the compiler from fusing anyway.
#pragma GCC target("avx2")

// The same 4 lanes as the SSE2 kernel, VEX-encoded here, for the stage whose blocks are too
// short for 8 lanes.
#include "spectral/real_fft_four_lanes.h"
#include "spectral/real_fft_lanes.h"

namespace realfft {
namespace {

struct Avx2Lanes {
    using Reg = __m256;
    static constexpr int32_t width = 8;
    static Reg load(const float* p) { return _mm256_loadu_ps(p); }
    static void store(float* p, Reg v) { _mm256_storeu_ps(p, v); }
    static Reg set1(float x) { return _mm256_set1_ps(x); }
    static Reg add(Reg a, Reg b) { return _mm256_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm256_sub_ps(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm256_mul_ps(a, b); }
    static Reg reversed(Reg v) { return _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0)); }
    static void transpose(Reg* rows) {
        // 4 x 4 within each 128-bit half, then the halves exchanged between rows l and l + 4.
        for (int32_t h = 0; h < 8; h += 4) {
            const Reg t0 = _mm256_unpacklo_ps(rows[h], rows[h + 1]);
            const Reg t1 = _mm256_unpackhi_ps(rows[h], rows[h + 1]);
            const Reg t2 = _mm256_unpacklo_ps(rows[h + 2], rows[h + 3]);
            const Reg t3 = _mm256_unpackhi_ps(rows[h + 2], rows[h + 3]);
            rows[h] = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
            rows[h + 1] = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
            rows[h + 2] = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
            rows[h + 3] = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
        }
        for (int32_t l = 0; l < 4; ++l) {
            const Reg low = rows[l];
            rows[l] = _mm256_permute2f128_ps(low, rows[l + 4], 0x20);
            rows[l + 4] = _mm256_permute2f128_ps(low, rows[l + 4], 0x31);
        }
    }
};

}  // namespace

void forwardAvx2(const StageTables& tables, float* out, const float* in) {
    forwardLanes<Avx2Lanes, FourLanes>(tables, out, in);
}

void inverseAvx2(const StageTables& tables, const float* spec, float* out) {
    inverseLanes<Avx2Lanes, FourLanes>(tables, spec, out);
}

}  // namespace realfft

#pragma GCC pop_options

namespace realfft {

bool cpuHasAvx2() {
    __builtin_cpu_init();
    // libgcc reports AVX2 only when the system also saves the YMM registers (XCR0).
    return __builtin_cpu_supports("avx2");
}

}  // namespace realfft

#endif
