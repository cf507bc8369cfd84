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

// The processor's results and the voice lined up with them come in runs of this many samples.
constexpr int32_t kRunSamples = 256;

/// 0.5 * (1 - cos(2*pi*i/length)), rounded to float: a raised cosine whose peak is at length/2.
float raisedCosine(int32_t i, int32_t length) {
    return static_cast<float>(0.5 * (1.0 - std::cos(2.0 * spectral::pi * i / length)));
}

/// The classic window at position i of a frame of n: sin(2*pi*i/(n - 1)).
double classicWindow(int32_t i, int32_t n) { return std::sin(2.0 * spectral::pi * (i / (n - 1.0))); }

/// The sum of weights[i] * x[i]^2 over [first, end), a multiple of 8 long: eight running sums,
/// each over every eighth sample in order, then added in a fixed order. So every build forms the
/// same bits, and the compiler can keep the eight sums in one vector register.
float weightedPower(const float* weights, const float* x, int32_t first, int32_t end) {
    constexpr int32_t kLanes = 8;
    float lanes[kLanes] = {};
    for (int32_t i = first; i < end; i += kLanes) {
        for (int32_t k = 0; k < kLanes; ++k) lanes[k] += (weights[i + k] * x[i + k]) * x[i + k];
    }
    return ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) + ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
}

}  // namespace

VoiceProcessor::VoiceProcessor(int32_t frameSize, spectral::RealFft::Kernel kernel)
    : ZeroPhaseProcessor(frameSize, kernel),
      analysisWindow(static_cast<std::size_t>(size)),
      pulseWindow(static_cast<std::size_t>(size)),
      classicSquares(static_cast<std::size_t>(size)),
      pulseSquares(static_cast<std::size_t>(size)),
      classicSpacing(size / 4),
      pulseStart((size - size / 4) / 2),
      pulseEnd(pulseStart + size / 4) {
    for (int32_t i = 0; i < size; ++i) {
        analysisWindow[i] = raisedCosine(i, size);
        pulseWindow[i] = i >= pulseStart && i < pulseEnd ? raisedCosine(i - pulseStart, size / 4) : 0.0f;
        pulseSquares[i] = pulseWindow[i] * pulseWindow[i];
        // A centred frame holds at i what the classic frame holds at i + size/2.
        const double classic = classicWindow((i + size / 2) % size, size);
        classicSquares[i] = static_cast<float>(classic * classic);
    }
}

VoiceProcessor::~VoiceProcessor() = default;

void VoiceProcessor::setFrameSpacing(int32_t spacing) {
    setHop(spacing);
    useWindows(centred() ? analysisWindow.get() : nullptr, centred() ? pulseWindow.get() : nullptr);
}

// Bin k times (-1)^k: the zero-phase pulse moves from the frame's ends to its middle.
void VoiceProcessor::processSpectrum() {
    ZeroPhaseProcessor::processSpectrum();
    if (!centred()) return;
    const int32_t count = size / 2 + 1;
    for (int32_t k = 1; k < count; k += 2) bins[k].re = -bins[k].re;
}

// The pulse takes the power that the classic window would have kept of the same frame, so the
// level follows the classic robot's as the pitch moves; the spacing's square root keeps the power
// per second as the pulses come closer or further apart. Outside the pulse the frame becomes +0:
// the window's product would be -0 for a negative sample, which hosts that add the output to a
// silent bus turn into +0, so their bits would differ from ours.
void VoiceProcessor::processResynthesis() {
    if (!centred()) return;
    const float spacingLevel = static_cast<float>(std::sqrt(static_cast<double>(hopSamples()) / classicSpacing));
    const float classicPower = weightedPower(classicSquares.get(), frame.get(), 0, size);
    const float pulsePower = weightedPower(pulseSquares.get(), frame.get(), pulseStart, pulseEnd);
    const float gain = pulsePower > 0.0f ? spacingLevel * std::sqrt(classicPower / pulsePower) : 0.0f;
    std::fill(frame.get(), frame.get() + pulseStart, 0.0f);
    for (int32_t i = pulseStart; i < pulseEnd; ++i) frame[i] *= gain;
    std::fill(frame.get() + pulseEnd, frame.get() + size, 0.0f);
}

ZeroPhaseProcessor& frameProcessorOf(ZeroPhaseCore& core) { return *core.processor; }

const ZeroPhaseProcessor& frameProcessorOf(const ZeroPhaseCore& core) { return *core.processor; }

ZeroPhaseCore::ZeroPhaseCore(int32_t frameSize) : ZeroPhaseCore(frameSize, spectral::RealFft::fastestKernel()) {}

ZeroPhaseCore::ZeroPhaseCore(int32_t frameSize, spectral::RealFft::Kernel kernel)
    : processor(new VoiceProcessor(frameSize, kernel)) {
    for (int32_t i = 0; i <= kShareSteps; ++i) {
        quarterSine[i] = static_cast<float>(std::sin(0.5 * spectral::pi * i / kShareSteps));
    }
}

ZeroPhaseCore::~ZeroPhaseCore() = default;

int32_t ZeroPhaseCore::latencySamples() const { return processor->frameSize(); }

void ZeroPhaseCore::reset() { historyStale.store(true, std::memory_order_release); }

void ZeroPhaseCore::clearIfStale() {
    // A reset from another thread lands here, before anything reads the history.
    if (historyStale.load(std::memory_order_relaxed) && historyStale.exchange(false, std::memory_order_acquire)) {
        processor->reset();
        lastLevels.reset();
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
    const Levels target{controls.gain.factor(), controls.mix.fraction()};
    const Levels from = lastLevels.value_or(target);
    const bool steady = from == target;
    float robot[kRunSamples];
    float voice[kRunSamples];
    for (int32_t start = 0; start < count; start += kRunSamples) {
        const int32_t length = std::min(kRunSamples, count - start);
        if (steady && target.mix == 1.0f) {
            // The robot alone, as the classic calls give it: the voice is not needed.
            processor->processBlock(in + start, robot, length);
            for (int32_t i = 0; i < length; ++i) out[start + i] = robot[i] * target.factor;
        } else {
            processor->processBlock(in + start, robot, voice, length);
            if (steady) {
                blend(robot, voice, out + start, length, target);
            } else {
                rampedBlend(robot, voice, out + start, length, start, count, from, target);
            }
        }
    }
    lastLevels = target;
}

float ZeroPhaseCore::shareAt(float fraction) const {
    const float position = fraction * kShareSteps;
    const int32_t step = std::min(static_cast<int32_t>(position), kShareSteps - 1);
    const float along = position - static_cast<float>(step);
    return quarterSine[step] + (quarterSine[step + 1] - quarterSine[step]) * along;
}

// Each end gives its own signal untouched: a share of 0 would turn -0 into +0 and an infinity of
// the other signal into NaN.
float ZeroPhaseCore::blended(float robot, float voice, float mix) const {
    if (mix == 1.0f) return robot;
    if (mix == 0.0f) return voice;
    return shareAt(mix) * robot + shareAt(1.0f - mix) * voice;
}

void ZeroPhaseCore::blend(const float* robot, const float* voice, float* out, int32_t count, Levels levels) const {
    if (levels.mix == 0.0f) {
        for (int32_t i = 0; i < count; ++i) out[i] = levels.factor * voice[i];
        return;
    }
    const float robotShare = shareAt(levels.mix);
    const float voiceShare = shareAt(1.0f - levels.mix);
    for (int32_t i = 0; i < count; ++i) out[i] = levels.factor * (robotShare * robot[i] + voiceShare * voice[i]);
}

// Sample `done + i` of a call of `total` is i + 1 steps of 1/total along the way from the last
// call's values to this call's, which the call's last sample reaches.
void ZeroPhaseCore::rampedBlend(const float* robot, const float* voice, float* out, int32_t count, int32_t done,
                                int32_t total, Levels from, Levels to) const {
    const float step = 1.0f / static_cast<float>(total);
    for (int32_t i = 0; i < count; ++i) {
        const float along = static_cast<float>(done + i + 1) * step;
        const float factor = from.factor + (to.factor - from.factor) * along;
        out[i] = factor * blended(robot[i], voice[i], from.mix + (to.mix - from.mix) * along);
    }
}

}  // namespace tinvoicer
