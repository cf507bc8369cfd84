// The real module's audio, compared with the zero-phase chain recomputed here in double precision.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/signals.h"
#include "support/test_host.h"

namespace {

constexpr int kFrame = 1024;
constexpr int kHop = 256;
const double kPi = 4.0 * std::atan(1.0);

// A voice-like test signal: a pulse train whose pitch glides from 110 to 220 Hz, through two
// resonances, at 44.1 kHz.
std::vector<float> voice(size_t length) {
    std::vector<double> pulses(length, 0.0);
    double phase = 0.0;
    for (size_t t = 0; t < length; ++t) {
        const double pitch = 110.0 + 110.0 * static_cast<double>(t) / static_cast<double>(length);
        phase += pitch / 44100.0;
        if (phase >= 1.0) {
            phase -= 1.0;
            pulses[t] = 1.0;
        }
    }
    std::vector<double> shaped = pulses;
    for (double centre : {700.0, 1200.0}) {
        // Two-pole resonator.
        const double radius = 0.995;
        const double a1 = 2.0 * radius * std::cos(2.0 * kPi * centre / 44100.0);
        const double a2 = -radius * radius;
        double y1 = 0.0;
        double y2 = 0.0;
        for (double& sample : shaped) {
            const double y = (1.0 - radius) * sample + a1 * y1 + a2 * y2;
            y2 = y1;
            y1 = y;
            sample = y;
        }
    }
    double peak = 0.0;
    for (double sample : shaped) {
        peak = std::max(peak, std::abs(sample));
    }
    std::vector<float> out(length);
    for (size_t t = 0; t < length; ++t) {
        out[t] = static_cast<float>(0.5 * shaped[t] / peak);
    }
    return out;
}

// The chain in double precision: every hop, the last frame is windowed with one sine cycle,
// its magnitude spectrum resynthesised with zero phase, windowed again and overlap-added so
// that frame sample i lands on the output of the call i samples after the frame was taken.
std::vector<double> zeroPhaseReference(const std::vector<float>& input, double factor) {
    std::vector<double> window(kFrame);
    for (int i = 0; i < kFrame; ++i) {
        window[i] = std::sin(2.0 * kPi * i / (kFrame - 1));
    }
    std::vector<double> cosine(kFrame);
    for (int i = 0; i < kFrame; ++i) {
        cosine[i] = std::cos(2.0 * kPi * i / kFrame);
    }
    std::vector<double> output(input.size(), 0.0);
    std::vector<double> frame(kFrame);
    std::vector<double> magnitude(kFrame / 2 + 1);
    for (size_t start = kHop; start < input.size(); start += kHop) {
        for (int i = 0; i < kFrame; ++i) {
            const long t = static_cast<long>(start) - kFrame + i;
            frame[i] = t >= 0 ? window[i] * input[static_cast<size_t>(t)] : 0.0;
        }
        for (int m = 0; m <= kFrame / 2; ++m) {
            double re = 0.0;
            double im = 0.0;
            for (int t = 0; t < kFrame; ++t) {
                re += frame[t] * cosine[(m * t) % kFrame];
                im += frame[t] * cosine[(m * t + 3 * kFrame / 4) % kFrame];  // sin(x) = cos(x - pi/2)
            }
            magnitude[m] = std::sqrt(re * re + im * im);
        }
        for (int i = 0; i < kFrame && start + i < input.size(); ++i) {
            double y = magnitude[0] + magnitude[kFrame / 2] * ((i % 2) != 0 ? -1.0 : 1.0);
            for (int m = 1; m < kFrame / 2; ++m) {
                y += 2.0 * magnitude[m] * cosine[(m * i) % kFrame];
            }
            output[start + i] += factor * window[i] * y / kFrame;
        }
    }
    return output;
}

std::vector<float> renderThroughModule(const std::vector<float>& input, int32_t block, float gain) {
    RecordingHost host;
    LoadedModule module;
    PluginInstance plugin(module);
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    plugin.dispatch(effSetBlockSize, 0, block);
    plugin.dispatch(effMainsChanged, 0, 1);
    plugin.setParameter(0, gain);
    std::vector<float> output(input.size(), 0.0f);
    for (size_t start = 0; start < input.size(); start += static_cast<size_t>(block)) {
        const auto frames = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(block), input.size() - start));
        plugin.processReplacing(input.data() + start, output.data() + start, frames);
    }
    return output;
}

class VoiceThroughModule : public ::testing::TestWithParam<int32_t> {};

TEST_P(VoiceThroughModule, MatchesTheDoublePrecisionChain) {
    const std::vector<float> input = voice(8192);
    const float gain = 0.6f;
    const double factor = std::pow(10.0, 2.0 * gain - 1.0);
    static const std::vector<double> reference = zeroPhaseReference(input, factor);
    const std::vector<float> output = renderThroughModule(input, GetParam(), gain);

    double peak = 0.0;
    double worst = 0.0;
    for (size_t t = 0; t < input.size(); ++t) {
        peak = std::max(peak, std::abs(reference[t]));
        worst = std::max(worst, std::abs(output[t] - reference[t]));
    }
    ASSERT_GT(peak, 0.1);  // the chain really produces sound
    // Float transforms of 1024 points carry a relative error of a few 1e-7 per stage over ten
    // stages, and four frames overlap on every sample: 1e-5 of the peak leaves ample margin
    // while any wrong window, bin, sign or alignment misses by orders of magnitude.
    EXPECT_LT(worst, 1e-5 * peak) << "peak " << peak;
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, VoiceThroughModule, ::testing::Values(1, 64, 100, 4096));

// Energy centre of signal[begin, end), as an absolute sample position.
double energyCentre(const std::vector<float>& signal, size_t begin, size_t end) {
    double weighted = 0.0;
    double total = 0.0;
    for (size_t t = begin; t < end; ++t) {
        const double energy = static_cast<double>(signal[t]) * signal[t];
        weighted += energy * static_cast<double>(t);
        total += energy;
    }
    return weighted / total;
}

TEST(ModuleLatency, NoiseBurstsMoveByTheAnnouncedDelay) {
    // A click answers with silence here (its flat spectrum resynthesised without phase lands
    // where the window is zero), so bursts of noise carry the timing instead. Each output frame
    // is centred one frame after its input frame, but the noise's own frame-to-frame energy
    // changes move one burst's centre by some 20 samples either way: the mean over 64 bursts
    // narrows that to a few samples, while a latency wrong by even a hop misses by 256.
    constexpr size_t kBurst = 2048;
    constexpr size_t kSpacing = 8192;
    constexpr size_t kBursts = 64;
    std::vector<float> input(kSpacing * kBursts, 0.0f);
    const std::vector<float> bursts = test_support::noise(kBurst * kBursts, 0.5f, 42);
    for (size_t burst = 0; burst < kBursts; ++burst) {
        std::copy_n(bursts.begin() + static_cast<long>(burst * kBurst), kBurst,
                    input.begin() + static_cast<long>(burst * kSpacing + 1024));
    }
    RecordingHost host;
    LoadedModule module;
    PluginInstance plugin(module);
    const int32_t latency = plugin.effect()->initialDelay;
    std::vector<float> output(input.size());
    plugin.processReplacing(input.data(), output.data(), static_cast<int32_t>(input.size()));

    double shifts = 0.0;
    for (size_t burst = 0; burst < kBursts; ++burst) {
        const size_t begin = burst * kSpacing;
        shifts += energyCentre(output, begin, begin + kSpacing) - energyCentre(input, begin, begin + kSpacing);
    }
    EXPECT_NEAR(shifts / kBursts, latency, 8.0);
}

}  // namespace
