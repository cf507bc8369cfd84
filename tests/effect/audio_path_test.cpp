// The effect's audio path: output factor, the two processing entries, suspend, and the
// zero-phase operation itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "effect/zero_phase_effect.h"
#include "support/signals.h"

namespace {

using spectral::SpectralBin;

// Uniform noise in [-0.5, 0.5].
std::vector<float> noise(size_t length, uint32_t seed) { return test_support::noise(length, 0.5f, seed); }

// Runs `input` through processReplacing in blocks of `block` samples.
std::vector<float> render(ZeroPhaseEffect& effect, const std::vector<float>& input, size_t block) {
    std::vector<float> output(input.size(), -99.0f);
    for (size_t start = 0; start < input.size(); start += block) {
        const auto frames = static_cast<int32_t>(std::min(block, input.size() - start));
        float* in[] = {const_cast<float*>(input.data() + start)};
        float* out[] = {output.data() + start};
        effect.processReplacing(in, out, frames);
    }
    return output;
}

// Exposes the zero-phase operation on a frame of 8 samples (5 bins).
class OpenZeroPhase : public ZeroPhaseProcessor {
public:
    OpenZeroPhase() : ZeroPhaseProcessor(8) {}
    SpectralBin* bin() { return bins.get(); }
    void apply() { processSpectrum(); }
};

TEST(OutputFactor, RunsFromMinusTwentyToPlusTwentyDecibels) {
    const struct {
        float gain;
        float factor;
        float tolerance;  // the float rounding of the exponent and the factor
    } rows[] = {{0.0f, 0.1f, 1e-8f},
                {0.25f, 0.316228f, 1e-6f},
                {0.5f, 1.0f, 0.0f},
                {0.75f, 3.162278f, 1e-6f},
                {1.0f, 10.0f, 0.0f}};
    for (const auto& row : rows) {
        EXPECT_NEAR(tinvoicer::Gain::fromNormalized(row.gain).factor(), row.factor, row.tolerance) << row.gain;
    }
    EXPECT_EQ(tinvoicer::Gain::fromNormalized(0.5f).factor(), 1.0f);  // exactly unity: 0 dB must not colour the signal
}

TEST(ZeroPhaseOperation, KeepsTheMagnitudeAndDropsThePhase) {
    OpenZeroPhase processor;
    const SpectralBin in[5] = {{-2.0f, 0.0f}, {3.0f, 4.0f}, {3.0f, -4.0f}, {0.0f, 0.0f}, {-0.5f, 0.0f}};
    const SpectralBin expected[5] = {{2.0f, 0.0f}, {5.0f, 0.0f}, {5.0f, 0.0f}, {0.0f, 0.0f}, {0.5f, 0.0f}};
    for (int k = 0; k < 5; ++k) {
        processor.bin()[k] = in[k];
    }
    processor.apply();
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(processor.bin()[k].re, expected[k].re) << k;
        EXPECT_EQ(processor.bin()[k].im, expected[k].im) << k;
    }
}

TEST(ZeroPhaseEffect, ReplacingScalesTheProcessorOutputByTheGainFactor) {
    const std::vector<float> input = noise(5000, 1);
    ZeroPhaseEffect unity(nullptr);
    const std::vector<float> reference = render(unity, input, 512);
    for (float gain : {0.0f, 0.3f, 0.5f, 1.0f}) {
        ZeroPhaseEffect effect(nullptr);
        effect.setParameter(ZeroPhaseEffect::kGain, gain);
        const std::vector<float> output = render(effect, input, 512);
        const float factor = tinvoicer::Gain::fromNormalized(gain).factor();
        for (size_t i = 0; i < input.size(); ++i) {
            ASSERT_EQ(output[i], reference[i] * factor) << "gain " << gain << " sample " << i;
        }
    }
}

// The product on each kernel the machine runs: the same bits as on the scalar stages, at block
// sizes that cut the frames differently.
TEST(ZeroPhaseEffect, EveryKernelGivesTheScalarKernelsBits) {
    using spectral::RealFft;
    const std::vector<float> input = noise(6000, 11);
    for (size_t block : {size_t{1}, size_t{64}, size_t{512}}) {
        ZeroPhaseEffect scalar(nullptr, RealFft::Kernel::Scalar);
        const std::vector<float> expected = render(scalar, input, block);
        for (RealFft::Kernel kernel : {RealFft::Kernel::Sse2, RealFft::Kernel::Avx2, RealFft::Kernel::Avx512}) {
            if (!RealFft::supports(kernel)) continue;
            ZeroPhaseEffect effect(nullptr, kernel);
            const std::vector<float> output = render(effect, input, block);
            ASSERT_EQ(std::memcmp(output.data(), expected.data(), output.size() * sizeof(float)), 0)
                << "kernel " << static_cast<int>(kernel) << " block " << block;
        }
    }
}

// processReplacing writes y * g; process adds it to what the output holds, the product and the sum
// formed in double and rounded once. The two entries may alternate within one stream.
TEST(ZeroPhaseEffect, ProcessAddsWhatReplacingWritesAndTheyMayAlternate) {
    const std::vector<float> input = noise(4096, 4);
    ZeroPhaseEffect unity(nullptr);
    const std::vector<float> y = render(unity, input, input.size());
    const std::vector<float> existing = noise(input.size(), 3);
    ZeroPhaseEffect effect(nullptr);
    effect.setParameter(ZeroPhaseEffect::kGain, 0.7f);
    const double factor = tinvoicer::Gain::fromNormalized(0.7f).factor();
    std::vector<float> output = existing;
    bool replacing = true;
    for (size_t start = 0; start < input.size(); start += 300, replacing = !replacing) {
        const auto frames = static_cast<int32_t>(std::min<size_t>(300, input.size() - start));
        float* in[] = {const_cast<float*>(input.data() + start)};
        float* out[] = {output.data() + start};
        replacing ? effect.processReplacing(in, out, frames) : effect.process(in, out, frames);
        for (size_t i = start; i < start + static_cast<size_t>(frames); ++i) {
            const double held = replacing ? 0.0 : static_cast<double>(existing[i]);
            ASSERT_EQ(output[i], static_cast<float>(held + static_cast<double>(y[i]) * factor)) << i;
        }
    }
}

TEST(ZeroPhaseEffect, EmptyAndNegativeBlocksTouchNothingAndDoNotAdvance) {
    const std::vector<float> input = noise(2048, 5);
    ZeroPhaseEffect plain(nullptr);
    const std::vector<float> reference = render(plain, input, 2048);

    ZeroPhaseEffect effect(nullptr);
    std::vector<float> output(input.size(), 7.0f);
    float* in[] = {const_cast<float*>(input.data())};
    float* out[] = {output.data()};
    effect.processReplacing(in, out, 0);
    effect.process(in, out, -5);
    effect.processReplacing(in, out, INT32_MIN);
    EXPECT_EQ(output, std::vector<float>(input.size(), 7.0f));
    effect.processReplacing(in, out, 2048);
    EXPECT_EQ(output, reference);
}

TEST(ZeroPhaseEffect, OneBufferMayBeBothInputAndOutput) {
    const std::vector<float> input = noise(3000, 6);
    ZeroPhaseEffect separate(nullptr);
    const std::vector<float> reference = render(separate, input, 256);

    ZeroPhaseEffect inPlace(nullptr);
    std::vector<float> buffer = input;
    for (size_t start = 0; start < buffer.size(); start += 256) {
        const auto frames = static_cast<int32_t>(std::min<size_t>(256, buffer.size() - start));
        float* channel[] = {buffer.data() + start};
        inPlace.processReplacing(channel, channel, frames);
    }
    EXPECT_EQ(buffer, reference);
}

TEST(ZeroPhaseEffect, DepthReachesTheProcessorAndDoesNotChangeTheSound) {
    const std::vector<float> input = noise(4000, 7);
    ZeroPhaseEffect low(nullptr);
    ZeroPhaseEffect high(nullptr);
    low.setParameter(ZeroPhaseEffect::kDepth, 0.0f);
    high.setParameter(ZeroPhaseEffect::kDepth, 1.0f);
    EXPECT_EQ(low.frameProcessor().depth, 0.0f);
    EXPECT_EQ(high.frameProcessor().depth, 1.0f);
    EXPECT_EQ(render(low, input, 100), render(high, input, 100));
}

// Hosts send effMainsChanged 1 again while audio plays: only a suspend before it clears the history.
TEST(ZeroPhaseEffect, SuspendClearsTheHistoryAndResumeAloneKeepsIt) {
    const std::vector<float> history = noise(1777, 9);
    const std::vector<float> input = noise(3000, 8);
    ZeroPhaseEffect fresh(nullptr);
    const std::vector<float> afresh = render(fresh, input, 512);
    ZeroPhaseEffect straight(nullptr);
    render(straight, history, 333);
    const std::vector<float> continued = render(straight, input, 512);
    for (bool suspend : {true, false}) {
        ZeroPhaseEffect effect(nullptr);
        render(effect, history, 333);
        if (suspend) {
            effect.dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
        }
        effect.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
        EXPECT_EQ(render(effect, input, 512), suspend ? afresh : continued) << "suspended: " << suspend;
    }
}

TEST(ZeroPhaseEffect, SilenceInGivesExactSilenceOut) {
    ZeroPhaseEffect effect(nullptr);
    EXPECT_EQ(render(effect, std::vector<float>(5000, 0.0f), 64), std::vector<float>(5000, 0.0f));
}

TEST(ZeroPhaseEffect, OnlyTheFirstChannelIsTouched) {
    const std::vector<float> input = noise(1500, 11);
    std::vector<float> second(input.size(), 3.0f);
    std::vector<float> secondOut(input.size(), 4.0f);
    std::vector<float> output(input.size());
    ZeroPhaseEffect effect(nullptr);
    float* in[] = {const_cast<float*>(input.data()), second.data()};
    float* out[] = {output.data(), secondOut.data()};
    effect.processReplacing(in, out, static_cast<int32_t>(input.size()));
    effect.process(in, out, static_cast<int32_t>(input.size()));
    EXPECT_EQ(second, std::vector<float>(input.size(), 3.0f));
    EXPECT_EQ(secondOut, std::vector<float>(input.size(), 4.0f));
}

}  // namespace
