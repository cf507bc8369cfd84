// Fixed-length real FFT of 2^k float samples, in the half-complex layout.
#pragma once

#include <cstdint>
#include <memory>

/// Entry i is i with its k low bits reversed (k = 3: 0 4 2 6 1 5 3 7).
struct BitReverseTable {
    explicit BitReverseTable(int32_t bits);
    std::unique_ptr<int32_t[]> indices;
};

/// Cosines for stages 3 .. k-1: section p holds cos(j*pi/2^p) for j < 2^(p-1), starting at
/// index 2^(p-1) - 4. Null when k <= 3. A section's sines are its own entries read backwards.
struct TwiddleTable {
    explicit TwiddleTable(int32_t bits);
    std::unique_ptr<float[]> cosines;
};

/// Real FFT of a fixed length N = 2^k. Spectrum layout (h = N/2): slot 0 DC, slots 1..h-1 the real
/// parts of bins 1..h-1, slot h Nyquist, slots h+1..N-1 the imaginary parts of bins 1..h-1, with
/// the sign of sum x[t]*sin(2*pi*m*t/N). Construction allocates every table; the transforms
/// allocate nothing and evaluate no trigonometric function. One object serves one transform at a time.
class RealFft {
public:
    explicit RealFft(int32_t length);
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;
    ~RealFft();

    /// N samples of `in` into N floats of half-complex spectrum in `out`. `in` is only read.
    /// Not scaled. `out` and `in` must be distinct.
    void forward(float* out, const float* in);
    /// N floats of spectrum into N samples times N (no 1/N). `spec` is only read; must differ from `out`.
    void inverse(const float* spec, float* out);
    /// Multiplies N values in place by float(1.0/N). Returns `values`.
    float* rescale(float* values);

    int32_t size() const { return length; }

private:
    BitReverseTable bitReverse;
    TwiddleTable twiddles;
    float sqrtHalf;
    int32_t length;
    int32_t bits;
    std::unique_ptr<float[]> work;
};
