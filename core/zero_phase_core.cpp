#include "core/zero_phase_core.h"

#include <algorithm>
#include <cmath>

#include "core/zero_phase_processor.h"
#include "spectral/flush_denormals.h"
#include "spectral/pi.h"

ZeroPhaseProcessor::ZeroPhaseProcessor(int32_t frameSize) : SpectralProcessor(frameSize) {}

ZeroPhaseProcessor::ZeroPhaseProcessor(int32_t frameSize, spectral::RealFft::Kernel kernel)
    : SpectralProcessor(frameSize, kernel) {}

ZeroPhaseProcessor::~ZeroPhaseProcessor() = default;

// Every bin k = 0 .. size/2 becomes (float(sqrt(re*re + im*im)) formed in double, 0).
void ZeroPhaseProcessor::processSpectrum() { replaceBinsByMagnitudes(); }

namespace tinvoicer {
namespace {

// A centred frame's pulse against the classic frame's output: the factor that gives both the same
// power at the classic spacing, on speech and on noise alike (scripts/voice-report measures it).
constexpr double kCentredLevel = 1.0;

// The processor's results and the voice lined up with them come in runs of this many samples.
constexpr int32_t kRunSamples = 256;

/// The shares of robot and voice at the robot's share `mix`: equal power, since the two are
/// incoherent and their powers add (a linear blend would dip 3 dB in the middle).
struct Shares {
    explicit Shares(float mix) : robot(std::sqrt(mix)), voice(std::sqrt(1.0f - mix)), mix(mix) {}
    /// Each end gives its own signal untouched: a share of 0 would turn -0 into +0 and an
    /// infinity of the other signal into NaN.
    float of(float robotSample, float voiceSample) const {
        if (mix == 1.0f) return robotSample;
        if (mix == 0.0f) return voiceSample;
        return robot * robotSample + voice * voiceSample;
    }
    float robot;
    float voice;
    float mix;
};

}  // namespace

VoiceProcessor::VoiceProcessor(int32_t frameSize, spectral::RealFft::Kernel kernel)
    : ZeroPhaseProcessor(frameSize, kernel), centredWindow(static_cast<std::size_t>(size)), classicSpacing(size / 4) {
    for (int32_t i = 0; i < size; ++i) {
        centredWindow[i] = static_cast<float>(0.5 * (1.0 - std::cos(2.0 * spectral::pi * i / size)));
    }
}

VoiceProcessor::~VoiceProcessor() = default;

void VoiceProcessor::setFrameSpacing(int32_t spacing) {
    setHop(spacing);
    centred = hopSamples() != classicSpacing;
    useWindow(centred ? centredWindow.get() : nullptr);
    centredScale = static_cast<float>(kCentredLevel * std::sqrt(static_cast<double>(hopSamples()) / classicSpacing));
}

void VoiceProcessor::processSpectrum() {
    ZeroPhaseProcessor::processSpectrum();
    if (!centred) return;
    const int32_t count = size / 2 + 1;
    for (int32_t k = 0; k < count; k += 2) bins[k].re *= centredScale;
    for (int32_t k = 1; k < count; k += 2) bins[k].re *= -centredScale;
}

ZeroPhaseProcessor& frameProcessorOf(ZeroPhaseCore& core) { return *core.processor; }

const ZeroPhaseProcessor& frameProcessorOf(const ZeroPhaseCore& core) { return *core.processor; }

ZeroPhaseCore::ZeroPhaseCore(int32_t frameSize) : ZeroPhaseCore(frameSize, spectral::RealFft::fastestKernel()) {}

ZeroPhaseCore::ZeroPhaseCore(int32_t frameSize, spectral::RealFft::Kernel kernel)
    : processor(new VoiceProcessor(frameSize, kernel)) {}

ZeroPhaseCore::~ZeroPhaseCore() = default;

int32_t ZeroPhaseCore::latencySamples() const { return processor->frameSize(); }

void ZeroPhaseCore::reset() { historyStale.store(true, std::memory_order_release); }

void ZeroPhaseCore::clearIfStale() {
    // A reset from another thread lands here, before anything reads the history.
    if (historyStale.load(std::memory_order_relaxed) && historyStale.exchange(false, std::memory_order_acquire)) {
        processor->reset();
        rampsFromLastCall = false;
    }
}

template <typename Write>
void ZeroPhaseCore::runClassic(const float* in, float* out, int32_t count, Gain gain, Write write) {
    if (count <= 0) return;
    // The caller's float mode comes back on return; denormals inside would cost far more than this.
    const FlushDenormalsScope flushDenormals;
    clearIfStale();
    processor->setFrameSpacing(processor->frameSize() / 4);
    // Formed under the flushing mode, so that a factor in the denormal range is the same zero on
    // every machine, whatever mode the caller had.
    const float factor = gain.factor();
    // Each run of input is read before the output at the same indexes is written, so the caller
    // may hand one buffer as both.
    float robot[kRunSamples];
    for (int32_t start = 0; start < count; start += kRunSamples) {
        const int32_t length = std::min(kRunSamples, count - start);
        processor->processBlock(in + start, robot, length);
        for (int32_t i = 0; i < length; ++i) write(out[start + i], robot[i], factor);
    }
}

void ZeroPhaseCore::processReplacing(const float* in, float* out, int32_t count, Gain gain) {
    runClassic(in, out, count, gain, [](float& sample, float y, float f) { sample = y * f; });
}

void ZeroPhaseCore::processAdding(const float* in, float* out, int32_t count, Gain gain) {
    runClassic(in, out, count, gain, [](float& sample, float y, float f) {
        // Product and sum in double, one rounding to float at the end.
        sample = static_cast<float>(static_cast<double>(sample) + static_cast<double>(y) * f);
    });
}

void ZeroPhaseCore::process(const float* in, float* out, int32_t count, const VoiceControls& controls) {
    if (count <= 0) return;
    const FlushDenormalsScope flushDenormals;
    clearIfStale();
    processor->setFrameSpacing(controls.pitch.frameSpacing(processor->frameSize()));
    targetFactor = controls.gain.factor();
    targetMix = controls.mix.fraction();
    if (!rampsFromLastCall) {
        lastFactor = targetFactor;
        lastMix = targetMix;
    }
    const bool steady = lastFactor == targetFactor && lastMix == targetMix;
    float robot[kRunSamples];
    float voice[kRunSamples];
    for (int32_t start = 0; start < count; start += kRunSamples) {
        const int32_t length = std::min(kRunSamples, count - start);
        if (steady && targetMix == 1.0f) {
            // The classic robot: the voice it came from is not needed.
            processor->processBlock(in + start, robot, length);
            for (int32_t i = 0; i < length; ++i) out[start + i] = robot[i] * targetFactor;
        } else {
            processor->processBlock(in + start, robot, voice, length);
            if (steady) {
                blend(robot, voice, out + start, length, targetFactor, targetMix);
            } else {
                rampedBlend(robot, voice, out + start, length, start, count);
            }
        }
    }
    lastFactor = targetFactor;
    lastMix = targetMix;
    rampsFromLastCall = true;
}

void ZeroPhaseCore::blend(const float* robot, const float* voice, float* out, int32_t count, float factor, float mix) {
    const Shares shares(mix);
    for (int32_t i = 0; i < count; ++i) out[i] = factor * shares.of(robot[i], voice[i]);
}

// Sample `done + i` of a call of `total` is i + 1 steps of 1/total along the way from the last
// call's values to this call's, which the call's last sample reaches.
void ZeroPhaseCore::rampedBlend(const float* robot, const float* voice, float* out, int32_t count, int32_t done,
                                int32_t total) {
    const float step = 1.0f / static_cast<float>(total);
    for (int32_t i = 0; i < count; ++i) {
        const float along = static_cast<float>(done + i + 1) * step;
        const float factor = lastFactor + (targetFactor - lastFactor) * along;
        const Shares shares(lastMix + (targetMix - lastMix) * along);
        out[i] = factor * shares.of(robot[i], voice[i]);
    }
}

}  // namespace tinvoicer
