// What a listener hears of a voice, measured: the pitch of its harmonic comb, its level, the
// largest jump from one sample to the next, and a synthetic voiced sound to measure them on.
// scripts/voice-report measures with them (bench/voice_report.cpp), and the core's tests assert
// with the same measures.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/zero_phase_core.h"
#include "spectral/real_fft.h"

namespace voice_measures {

using tinvoicer::Gain;
using tinvoicer::Mix;
using tinvoicer::Pitch;
using tinvoicer::VoiceControls;

constexpr double kPi = 3.14159265358979323846;

/// A sustained vowel: a glottal-like pulse train at `pitchHz` (each period a falling ramp, rich in
/// harmonics falling 6 dB per octave), with a slow 1 % vibrato, through three formant resonators
/// (an open "a"), at a peak of about 0.5.
inline std::vector<float> sustainedVowel(double sampleRateHz, double pitchHz, double seconds,
                                         double vibratoDepth = 0.01) {
    const std::size_t length = static_cast<std::size_t>(seconds * sampleRateHz);
    std::vector<double> source(length);
    double phase = 0.0;
    for (std::size_t n = 0; n < length; ++n) {
        const double vibrato = 1.0 + vibratoDepth * std::sin(2.0 * kPi * 5.0 * static_cast<double>(n) / sampleRateHz);
        phase += pitchHz * vibrato / sampleRateHz;
        phase -= std::floor(phase);
        source[n] = 1.0 - 2.0 * phase;
    }
    std::vector<double> voiced(length, 0.0);
    const double formants[][2] = {{730.0, 80.0}, {1090.0, 100.0}, {2440.0, 140.0}};
    for (const auto& formant : formants) {
        // Two-pole resonator at the formant's frequency and bandwidth, unity gain at its peak.
        const double r = std::exp(-kPi * formant[1] / sampleRateHz);
        const double a1 = 2.0 * r * std::cos(2.0 * kPi * formant[0] / sampleRateHz);
        const double a2 = -r * r;
        double y1 = 0.0;
        double y2 = 0.0;
        for (std::size_t n = 0; n < length; ++n) {
            const double y = (1.0 - r) * source[n] + a1 * y1 + a2 * y2;
            y2 = y1;
            y1 = y;
            voiced[n] += y;
        }
    }
    double peak = 0.0;
    for (double v : voiced) peak = std::max(peak, std::fabs(v));
    std::vector<float> out(length);
    for (std::size_t n = 0; n < length; ++n) out[n] = static_cast<float>(0.5 * voiced[n] / peak);
    return out;
}

/// Root mean square of samples [first, end).
inline double rms(const std::vector<float>& x, std::size_t first = 0) {
    double sum = 0.0;
    for (std::size_t n = first; n < x.size(); ++n) sum += static_cast<double>(x[n]) * x[n];
    return x.size() > first ? std::sqrt(sum / static_cast<double>(x.size() - first)) : 0.0;
}

inline double decibels(double ratio) { return 20.0 * std::log10(ratio); }

inline double cents(double hz, double referenceHz) { return 1200.0 * std::log2(hz / referenceHz); }

/// Where the energy of x lies on average, in samples.
inline double energyCentroid(const std::vector<float>& x) {
    double energy = 0.0;
    double moment = 0.0;
    for (std::size_t n = 0; n < x.size(); ++n) {
        energy += static_cast<double>(x[n]) * x[n];
        moment += static_cast<double>(x[n]) * x[n] * static_cast<double>(n);
    }
    return moment / energy;
}

/// The largest |x[n] - x[n-1]| over [first, end).
inline double largestStep(const std::vector<float>& x, std::size_t first = 1) {
    double largest = 0.0;
    for (std::size_t n = std::max<std::size_t>(first, 1); n < x.size(); ++n) {
        largest = std::max(largest, std::fabs(static_cast<double>(x[n]) - x[n - 1]));
    }
    return largest;
}

/// Power spectrum of x[first, end): the mean of Hann-windowed periodograms of `length` samples
/// (a power of two) every length/2 samples. Bin k is k * sampleRate / length Hz.
inline std::vector<double> powerSpectrum(const std::vector<float>& x, std::size_t first, int32_t length) {
    spectral::RealFft fft(length);
    std::vector<float> window(static_cast<std::size_t>(length));
    for (int32_t i = 0; i < length; ++i) window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * kPi * i / length));
    std::vector<float> frame(static_cast<std::size_t>(length));
    std::vector<float> spectrum(static_cast<std::size_t>(length));
    std::vector<double> power(static_cast<std::size_t>(length / 2 + 1), 0.0);
    int frames = 0;
    for (std::size_t start = first; start + static_cast<std::size_t>(length) <= x.size(); start += length / 2) {
        for (int32_t i = 0; i < length; ++i) frame[i] = window[i] * x[start + i];
        fft.forward(spectrum.data(), frame.data());  // half-complex: re[0..N/2], im[N/2+1..N-1]
        const int32_t half = length / 2;
        for (int32_t k = 0; k <= half; ++k) {
            const double re = spectrum[k];
            const double im = (k == 0 || k == half) ? 0.0 : spectrum[half + k];
            power[k] += re * re + im * im;
        }
        ++frames;
    }
    for (double& p : power) p /= std::max(frames, 1);
    return power;
}

/// The spacing whose multiples carry the most spectral energy. Each candidate from lowHz to
/// highHz, in steps of one cent, scores the power on average at its multiples up to topHz, less
/// the power on average half-way between them; the second term sinks a half of the true spacing
/// (whose multiples include the true ones) and an even multiple of it. An odd multiple samples
/// every third or fifth harmonic and scores about as well as the true spacing, so the answer is
/// the lowest peak that scores within 20 % of the best.
inline double harmonicComb(const std::vector<float>& x, std::size_t first, double sampleRateHz, double lowHz = 40.0,
                           double highHz = 500.0, double topHz = 4000.0, int32_t length = 16384) {
    const std::vector<double> power = powerSpectrum(x, first, length);
    const double binHz = sampleRateHz / length;
    const auto at = [&](double hz) {  // linear between bins
        const double bin = hz / binHz;
        const std::size_t k = static_cast<std::size_t>(bin);
        if (k + 1 >= power.size()) return 0.0;
        const double t = bin - static_cast<double>(k);
        return power[k] * (1.0 - t) + power[k + 1] * t;
    };
    std::vector<double> candidates;
    std::vector<double> scores;
    for (double hz = lowHz; hz <= highHz; hz *= std::pow(2.0, 1.0 / 1200.0)) {
        double onComb = 0.0;
        double between = 0.0;
        int count = 0;
        for (double h = hz; h <= topHz; h += hz) {
            onComb += at(h);
            between += at(h - 0.5 * hz);
            ++count;
        }
        candidates.push_back(hz);
        scores.push_back((onComb - between) / count);
    }
    const double best = *std::max_element(scores.begin(), scores.end());
    std::size_t i = 0;
    while (scores[i] < 0.8 * best) ++i;
    while (i + 1 < scores.size() && scores[i + 1] >= scores[i]) ++i;
    return candidates[i];
}

/// The settings the voice is measured at, in semitones from the classic pitch.
constexpr float kSettings[] = {-24.0f, -18.0f, -12.0f, -7.0f, -3.0f, 3.0f, 7.0f, 12.0f};
/// The first frames hold the silence before the input: measures start after them.
constexpr std::size_t kSettle = 4096;

/// `in` through a fresh core in blocks of 512, the controls of each block from `controlsAt(the
/// block's first sample)`.
template <typename ControlsAt>
std::vector<float> render(const std::vector<float>& in, ControlsAt controlsAt) {
    tinvoicer::ZeroPhaseCore core;
    std::vector<float> out(in.size());
    for (std::size_t start = 0; start < in.size(); start += 512) {
        const auto count = static_cast<int32_t>(std::min<std::size_t>(512, in.size() - start));
        core.process(in.data() + start, out.data() + start, count, controlsAt(start));
    }
    return out;
}

/// `in` through a fresh core at 0 dB, `semitones` and `percent` of robot.
inline std::vector<float> renderAt(const std::vector<float>& in, float semitones, float percent = 100.0f) {
    const VoiceControls controls{Gain(), Pitch::fromSemitones(semitones), Mix::fromPercent(percent)};
    return render(in, [&](std::size_t) { return controls; });
}

/// The delay of the robot at `semitones`: how far the energy centroid of its answer to `burst` lies
/// from the burst's own (a click alone has no power where the classic window looks), averaged
/// over bursts at 32 phases spread evenly over one frame spacing.
inline double burstDelay(float semitones, const std::vector<float>& burst) {
    const int32_t spacing =
        tinvoicer::Pitch::fromSemitones(semitones).frameSpacing(tinvoicer::ZeroPhaseCore::kFrameSamples);
    double sum = 0.0;
    for (int32_t phase = 0; phase < 32; ++phase) {
        std::vector<float> in(8192, 0.0f);
        std::copy(burst.begin(), burst.end(), in.begin() + 2048 + phase * spacing / 32);
        sum += energyCentroid(renderAt(in, semitones)) - energyCentroid(in);
    }
    return sum / 32.0;
}

}  // namespace voice_measures
