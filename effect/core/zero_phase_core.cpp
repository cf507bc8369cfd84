#include "effect/core/zero_phase_core.h"

#include <algorithm>
#include <cmath>

#include "spectral/flush_denormals.h"

float factorOfExponent(float exponent) { return static_cast<float>(std::pow(10.0, static_cast<double>(exponent))); }

float normalizedGainExponent(float normalizedGain) { return 2.0f * normalizedGain - 1.0f; }

float outputFactor(float normalizedGain) { return factorOfExponent(normalizedGainExponent(normalizedGain)); }

float decibelExponent(float gainDb) { return gainDb / 20.0f; }

ZeroPhaseProcessor::ZeroPhaseProcessor(int32_t frameSize) : SpectralProcessor(frameSize) {}

ZeroPhaseProcessor::ZeroPhaseProcessor(int32_t frameSize, spectral::RealFft::Kernel kernel)
    : SpectralProcessor(frameSize, kernel) {}

ZeroPhaseProcessor::~ZeroPhaseProcessor() = default;

// Every bin k = 0 .. size/2 becomes (float(sqrt(re*re + im*im)) formed in double, 0).
void ZeroPhaseProcessor::processSpectrum() { replaceBinsByMagnitudes(); }

ZeroPhaseCore::ZeroPhaseCore(int32_t frameSize) : ZeroPhaseCore(frameSize, spectral::RealFft::fastestKernel()) {}

ZeroPhaseCore::ZeroPhaseCore(int32_t frameSize, spectral::RealFft::Kernel kernel)
    : processor(new ZeroPhaseProcessor(frameSize, kernel)) {}

ZeroPhaseCore::~ZeroPhaseCore() = default;

void ZeroPhaseCore::reset() { historyStale.store(true, std::memory_order_release); }

template <typename Write>
void ZeroPhaseCore::run(const float* in, float* out, int32_t count, float gainExponent, Write write) {
    // The caller's float mode comes back on return; denormals inside would cost far more than this.
    const FlushDenormalsScope flushDenormals;
    // A reset from another thread lands here, before anything reads the history.
    if (historyStale.load(std::memory_order_relaxed) && historyStale.exchange(false, std::memory_order_acquire)) {
        processor->reset();
    }
    // Formed under the flushing mode, so that a factor in the denormal range is the same zero on
    // every machine, whatever mode the caller had.
    const float factor = factorOfExponent(gainExponent);
    // The processor's results in runs; each run of input is read before the output at the same
    // indexes is written, so the caller may hand one buffer as both.
    constexpr int32_t runSamples = 256;
    float processed[runSamples];
    for (int32_t start = 0; start < count; start += runSamples) {
        const int32_t length = std::min(runSamples, count - start);
        processor->processBlock(in + start, processed, length);
        for (int32_t i = 0; i < length; ++i) write(out[start + i], processed[i], factor);
    }
}

void ZeroPhaseCore::processReplacing(const float* in, float* out, int32_t count, float gainExponent) {
    run(in, out, count, gainExponent, [](float& sample, float y, float f) { sample = y * f; });
}

void ZeroPhaseCore::processAdding(const float* in, float* out, int32_t count, float gainExponent) {
    run(in, out, count, gainExponent, [](float& sample, float y, float f) {
        // Product and sum in double, one rounding to float at the end.
        sample = static_cast<float>(static_cast<double>(sample) + static_cast<double>(y) * f);
    });
}
