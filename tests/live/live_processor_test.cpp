// The live tool's audio-thread half with the real module: pieces, queued changes, pauses, and
// nothing on that thread that could make it wait.
#include "live/live_processor.h"

#include <gtest/gtest.h>

#include <vector>

#include "fake_effect.h"
#include "kit/plugin_module.h"
#include "support/realtime_probe.h"

namespace {

constexpr int32_t kPreparedFrames = 256;
constexpr int32_t kPeriodFrames = 1000;  // larger than prepared, and no multiple of it

std::vector<float> ramp(size_t count) {
    std::vector<float> samples(count);
    for (size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<float>((i * 7919 % 1000) / 1000.0 - 0.5);
    }
    return samples;
}

struct ResumedEffect {
    ResumedEffect() : module(TINVOICER_MODULE_PATH), effect(module.entry(), module.path()) {
        effect.prepare(48000.0f, kPreparedFrames);
        effect.resume();
    }
    PluginModule module;
    EffectInstance effect;
};

TEST(LiveProcessor, PeriodsInPiecesAndQueuedChangesGiveTheBitsOfOneBlockAndNeverWait) {
    const std::vector<float> input = ramp(4 * kPeriodFrames);
    // The reference: one block per period, the gain set to 1 (factor 10) between periods 1 and 2.
    ResumedEffect reference;
    std::vector<float> expected(input.size());
    for (int32_t period = 0; period < 4; ++period) {
        if (period == 2) {
            reference.effect.setParameter(0, 1.0f);
        }
        float* in = const_cast<float*>(input.data()) + period * kPeriodFrames;
        float* out = expected.data() + period * kPeriodFrames;
        reference.effect.process(&in, &out, kPeriodFrames);
    }

    ResumedEffect live;
    LiveProcessor processor(live.effect, kPreparedFrames);
    std::vector<float> output(input.size(), -1.0f);
    const realtime_probe::Counts counts = realtime_probe::whileWatching([&] {
        for (int32_t period = 0; period < 4; ++period) {
            if (period == 2) {
                ASSERT_TRUE(processor.requestParameter({0, 1.0f}));
            }
            float* in = const_cast<float*>(input.data()) + period * kPeriodFrames;
            float* out = output.data() + period * kPeriodFrames;
            processor.process(&in, &out, kPeriodFrames);
        }
    });
    EXPECT_EQ(output, expected);
    EXPECT_EQ(counts.allocations + counts.releases + counts.locks, 0);

    // Paused: silence out, and the meters keep what was played before.
    processor.requestPause();
    std::vector<float> silence(kPeriodFrames, 1.0f);
    float* in = const_cast<float*>(input.data());
    float* out = silence.data();
    processor.process(&in, &out, kPeriodFrames);
    EXPECT_TRUE(processor.paused());
    EXPECT_EQ(silence, std::vector<float>(kPeriodFrames, 0.0f));
    EXPECT_GT(processor.takeOutputPeak(), 1.0f);  // factor 10 on a signal of 0.5
    EXPECT_EQ(processor.takeOutputPeak(), 0.0f);
}

// The real module gives the same bits at any block size, so only an effect that notes its blocks
// shows that a long period reaches it in pieces of the prepared size.
TEST(LiveProcessor, NeverHandsTheEffectMoreFramesThanItWasPreparedFor) {
    resetFakes(FakeEffectShape{});
    EffectInstance effect(fakeEffectEntry, "fake");
    effect.prepare(48000.0f, kPreparedFrames);
    effect.resume();
    LiveProcessor processor(effect, kPreparedFrames);
    std::vector<float> input = ramp(kPeriodFrames);
    std::vector<float> output(input.size());
    float* in = input.data();
    float* out = output.data();
    processor.process(&in, &out, kPeriodFrames);
    EXPECT_EQ(fakeLogs().front()->largestBlock, kPreparedFrames);
    EXPECT_EQ(output, input);  // the fake without delay passes every piece through
    // The meters show magnitudes: the ramp's largest is that of its lowest sample, -0.5.
    EXPECT_EQ(processor.takeInputPeak(), 0.5f);
    EXPECT_EQ(processor.takeOutputPeak(), 0.5f);
}

}  // namespace
