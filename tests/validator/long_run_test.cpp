// One hour of audio at 48 kHz in one stream, noise and silence in turn: the output must neither
// grow nor drift. Slow (about 173 million samples): labelled `slow`, so the sanitizer run skips it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "validator/validator_support.h"

namespace validator {
namespace {

TEST(LongRun, AnHourOfNoiseAndSilenceStaysWithinTheGainBoundAndDoesNotDrift) {
    constexpr std::size_t kHourSamples = 3600u * 48000u;
    // Half a period of noise, half of silence. A whole number of hops, so that every period meets
    // the same frame schedule; the silence is many frames long, so each period starts from the
    // state of a fresh instance.
    constexpr std::size_t kHalfPeriod = 96 * kHopSamples;
    constexpr std::size_t kPeriod = 2 * kHalfPeriod;
    constexpr float kAmplitude = 0.9f;
    constexpr float kGain = 0.75f;  // +10 dB

    // The bound. Keeping the magnitudes of a frame keeps its energy (Parseval), so a resynthesised
    // frame has at most the energy of the windowed input frame: ||y|| <= A * ||w||, and
    // ||w||^2 = sum of sin^2 over the frame <= N / 2. Output sample p sums four frames, each
    // weighted by the window again: by Cauchy-Schwarz |out| <= sqrt(sum of w^2 over the four) *
    // sqrt(4) * max ||y|| <= sqrt(2) * 2 * A * sqrt(N / 2) = 2 * sqrt(N) * A, times the gain factor.
    // The transforms' float rounding (relative 1e-6 or so) is covered by 0.1 %.
    const double factor = outputFactorOf(kGain);
    const double bound = 2.0 * std::sqrt(static_cast<double>(kFrameSamples)) * kAmplitude * factor * 1.001;
    // The same two steps bound the energy: summed over all p, |out[p]|^2 <= 2 * (the squared
    // frames' sum at p) gives ||out||^2 <= 2 * sum of ||y||^2 = 2 * sum of ||w x||^2, and every
    // input sample meets the window in four frames with squares summing to at most 2. So a period
    // (which the silence ends with everything flushed) has ||out||^2 <= 4 * g^2 * ||x||^2.
    const double energyBound = 4.0 * factor * factor * 1.001;

    LoadedModule module;
    PluginInstance plugin(module);
    AudioThread audio(plugin);
    audio.setParameter(0, kGain);
    audio.resume();

    const std::vector<int32_t> blocks = {512, 480, 1, 4096, 333, 0, 1024};
    std::vector<float> input(kPeriod, 0.0f);
    std::vector<float> output(kPeriod);
    std::vector<float> firstPeriod;
    double peak = 0.0;
    double worstEnergyRatio = 0.0;  // ||out||^2 / ||x||^2 over one period
    long nonZeroInSilence = 0;
    std::size_t turn = 0;
    std::size_t periods = 0;
    for (std::size_t start = 0; start < kHourSamples; start += kPeriod, ++periods) {
        // The first and the last period get the same noise: their outputs must be the same bits.
        const bool lastPeriod = start + kPeriod >= kHourSamples;
        const std::vector<float> burst =
            noise(kHalfPeriod, kAmplitude, lastPeriod ? 0u : static_cast<uint32_t>(periods));
        std::copy(burst.begin(), burst.end(), input.begin());
        const std::size_t length = std::min(kPeriod, kHourSamples - start);
        for (std::size_t done = 0; done < length; ++turn) {
            const std::size_t frames =
                std::min<std::size_t>(static_cast<std::size_t>(blocks[turn % blocks.size()]), length - done);
            audio.processReplacing(input.data() + done, output.data() + done, static_cast<int32_t>(frames));
            done += frames;
        }
        double inputEnergy = 0.0;
        double outputEnergy = 0.0;
        for (std::size_t i = 0; i < length; ++i) {
            inputEnergy += static_cast<double>(input[i]) * input[i];
            outputEnergy += static_cast<double>(output[i]) * output[i];
        }
        if (length == kPeriod) {
            worstEnergyRatio = std::max(worstEnergyRatio, outputEnergy / inputEnergy);
        }
        for (std::size_t i = 0; i < length; ++i) {
            peak = std::max(peak, static_cast<double>(std::fabs(output[i])));  // NaN would fail the bound below
            if (!(std::fabs(output[i]) <= bound)) {
                ADD_FAILURE() << "sample " << start + i << " is " << output[i] << ", beyond " << bound;
                return;
            }
        }
        // Two frames after the noise ends the chain holds nothing but silence: exact zeros.
        for (std::size_t i = kHalfPeriod + 2 * kFrameSamples; i < length; ++i) {
            nonZeroInSilence += output[i] != 0.0f;
        }
        if (periods == 0) {
            firstPeriod = output;
        } else if (lastPeriod) {
            const auto end = static_cast<long>(length);
            EXPECT_EQ(firstBitDifference(std::vector<float>(output.begin(), output.begin() + end),
                                         std::vector<float>(firstPeriod.begin(), firstPeriod.begin() + end)),
                      -1)
                << "the last period drifted from the first";
        }
    }
    EXPECT_EQ(nonZeroInSilence, 0);
    EXPECT_LE(worstEnergyRatio, energyBound);
    RecordProperty("peak", std::to_string(peak));
    RecordProperty("bound", std::to_string(bound));
    std::printf(
        "%zu periods: peak |output| %.4f against the bound %.4f; output/input energy at most %.4f "
        "against the bound %.4f\n",
        periods, peak, bound, worstEnergyRatio, energyBound);
}

}  // namespace
}  // namespace validator
