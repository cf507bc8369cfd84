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
      frame(static_cast<std::size_t>(size)),
      hop(size / 4),
      fft(new RealFft(size, kernel)),
      inputRing(static_cast<std::size_t>(size)),
      outputAccum(static_cast<std::size_t>(size)),
      spectrum(static_cast<std::size_t>(size)),
      window(static_cast<std::size_t>(size)),
      analysisWindow(window.get()),
      synthesisWindow(window.get()),
      passes(&kernelPasses(fft->kernel())) {
    reset();
    setWindow(SineCycle);
}

SpectralProcessor::~SpectralProcessor() = default;

void SpectralProcessor::processSpectrum() {}

void SpectralProcessor::processResynthesis() {}

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
    processBlock(in, out, nullptr, count);
}

void SpectralProcessor::processBlock(const float* in, float* out, float* delayed, int32_t count) {
    while (count > 0) {
        if (hopCount >= hop) processFrame();
        // A run ends where the next frame is due or at the ring's end, whichever comes first. The
        // ring's end bounds it by the position alone, which keeps even a corrupted pair of
        // counters from writing past the buffers.
        const int32_t pos = writePos & (size - 1);
        const int32_t run = std::min({count, std::max(hop - hopCount, 1), size - pos});
        if (delayed != nullptr) {
            std::copy(inputRing.get() + pos, inputRing.get() + pos + run, delayed);
            delayed += run;
        }
        std::copy(in, in + run, inputRing.get() + pos);
        std::copy(outputAccum.get() + pos, outputAccum.get() + pos + run, out);
        writePos = pos + run;
        hopCount += run;
        in += run;
        out += run;
        count -= run;
    }
}

void SpectralProcessor::setHop(int32_t samples) { hop = std::clamp(samples, 1, size); }

void SpectralProcessor::useWindows(const float* analysis, const float* synthesis) {
    analysisWindow = analysis != nullptr ? analysis : window.get();
    synthesisWindow = synthesis != nullptr ? synthesis : window.get();
}

void SpectralProcessor::processFrame() {
    // The output positions read since the last frame hold finished sums; this frame's tail
    // starts them afresh. Never more than the ring, even from corrupted counters.
    const int32_t spacing = std::clamp(hopCount, 1, size);
    hopCount = 0;
    // The ring's oldest sample sits at writePos: the frame's first run goes from there to the
    // ring's end, the rest starts at 0. At writePos 0 the whole frame is that second run.
    writePos &= size - 1;
    const int32_t firstRun = (size - writePos) & (size - 1);

    windowFrame(firstRun);
    fft->forward(spectrum.get(), frame.get());
    unpackBins();
    processSpectrum();
    packBins();
    fft->inverse(frame.get(), spectrum.get());
    processResynthesis();
    overlapAddFrame(firstRun, spacing);
}

void SpectralProcessor::windowFrame(int32_t firstRun) {
    passes->windowFromRing(frame.get(), analysisWindow, inputRing.get(), writePos, firstRun, size);
}

void SpectralProcessor::unpackBins() { passes->spectrumToBins(bins.get(), spectrum.get(), size / 2); }

void SpectralProcessor::packBins() { passes->binsToSpectrum(spectrum.get(), bins.get(), size / 2); }

void SpectralProcessor::overlapAddFrame(int32_t firstRun, int32_t spacing) {
    // The kernel's pass wants the positions to start afresh inside the ring's second run, as
    // they always are when frames come every quarter frame from a reset.
    if (firstRun <= size - spacing) {
        passes->overlapAdd(outputAccum.get(), synthesisWindow, frame.get(), writePos, firstRun, spacing, size);
    } else {
        overlapAddAcrossRingEnd(firstRun, spacing);
    }
}

// The kernel's sums, element for element, where the positions to start afresh begin before the
// ring's end: everything up to them lies in the first run.
void SpectralProcessor::overlapAddAcrossRingEnd(int32_t firstRun, int32_t spacing) {
    const float scale = static_cast<float>(1.0 / size);
    const float* w = synthesisWindow;
    float* accum = outputAccum.get();
    const int32_t addEnd = size - spacing;
    for (int32_t i = 0; i < addEnd; ++i) accum[writePos + i] += w[i] * (scale * frame[i]);
    for (int32_t i = addEnd; i < firstRun; ++i) accum[writePos + i] = w[i] * (scale * frame[i]);
    for (int32_t i = firstRun; i < size; ++i) accum[i - firstRun] = w[i] * (scale * frame[i]);
}

void SpectralProcessor::replaceBinsByMagnitudes() { passes->magnitudes(bins.get(), size / 2 + 1); }

}  // namespace spectral
