#include "spectral/spectral_processor.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "spectral/pi.h"

namespace {

int32_t frameSizeFor(int32_t requested) {
    return requested <= 4 ? 4 : RealFft::lengthFor(requested);
}

}  // namespace

SpectralProcessor::SpectralProcessor(int32_t frameSize) : SpectralProcessor(frameSize, RealFft::fastestKernel()) {}

SpectralProcessor::SpectralProcessor(int32_t frameSize, RealFft::Kernel kernel)
    : size(frameSizeFor(frameSize)),
      bins(new SpectralBin[static_cast<std::size_t>(size / 2 + 1)]),
      hop(size / 4),
      fft(new RealFft(size, kernel)),
      inputRing(new float[static_cast<std::size_t>(size)]),
      frame(new float[static_cast<std::size_t>(size)]),
      outputAccum(new float[static_cast<std::size_t>(size)]),
      spectrum(new float[static_cast<std::size_t>(size)]),
      window(new float[static_cast<std::size_t>(size)]) {
    reset();
    setWindow(SineCycle);
}

SpectralProcessor::~SpectralProcessor() = default;

void SpectralProcessor::processSpectrum() {}

void SpectralProcessor::reset() {
    hopCount = 0;
    writePos = 0;
    std::fill(frame.get(), frame.get() + size, 0.0f);
    std::fill(outputAccum.get(), outputAccum.get() + size, 0.0f);
    std::fill(inputRing.get(), inputRing.get() + size, 0.0f);
    std::fill(bins.get(), bins.get() + size / 2 + 1, SpectralBin{});
}

void SpectralProcessor::setWindow(int32_t type) {
    const int32_t n = size;
    const double last = n - 1;
    switch (type) {
        case RaisedCosine:
            for (int32_t i = 0; i < n; ++i) {
                window[i] = static_cast<float>(0.5 * (1.0 - std::cos(2.0 * spectral::pi * (i / last))));
            }
            break;
        case Rectangular:
            std::fill(window.get(), window.get() + n, 1.0f);
            break;
        case SineCycle:
            for (int32_t i = 0; i < n; ++i) {
                window[i] = static_cast<float>(std::sin(2.0 * spectral::pi * (i / last)));
            }
            break;
        default:
            break;
    }
}

float SpectralProcessor::processSample(float x) {
    if (hopCount >= hop) processFrame();
    inputRing[writePos] = x;
    ++writePos;
    ++hopCount;
    return outputAccum[writePos - 1];
}

void SpectralProcessor::processBlock(const float* in, float* out, int32_t count) {
    while (count > 0) {
        if (hopCount >= hop) processFrame();
        // writePos - hopCount is a multiple of hop at most n - hop, so a run up to the next
        // frame stays inside the ring.
        const int32_t run = std::min(count, hop - hopCount);
        const int32_t pos = writePos;
        std::copy(in, in + run, inputRing.get() + pos);
        std::copy(outputAccum.get() + pos, outputAccum.get() + pos + run, out);
        writePos += run;
        hopCount += run;
        in += run;
        out += run;
        count -= run;
    }
}

void SpectralProcessor::processFrame() {
    const int32_t n = size;
    const int32_t half = n / 2;
    hopCount -= hop;
    // Frames start only at writePos = hop, 2*hop, 3*hop or n, so the ring's first run R is at
    // most n - hop and n wraps to 0 here, before this call writes.
    const int32_t firstRun = n - writePos;
    if (writePos >= n) writePos -= n;

    analyse(firstRun);
    fft->forward(spectrum.get(), frame.get());
    bins[0] = {spectrum[0], 0.0f};
    for (int32_t m = 1; m < half; ++m) bins[m] = {spectrum[m], spectrum[half + m]};
    bins[half] = {spectrum[half], 0.0f};

    processSpectrum();

    for (int32_t m = 0; m <= half; ++m) spectrum[m] = bins[m].re;
    for (int32_t m = 1; m < half; ++m) spectrum[half + m] = bins[m].im;
    fft->inverse(spectrum.get(), frame.get());
    synthesise(firstRun);
}

// Gather and analysis window, oldest sample first: frame[i] is the sample pushed n - i calls ago.
void SpectralProcessor::analyse(int32_t firstRun) {
    const float* w = window.get();
    const float* ring = inputRing.get();
    float* f = frame.get();
    for (int32_t i = 0; i < firstRun; ++i) f[i] = w[i] * ring[writePos + i];
    for (int32_t i = firstRun; i < size; ++i) f[i] = w[i] * ring[i - firstRun];
}

// The 1/N factor (RealFft::rescale's multiplication, one float product per sample), the
// synthesis window and the overlap-add in one pass. Frame sample i belongs to the position where
// the sample pushed i calls from now goes. The last hop of them land on the positions whose old
// sums the last hop calls already returned.
void SpectralProcessor::synthesise(int32_t firstRun) {
    const float scale = static_cast<float>(1.0 / size);
    const float* w = window.get();
    const float* f = frame.get();
    float* accum = outputAccum.get();
    const int32_t addEnd = size - hop;
    for (int32_t i = 0; i < firstRun; ++i) accum[writePos + i] += w[i] * (scale * f[i]);
    for (int32_t i = firstRun; i < addEnd; ++i) accum[i - firstRun] += w[i] * (scale * f[i]);
    for (int32_t i = addEnd; i < size; ++i) accum[i - firstRun] = w[i] * (scale * f[i]);
}
