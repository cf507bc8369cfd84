// Four float lanes in one 128-bit register, for the loops of real_fft_lanes.h.
// Included by each kernel's own file: the baseline kernel compiles it as SSE2, the AVX2 kernel
// as VEX-encoded code under its target pragma. The anonymous namespace gives every includer its
// own copy, so the two encodings never meet at link time.
#pragma once

#include <emmintrin.h>

#include <cstdint>

namespace spectral {
namespace realfft {
namespace {

struct FourLanes {
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
}  // namespace realfft
}  // namespace spectral
