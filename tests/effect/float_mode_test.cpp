// The processing entries switch denormal flushing on for their own duration only: the host's
// float mode comes back unchanged, and results in the normal range keep every bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "effect/zero_phase_effect.h"
#include "spectral/flush_denormals.h"
#include "support/signals.h"

#if defined(TINVOICER_HAVE_FLOAT_CONTROL)

namespace {

std::vector<float> ramp(std::size_t length) {
    std::vector<float> v(length);
    for (std::size_t i = 0; i < length; ++i) v[i] = static_cast<float>((i * 7919 % 1000) / 1000.0 - 0.5);
    return v;
}

class HostFloatMode : public ::testing::Test {
protected:
    void TearDown() override { writeFloatControl(original); }
    const FloatControlWord original = readFloatControl();
};

TEST_F(HostFloatMode, ComesBackUnchangedFromBothProcessingEntries) {
    ZeroPhaseEffect effect(nullptr);
    std::vector<float> input = ramp(1500);
    std::vector<float> output(input.size(), 0.0f);
    float* in[] = {input.data()};
    float* out[] = {output.data()};
    const FloatControlWord hostModes[] = {original & ~FlushDenormalsScope::flushBits,
                                          original | FlushDenormalsScope::flushBits};
    for (FloatControlWord mode : hostModes) {
        writeFloatControl(mode);
        effect.processReplacing(in, out, static_cast<int32_t>(input.size()));
        const FloatControlWord afterReplacing = readFloatControl();
        writeFloatControl(mode);
        effect.process(in, out, static_cast<int32_t>(input.size()));
        const FloatControlWord afterProcess = readFloatControl();
        writeFloatControl(original);
        EXPECT_EQ(afterReplacing, mode) << std::hex << "host float mode " << mode;
        EXPECT_EQ(afterProcess, mode) << std::hex << "host float mode " << mode;
    }
}

// The effect (flushing) against its own processor driven without any flushing, times the gain.
TEST_F(HostFloatMode, NormalRangeOutputKeepsEveryBit) {
    writeFloatControl(original & ~FlushDenormalsScope::flushBits);
    const std::vector<float> input = ramp(5000);
    ZeroPhaseEffect effect(nullptr);
    effect.setParameter(ZeroPhaseEffect::kGain, 0.7f);
    std::vector<float> output(input.size());
    float* in[] = {const_cast<float*>(input.data())};
    float* out[] = {output.data()};
    effect.processReplacing(in, out, static_cast<int32_t>(input.size()));

    ZeroPhaseProcessor processor(1024);
    const float factor = tinvoicer::Gain::fromNormalized(0.7f).factor();
    for (std::size_t i = 0; i < input.size(); ++i) {
        const float expected = processor.processSample(input[i]) * factor;
        ASSERT_EQ(std::memcmp(&output[i], &expected, sizeof expected), 0) << "sample " << i;
    }
}

std::size_t subnormalCount(const std::vector<float>& samples) {
    std::size_t count = 0;
    for (float sample : samples) count += std::fpclassify(sample) == FP_SUBNORMAL;
    return count;
}

// Noise at 1e-36 through the chain at -20 dB lands in the subnormal range; a host that leaves
// denormals on must still get none of them back from either entry.
TEST_F(HostFloatMode, ResultsInTheSubnormalRangeComeOutFlushed) {
    writeFloatControl(original & ~FlushDenormalsScope::flushBits);
    const std::vector<float> input = test_support::noise(6000, 1e-36f, 11);
    const float factor = tinvoicer::Gain::fromNormalized(0.0f).factor();
    ZeroPhaseProcessor unflushed(1024);
    std::vector<float> expected(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) expected[i] = unflushed.processSample(input[i]) * factor;
    ASSERT_GT(subnormalCount(expected), 100u) << "the input no longer reaches the subnormal range";

    ZeroPhaseEffect replacing(nullptr);
    ZeroPhaseEffect adding(nullptr);
    std::vector<float> replaced(input.size());
    std::vector<float> added(input.size(), 0.0f);
    for (ZeroPhaseEffect* effect : {&replacing, &adding}) effect->setParameter(ZeroPhaseEffect::kGain, 0.0f);
    float* in[] = {const_cast<float*>(input.data())};
    float* replacedOut[] = {replaced.data()};
    float* addedOut[] = {added.data()};
    replacing.processReplacing(in, replacedOut, static_cast<int32_t>(input.size()));
    adding.process(in, addedOut, static_cast<int32_t>(input.size()));
    EXPECT_EQ(subnormalCount(replaced), 0u);
    EXPECT_EQ(subnormalCount(added), 0u);
}

}  // namespace

#endif
