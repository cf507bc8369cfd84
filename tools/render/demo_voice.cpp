#include "render/demo_voice.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDurationSeconds = 4.0;
constexpr double kSyllablesPerSecond = 2.5;
constexpr double kPeak = 0.5;
constexpr int kFormantCount = 4;
constexpr int kCoefficientUpdateFrames = 32;

/// A point on a piecewise-linear curve over time.
struct Knot {
    double seconds;
    std::array<double, kFormantCount> values;
};

// Formant frequencies (Hz) of an adult male voice: a, i, u, e, o and back to a; F4 held near 3.3 kHz.
constexpr Knot kVowelPath[] = {
    {0.0, {730, 1090, 2440, 3300}}, {0.8, {270, 2290, 3010, 3400}}, {1.6, {300, 870, 2240, 3200}},
    {2.4, {530, 1840, 2480, 3300}}, {3.2, {570, 840, 2410, 3200}},  {4.0, {730, 1090, 2440, 3300}},
};
constexpr std::array<double, kFormantCount> kBandwidthsHz = {80, 100, 140, 220};

// Intonation (Hz): a rise, a fall, a higher question-like rise and a final fall.
constexpr Knot kPitchPath[] = {
    {0.0, {100}}, {1.0, {140}}, {2.0, {95}}, {2.8, {160}}, {4.0, {90}},
};

template <size_t N>
std::array<double, kFormantCount> interpolate(const Knot (&path)[N], double seconds) {
    for (size_t i = 1; i < N; ++i) {
        if (seconds <= path[i].seconds) {
            const double t = (seconds - path[i - 1].seconds) / (path[i].seconds - path[i - 1].seconds);
            std::array<double, kFormantCount> values{};
            for (int k = 0; k < kFormantCount; ++k) {
                values[k] = path[i - 1].values[k] + t * (path[i].values[k] - path[i - 1].values[k]);
            }
            return values;
        }
    }
    return path[N - 1].values;
}

/// Rosenberg's glottal flow over one period (phase 0..1): opens over 40 %, closes over 16 %.
double glottalFlow(double phase) {
    constexpr double opening = 0.40;
    constexpr double closing = 0.16;
    if (phase < opening) {
        return 0.5 * (1.0 - std::cos(kPi * phase / opening));
    }
    if (phase < opening + closing) {
        return std::cos(0.5 * kPi * (phase - opening) / closing);
    }
    return 0.0;
}

/// Two-pole resonator, one formant of the vocal tract.
struct Resonator {
    double a1 = 0, a2 = 0, gain = 0, y1 = 0, y2 = 0;

    void tune(double frequencyHz, double bandwidthHz, double sampleRateHz) {
        const double radius = std::exp(-kPi * bandwidthHz / sampleRateHz);
        a1 = 2.0 * radius * std::cos(2.0 * kPi * frequencyHz / sampleRateHz);
        a2 = -radius * radius;
        gain = 1.0 - radius;
    }
    double step(double x) {
        const double y = gain * x + a1 * y1 + a2 * y2;
        y2 = y1;
        y1 = y;
        return y;
    }
};

/// Syllables: a smooth swell and a short gap, and 20 ms fades at both ends of the whole sound.
double loudness(double seconds) {
    const double syllablePhase = std::fmod(seconds * kSyllablesPerSecond, 1.0);
    const double voiced = syllablePhase < 0.85 ? std::pow(std::sin(kPi * syllablePhase / 0.85), 0.5) : 0.0;
    const double fade = std::min({1.0, seconds / 0.02, (kDurationSeconds - seconds) / 0.02});
    return voiced * std::max(fade, 0.0);
}

/// A fixed linear congruential generator, so the breath noise is the same on every run.
class BreathNoise {
public:
    double next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }

private:
    uint32_t state = 12345u;
};

}  // namespace

std::vector<float> makeDemoVoice(int32_t sampleRateHz) {
    const double rate = sampleRateHz;
    const auto frames = static_cast<size_t>(kDurationSeconds * rate);
    std::vector<double> voice(frames);
    std::array<Resonator, kFormantCount> tract{};
    BreathNoise noise;
    double phase = 0.0;
    double previousFlow = 0.0;

    for (size_t n = 0; n < frames; ++n) {
        const double seconds = static_cast<double>(n) / rate;
        if (n % kCoefficientUpdateFrames == 0) {
            const auto formants = interpolate(kVowelPath, seconds);
            for (int k = 0; k < kFormantCount; ++k) {
                tract[k].tune(formants[k], kBandwidthsHz[k], rate);
            }
        }
        const double vibrato = 1.0 + 0.015 * std::sin(2.0 * kPi * 5.0 * seconds);
        phase = std::fmod(phase + interpolate(kPitchPath, seconds)[0] * vibrato / rate, 1.0);
        const double flow = glottalFlow(phase);
        // The lips radiate the flow's derivative; a little breath rides on the open glottis.
        double excitation = (flow - previousFlow) + 0.002 * flow * noise.next();
        previousFlow = flow;
        excitation *= loudness(seconds);
        for (Resonator& formant : tract) {
            excitation = formant.step(excitation);
        }
        voice[n] = excitation;
    }

    double peak = 0.0;
    for (double sample : voice) {
        peak = std::max(peak, std::abs(sample));
    }
    std::vector<float> samples(frames);
    for (size_t n = 0; n < frames; ++n) {
        samples[n] = static_cast<float>(peak > 0.0 ? voice[n] * kPeak / peak : 0.0);
    }
    return samples;
}
