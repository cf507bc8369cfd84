// The AVX-512 kernel: the transforms on 16-lane registers and the frame's passes, all compiled
// for AVX-512F beside the baseline code and run only when the CPU reports AVX-512F. What may
// follow the target pragma, and why, is the rule in kernel_passes.h: internal linkage only.
#include "spectral/kernel_passes.h"

#if defined(TINVOICER_HAVE_AVX512_KERNEL)

#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <utility>

#include "spectral/real_fft.h"
#include "spectral/spectral_processor.h"

#pragma GCC push_options
// GCC 12's AVX-512 shuffle intrinsics start from _mm512_undefined_ps(), which its uninitialised-use
// check mistakes for a real read once they are inlined here (fixed in GCC 13).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// AVX-512F only (no "fma"; -ffp-contract=off keeps the compiler from fusing anyway). The frame's
// passes are vectorised 512 bits wide, which the default tuning would not prefer.
#pragma GCC target("avx512f", "prefer-vector-width=512")

// The kernels' own headers. 8 and 4 lanes come EVEX/VEX-encoded here, for the stages whose
// blocks are too short for 16 lanes.
#include "spectral/frame_loops.h"
#include "spectral/real_fft_eight_lanes.h"
#include "spectral/real_fft_four_lanes.h"
#include "spectral/real_fft_lanes.h"

namespace spectral {
namespace realfft {
namespace {

struct SixteenLanes {
    using Reg = __m512;
    static constexpr int32_t width = 16;
    static Reg load(const float* p) { return _mm512_loadu_ps(p); }
    static void store(float* p, Reg v) { _mm512_storeu_ps(p, v); }
    static Reg set1(float x) { return _mm512_set1_ps(x); }
    static Reg add(Reg a, Reg b) { return _mm512_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm512_sub_ps(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm512_mul_ps(a, b); }
    static Reg reversed(Reg v) {
        return _mm512_permutexvar_ps(_mm512_setr_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0), v);
    }
    static void transpose(Reg* rows) {
        // 4 x 4 within each 128-bit quarter of each group of four rows: row 4g + q then holds, in
        // its quarter j, column 4j + q of rows 4g .. 4g + 3.
        for (int32_t g = 0; g < 16; g += 4) {
            const Reg t0 = _mm512_unpacklo_ps(rows[g], rows[g + 1]);
            const Reg t1 = _mm512_unpackhi_ps(rows[g], rows[g + 1]);
            const Reg t2 = _mm512_unpacklo_ps(rows[g + 2], rows[g + 3]);
            const Reg t3 = _mm512_unpackhi_ps(rows[g + 2], rows[g + 3]);
            rows[g] = _mm512_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
            rows[g + 1] = _mm512_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
            rows[g + 2] = _mm512_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
            rows[g + 3] = _mm512_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
        }
        // Then the quarters: column 4j + q is quarter j of rows q, 4 + q, 8 + q and 12 + q.
        for (int32_t q = 0; q < 4; ++q) {
            const Reg a01b01 = _mm512_shuffle_f32x4(rows[q], rows[4 + q], 0x44);
            const Reg c01d01 = _mm512_shuffle_f32x4(rows[8 + q], rows[12 + q], 0x44);
            const Reg a23b23 = _mm512_shuffle_f32x4(rows[q], rows[4 + q], 0xee);
            const Reg c23d23 = _mm512_shuffle_f32x4(rows[8 + q], rows[12 + q], 0xee);
            rows[q] = _mm512_shuffle_f32x4(a01b01, c01d01, 0x88);
            rows[4 + q] = _mm512_shuffle_f32x4(a01b01, c01d01, 0xdd);
            rows[8 + q] = _mm512_shuffle_f32x4(a23b23, c23d23, 0x88);
            rows[12 + q] = _mm512_shuffle_f32x4(a23b23, c23d23, 0xdd);
        }
    }
};

}  // namespace
}  // namespace realfft

namespace {

void forward(const StageTables& tables, float* out, const float* in) {
    realfft::forwardLanes<realfft::SixteenLanes, realfft::EightLanes, realfft::FourLanes>(tables, out, in);
}

void inverse(const StageTables& tables, float* out, const float* spec) {
    realfft::inverseLanes<realfft::SixteenLanes, realfft::EightLanes, realfft::FourLanes>(tables, out, spec);
}

}  // namespace

// The first pass fills 16 lanes with 16-point blocks: N >= 256.
const KernelPasses kernels::avx512 = passesWith(RealFft::Kernel::Avx512, 8, forward, inverse);

}  // namespace spectral

#pragma GCC diagnostic pop
#pragma GCC pop_options

#endif
