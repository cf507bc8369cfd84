// A frame's elementwise passes, written once and compiled by each kernel's source for its own
// instruction set, where the compiler vectorises them. Each output element is formed by the same
// correctly rounded operations in the same order at any width, so every build gives the same
// bits. Internal linkage: each includer gets its own build.
#pragma once

#include <cmath>
#include <cstdint>

#include "spectral/kernel_passes.h"
#include "spectral/spectral_processor.h"

namespace spectral {
namespace {

void windowFromRing(float* frame, const float* window, const float* ring, int32_t writePos, int32_t firstRun,
                    int32_t n) {
    for (int32_t i = 0; i < firstRun; ++i) frame[i] = window[i] * ring[writePos + i];
    for (int32_t i = firstRun; i < n; ++i) frame[i] = window[i] * ring[i - firstRun];
}

void spectrumToBins(SpectralBin* bins, const float* spectrum, int32_t nyquist) {
    bins[0] = {spectrum[0], 0.0f};
    for (int32_t m = 1; m < nyquist; ++m) bins[m] = {spectrum[m], spectrum[nyquist + m]};
    bins[nyquist] = {spectrum[nyquist], 0.0f};
}

void binsToSpectrum(float* spectrum, const SpectralBin* bins, int32_t nyquist) {
    for (int32_t m = 0; m <= nyquist; ++m) spectrum[m] = bins[m].re;
    for (int32_t m = 1; m < nyquist; ++m) spectrum[nyquist + m] = bins[m].im;
}

void magnitudes(SpectralBin* bins, int32_t count) {
    for (int32_t k = 0; k < count; ++k) {
        const double re = bins[k].re;
        const double im = bins[k].im;
        bins[k].re = static_cast<float>(std::sqrt(re * re + im * im));
        bins[k].im = 0.0f;
    }
}

// The 1/N factor (RealFft::rescale's product), the synthesis window and the overlap-add in one
// pass. Frame sample i belongs to the position where the sample pushed i calls from now goes; the
// last hop of them land on the positions whose old sums the last hop calls already returned.
void overlapAdd(float* accum, const float* window, const float* frame, int32_t writePos, int32_t firstRun, int32_t hop,
                int32_t n) {
    const float scale = static_cast<float>(1.0 / n);
    const int32_t addEnd = n - hop;
    for (int32_t i = 0; i < firstRun; ++i) accum[writePos + i] += window[i] * (scale * frame[i]);
    for (int32_t i = firstRun; i < addEnd; ++i) accum[i - firstRun] += window[i] * (scale * frame[i]);
    for (int32_t i = addEnd; i < n; ++i) accum[i - firstRun] = window[i] * (scale * frame[i]);
}

/// The table of a kernel whose transforms are `forward` and `inverse`, with the passes above.
constexpr KernelPasses passesWith(RealFft::Kernel kernel, int32_t minBits,
                                  void (*forward)(const StageTables&, float*, const float*),
                                  void (*inverse)(const StageTables&, float*, const float*)) {
    return {kernel, minBits, forward, inverse, windowFromRing, spectrumToBins, binsToSpectrum, magnitudes, overlapAdd};
}

}  // namespace
}  // namespace spectral
