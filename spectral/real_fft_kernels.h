// Internal to RealFft: the vector kernels and what they borrow from the object. Each kernel runs
// the same butterflies as the scalar stages in real_fft.cpp, in the same order of operations
// inside each butterfly, only several butterflies at once, so its output bits are the same.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#define TINVOICER_HAVE_SSE2_KERNEL 1
#endif
// GCC compiles AVX2 functions beside baseline code under a target pragma (Clang has no such
// pragma: it gets the SSE2 kernel). Not on Windows: there GCC cannot align the stack to 32
// bytes, and a spilled AVX register would fault.
#if defined(TINVOICER_HAVE_SSE2_KERNEL) && defined(__GNUC__) && !defined(__clang__) && !defined(_WIN32) && \
    (defined(__x86_64__) || defined(__i386__))
#define TINVOICER_HAVE_AVX2_KERNEL 1
#endif

namespace realfft {

/// The object's tables and work array, as the kernels see them.
struct StageTables {
    const int32_t* indices;  ///< bit-reversal table, 2^bits entries
    const float* cosines;    ///< twiddle sections 3 .. bits-1
    float* work;             ///< N floats of scratch
    float sqrtHalf;
    int32_t bits;            ///< k, N = 2^k
};

#if defined(TINVOICER_HAVE_SSE2_KERNEL)
/// Shortest transform the SSE2 kernel runs: its first pass fills 4 lanes with 16-point blocks.
constexpr int32_t sse2MinBits = 6;
void forwardSse2(const StageTables& tables, float* out, const float* in);
void inverseSse2(const StageTables& tables, const float* spec, float* out);
#endif

#if defined(TINVOICER_HAVE_AVX2_KERNEL)
/// Shortest transform the AVX2 kernel runs: its first pass fills 8 lanes with 16-point blocks.
constexpr int32_t avx2MinBits = 7;
bool cpuHasAvx2();
void forwardAvx2(const StageTables& tables, float* out, const float* in);
void inverseAvx2(const StageTables& tables, const float* spec, float* out);
#endif

}  // namespace realfft
