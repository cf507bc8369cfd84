// Eight float lanes in one 256-bit register, for the loops of real_fft_lanes.h. Included, after
// their target pragmas, by the AVX2 kernel and by the AVX-512 kernel (for the stages whose blocks
// are too short for 16 lanes); the anonymous namespace gives each its own build.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace spectral {
namespace realfft {
namespace {

struct EightLanes {
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
}  // namespace realfft
}  // namespace spectral
