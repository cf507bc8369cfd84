// The code each kernel runs: RealFft's two transforms and a frame's elementwise passes, one table
// per instruction set. An object picks its table once, when it is built, from one kernel choice;
// nothing on the audio path tests the CPU or the kernel again.
//
// Every table gives the bits of the scalar one. The transforms run the butterflies of
// real_fft_butterflies.h, several at once; each elementwise pass forms every output element with
// the same correctly rounded operations in the same order, whatever the width.
#pragma once

#include <cstdint>

#include "spectral/real_fft.h"

#if defined(__SSE2__)
#define TINVOICER_HAVE_SSE2_KERNEL 1
#endif
// GCC compiles AVX2 and AVX-512 functions beside baseline code under target pragmas (Clang has no
// such pragma: it gets the SSE2 kernel). Not on Windows: there GCC cannot align the stack to 32
// or 64 bytes, and a spilled wide register would fault.
//
// The rule for a source with a target pragma: every function compiled after the pragma gets the
// wide instruction set, so after it comes only code with internal linkage (the kernel's own
// functions and the headers written for it, everything in an anonymous namespace). A function
// with external linkage compiled there, an inline function or a template of a shared header,
// would become a wide copy that the linker may pick for every caller, baseline ones included.
// Every header that defines such functions (the standard library's, the toolkit's own) is
// included before the pragma, where #pragma once makes the later includes empty.
// scripts/check-kernels checks the result in the objects.
#if defined(TINVOICER_HAVE_SSE2_KERNEL) && defined(__GNUC__) && !defined(__clang__) && !defined(_WIN32) && \
    (defined(__x86_64__) || defined(__i386__))
#define TINVOICER_HAVE_AVX2_KERNEL 1
#define TINVOICER_HAVE_AVX512_KERNEL 1
#endif

namespace spectral {

struct SpectralBin;

/// A RealFft object's tables and work array, as the transforms see them.
struct StageTables {
    const int32_t* indices;  ///< bit-reversal table, 2^bits entries
    const float* cosines;    ///< twiddle sections 3 .. bits-1
    float* work;             ///< N floats of scratch (null for bits <= 2)
    float sqrtHalf;
    int32_t bits;  ///< k, N = 2^k
};

struct KernelPasses {
    RealFft::Kernel kernel;
    /// Shortest transform (log2 N) whose blocks fill this kernel's lanes; shorter ones run the
    /// next narrower kernel.
    int32_t minBits;

    /// RealFft::forward and RealFft::inverse for N = 2^bits >= 2^minBits.
    void (*forward)(const StageTables& tables, float* out, const float* in);
    void (*inverse)(const StageTables& tables, float* out, const float* spec);

    /// frame[i] = window[i] * (the sample pushed n - i calls ago): the ring's first run of
    /// `firstRun` samples starts at ring[writePos], the rest starts at ring[0].
    void (*windowFromRing)(float* frame, const float* window, const float* ring, int32_t writePos, int32_t firstRun,
                           int32_t n);
    /// The half-complex spectrum of N floats as bins 0 .. nyquist (N/2), and back; the bins 0 and
    /// nyquist lose their imaginary parts on the way back.
    void (*spectrumToBins)(SpectralBin* bins, const float* spectrum, int32_t nyquist);
    void (*binsToSpectrum)(float* spectrum, const SpectralBin* bins, int32_t nyquist);
    /// Each bin becomes (float(sqrt(re*re + im*im)), 0), squares, sum and root in double.
    void (*magnitudes)(SpectralBin* bins, int32_t count);
    /// accum[...] += window[i] * (float(1/n) * frame[i]) along the same two runs as
    /// windowFromRing; the last hop of them is stored, not added (those sums start afresh).
    void (*overlapAdd)(float* accum, const float* window, const float* frame, int32_t writePos, int32_t firstRun,
                       int32_t hop, int32_t n);
};

/// The kernel a transform of 2^bits points runs when `kernel` is asked for: `kernel`, or the
/// widest kernel below it that this build has, this CPU runs and whose lanes the length fills.
RealFft::Kernel kernelFor(RealFft::Kernel kernel, int32_t bits);

/// The table of `kernel`, or of the widest kernel below it that this build has and this CPU runs.
const KernelPasses& kernelPasses(RealFft::Kernel kernel);

}  // namespace spectral

namespace spectral::kernels {

// Each defined in the kernel's own source, built for its instruction set.
extern const KernelPasses scalar;
#if defined(TINVOICER_HAVE_SSE2_KERNEL)
extern const KernelPasses sse2;
#endif
#if defined(TINVOICER_HAVE_AVX2_KERNEL)
extern const KernelPasses avx2;
#endif
#if defined(TINVOICER_HAVE_AVX512_KERNEL)
extern const KernelPasses avx512;
#endif

}  // namespace spectral::kernels
