#include "spectral/spectral_processor.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "spectral/kernel_passes.h"
#include "spectral/pi.h"

namespace spectral {
namespace {

int32_t frameSizeFor(int32_t requested) { return requested <= 4 ? 4 : RealFft::lengthFor(requested); }

}  // namespace

SpectralProcessor::SpectralProcessor(int32_t frameSize) : SpectralProcessor(frameSize, RealFft::fastestKernel()) {}

SpectralProcessor::SpectralProcessor(int32_t frameSize, RealFft::Kernel kernel)
    : size(frameSizeFor(frameSize)),
      bins(new SpectralBin[static_cast<std::size_t>(size / 2 + 1)]),
      hop(size / 4),
      fft(new RealFft(size, kernel)),
      inputRing(static_cast<std::size_t>(size)),
      frame(static_cast<std::size_t>(size)),
      outputAccum(static_cast<std::size_t>(size)),
      spectrum(static_cast<std::size_t>(size)),
      window(static_cast<std::size_t>(size)),
      passes(&kernelPasses(fft->kernel())) {
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
        case Rectangular: std::fill(window.get(), window.get() + n, 1.0f); break;
        case SineCycle:
            for (int32_t i = 0; i < n; ++i) {
                window[i] = static_cast<float>(std::sin(2.0 * spectral::pi * (i / last)));
            }
            break;
        default: break;
    }
}

float SpectralProcessor::processSample(float x) {
    if (hopCount >= hop) processFrame();
    // After a frame writePos is below size; the mask only keeps a corrupted position in the ring.
    const int32_t pos = writePos & (size - 1);
    inputRing[pos] = x;
    writePos = pos + 1;
    ++hopCount;
    return outputAccum[pos];
}

void SpectralProcessor::processBlock(const float* in, float* out, int32_t count) {
    while (count > 0) {
        if (hopCount >= hop) processFrame();
        // A run ends at the next multiple of hop, where the next frame is due, so it stays inside
        // the ring. The run is taken from the position alone (hop - hopCount is the same number),
        // which keeps even a corrupted pair of counters from writing past the buffers.
        const int32_t pos = writePos & (size - 1);
        const int32_t run = std::min(count, hop - (pos & (hop - 1)));
        std::copy(in, in + run, inputRing.get() + pos);
        std::copy(outputAccum.get() + pos, outputAccum.get() + pos + run, out);
        writePos = pos + run;
        hopCount += run;
        in += run;
        out += run;
        count -= run;
    }
}

void SpectralProcessor::processFrame() {
    hopCount = 0;
    // Frames start only at writePos = hop, 2*hop, 3*hop or n, so the ring's first run R is at
    // most n - hop and n wraps to 0 here, before this call writes. Rounding to those values
    // changes nothing for them and keeps every pass inside its buffers for any other.
    int32_t start = writePos & (size - 1) & ~(hop - 1);
    if (start == 0) start = size;
    const int32_t firstRun = size - start;
    writePos = start & (size - 1);

    windowFrame(firstRun);
    fft->forward(spectrum.get(), frame.get());
    unpackBins();
    processSpectrum();
    packBins();
    fft->inverse(frame.get(), spectrum.get());
    overlapAddFrame(firstRun);
}

void SpectralProcessor::windowFrame(int32_t firstRun) {
    passes->windowFromRing(frame.get(), window.get(), inputRing.get(), writePos, firstRun, size);
}

void SpectralProcessor::unpackBins() { passes->spectrumToBins(bins.get(), spectrum.get(), size / 2); }

void SpectralProcessor::packBins() { passes->binsToSpectrum(spectrum.get(), bins.get(), size / 2); }

void SpectralProcessor::overlapAddFrame(int32_t firstRun) {
    passes->overlapAdd(outputAccum.get(), window.get(), frame.get(), writePos, firstRun, hop, size);
}

void SpectralProcessor::replaceBinsByMagnitudes() { passes->magnitudes(bins.get(), size / 2 + 1); }

}  // namespace spectral
