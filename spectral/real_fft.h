// Fixed-length real FFT of 2^k float samples, in the half-complex layout.
#pragma once

#include <cstdint>
#include <memory>

#include "spectral/aligned_floats.h"

namespace spectral {

struct KernelPasses;
struct StageTables;

/// Entry i of `indices` is i with its k low bits reversed (k = 3: 0 4 2 6 1 5 3 7); 2^k entries.
struct BitReverseTable {
    explicit BitReverseTable(int32_t bits);
    std::unique_ptr<int32_t[]> indices;
};

/// Cosines for stages 3 .. k-1: section p holds cos(j*pi/2^p) for j < 2^(p-1), starting at
/// index 2^(p-1) - 4, so 2^(k-1) - 4 entries in all (508 for k = 10). Null when k <= 3.
/// A section's sines are its own entries read backwards: entry Q - m of section p (Q = 2^(p-1))
/// is sin(m*pi/2^p).
struct TwiddleTable {
    explicit TwiddleTable(int32_t bits);
    std::unique_ptr<float[]> cosines;
};

/// Real FFT of a fixed length N = 2^k, all arithmetic in float32, every butterfly result stored
/// as a float before the next stage reads it (the output bits depend on the stage order).
///
/// Spectrum layout (h = N/2): slot 0 DC, slots 1..h-1 the real parts of bins 1..h-1, slot h
/// Nyquist, slots h+1..N-1 the imaginary parts of bins 1..h-1 with the sign of
/// sum x[t]*sin(2*pi*m*t/N) (the opposite of the e^(-i...) convention; magnitudes agree).
///
/// Not scaled: rescale(inverse(forward(x))) == x within float precision; inverse alone gives N*x.
/// Construction allocates the two tables and, for N >= 8, an N-float work array (with 15 floats
/// more, to start it on a 64-byte boundary, where the widest registers load fastest); the transforms
/// allocate nothing, evaluate no trigonometric function and keep no state between calls.
/// One object serves one transform at a time (the work array is shared).
///
/// Lengths: a requested length that is not a power of two in [1, maxLength] is adjusted by
/// lengthFor() (rounded up to the next power of two, clamped to that range), so every object is
/// valid; size() tells the length actually used, and callers must size their arrays from it.
class RealFft {
public:
    /// The code that runs the stages, narrowest first. Every kernel gives the same output bits
    /// as Scalar, the plain stage-by-stage form; the vector ones run several independent
    /// butterflies at once. Short lengths, below what a kernel's lanes can fill, run the next
    /// narrower kernel. See kernel_passes.h.
    enum class Kernel : int32_t {
        Scalar,  ///< one butterfly at a time, the readable definition
        Sse2,    ///< 4 lanes, N >= 64; compiled only where the compiler targets SSE2 (every x86-64)
        Avx2,    ///< 8 lanes, N >= 128; compiled for x86 by GCC outside Windows, run when the CPU has AVX2
        Avx512,  ///< 16 lanes, N >= 256; built like Avx2, run when the CPU has AVX-512F
    };

    /// Whether this build has `kernel` and this CPU can run it.
    static bool supports(Kernel kernel);
    /// The widest kernel that supports() allows: the one an object gets unless told otherwise.
    static Kernel fastestKernel();

    /// Largest length an object accepts (2^20); larger requests are clamped to it.
    static constexpr int32_t maxLength = int32_t{1} << 20;

    /// The length an object built for `requested` uses: 1 for requested <= 1, maxLength for
    /// requested >= maxLength, otherwise the smallest power of two >= requested.
    static int32_t lengthFor(int32_t requested);

    /// Uses fastestKernel(), decided once here.
    explicit RealFft(int32_t length);
    /// Uses `kernel`, or the widest kernel below it that supports() allows and whose lanes the
    /// length fills. For comparing kernels.
    RealFft(int32_t length, Kernel kernel);
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;
    ~RealFft();

    /// N samples of `in` into N floats of half-complex spectrum in `out`. `in` is only read.
    /// Not scaled. `out` and `in` must be distinct (they may not overlap). Never allocates.
    void forward(float* out, const float* in);
    /// N floats of half-complex spectrum in `spec` into N samples times N (no 1/N) in `out`.
    /// `spec` is only read. `out` and `spec` must be distinct (they may not overlap). Never
    /// allocates.
    void inverse(float* out, const float* spec);
    /// Multiplies N values in place by float(1.0/N), from the last to the first. Returns `values`.
    float* rescale(float* values);

    /// N, the length actually used (see lengthFor).
    int32_t size() const { return length; }
    /// The kernel whose code this object runs.
    Kernel kernel() const;

private:
    RealFft(int32_t length, int32_t bits, Kernel kernel);
    StageTables stageTables() const;

    BitReverseTable bitReverse;
    TwiddleTable twiddles;
    float sqrtHalf;
    int32_t length;
    int32_t bits;
    AlignedFloats work;          ///< empty when k <= 2
    const KernelPasses* passes;  ///< chosen once, at construction
};

}  // namespace spectral
