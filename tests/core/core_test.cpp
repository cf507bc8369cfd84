// The format-free audio core against its public class, linked alone (no host layer, no edition):
// its controls, its calls and their contracts. The voice itself is voice_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "core/zero_phase_core.h"
#include "core/zero_phase_processor.h"
#include "support/signals.h"

namespace {

using test_support::firstBitDifference;
using tinvoicer::Gain;
using tinvoicer::Mix;
using tinvoicer::Pitch;
using tinvoicer::VoiceControls;
using tinvoicer::ZeroPhaseCore;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// dB = 20 * (2 * normalised - 1) where both exponents are the same float: the LV2 edition's Gain
// and the VST 2 module's then give one factor, bit for bit.
TEST(Gain, DecibelsAndNormalisedValuesWithOneExponentGiveOneFactor) {
    const struct {
        float gainDb;
        float normalizedGain;
    } rows[] = {{-20.0f, 0.0f}, {-10.0f, 0.25f}, {-5.0f, 0.375f}, {0.0f, 0.5f},
                {5.0f, 0.625f}, {10.0f, 0.75f},  {20.0f, 1.0f}};
    for (const auto& row : rows) {
        const float lv2 = Gain::fromDecibels(row.gainDb).factor();
        const float vst2 = Gain::fromNormalized(row.normalizedGain).factor();
        EXPECT_EQ(std::memcmp(&lv2, &vst2, sizeof lv2), 0) << row.gainDb << " dB";
    }
    EXPECT_EQ(Gain::fromDecibels(0.0f).factor(), 1.0f);  // 0 dB must not colour the signal
}

// Every maker takes any float: beyond the range it counts as the range's end, NaN as the default.
TEST(VoiceControls, HostileValuesBecomeTheRangesEndOrTheDefault) {
    const struct {
        float value;
        float gainDb, semitones, percent;  // what each control makes of it
    } rows[] = {
        {kNaN, 0.0f, 0.0f, 100.0f},    {kInf, 20.0f, 12.0f, 100.0f},   {-kInf, -20.0f, -24.0f, 0.0f},
        {1e30f, 20.0f, 12.0f, 100.0f}, {-30.0f, -20.0f, -24.0f, 0.0f}, {-0.0f, -0.0f, -0.0f, 0.0f},
        {7.5f, 7.5f, 7.5f, 7.5f},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "value " << row.value);
        EXPECT_EQ(Gain::fromDecibels(row.value).exponent(), Gain::fromDecibels(row.gainDb).exponent());
        EXPECT_EQ(Pitch::fromSemitones(row.value).semitones(), row.semitones);
        EXPECT_EQ(Mix::fromPercent(row.value).fraction(), row.percent / 100.0f);
    }
}

/// `input` through a fresh core, whose call `process(core, in, out, count)` gets blocks of the sizes
/// given, taken in turn (0 and negative counts too); `inPlace` hands one buffer as both.
template <typename Process>
std::vector<float> render(const std::vector<float>& input, Process process, const std::vector<int32_t>& blocks = {512},
                          bool inPlace = false) {
    ZeroPhaseCore core;
    std::vector<float> output = inPlace ? input : std::vector<float>(input.size(), -99.0f);
    for (std::size_t start = 0, turn = 0; start < input.size(); ++turn) {
        const int32_t count = std::min<int32_t>(blocks[turn % blocks.size()], int32_t(input.size() - start));
        process(core, (inPlace ? output.data() : input.data()) + start, output.data() + start, count);
        start += std::size_t(std::max(count, 0));
    }
    return output;
}

auto voice(const VoiceControls& controls) {
    return [=](ZeroPhaseCore& core, const float* in, float* out, int32_t n) { core.process(in, out, n, controls); };
}

// The same bits whatever the blocks (empty and negative calls among them) and whether the output
// is the input's buffer, for the classic call and the tunable one; at the defaults the tunable
// call is the classic robot; processAdding adds it to what the output holds, in double.
TEST(ZeroPhaseCore, BlocksEmptyCallsOneBufferAndAddingChangeNoBit) {
    const std::vector<float> input = test_support::noise(9000, 0.5f, 11);
    const Gain gain = Gain::fromDecibels(-4.0f);
    const auto classic = [&](ZeroPhaseCore& core, const float* in, float* out, int32_t n) {
        core.processReplacing(in, out, n, gain);
    };
    const std::vector<int32_t> irregular = {1, 5, 0, 400, -3, 300, 1024};
    const std::vector<float> reference = render(input, classic);
    EXPECT_EQ(firstBitDifference(render(input, classic, irregular, true), reference), -1);
    EXPECT_EQ(firstBitDifference(render(input, voice({gain, Pitch(), Mix()}), {77, 0, 1000}), reference), -1);
    for (const VoiceControls& controls : {VoiceControls{gain, Pitch::fromSemitones(-7.0f), Mix::fromPercent(60.0f)},
                                          VoiceControls{gain, Pitch::fromSemitones(12.0f), Mix()}}) {
        EXPECT_EQ(firstBitDifference(render(input, voice(controls), irregular, true), render(input, voice(controls))),
                  -1);
    }
    const std::vector<float> before = test_support::noise(input.size(), 0.25f, 5);
    std::vector<float> added = before;
    ZeroPhaseCore core;
    core.processAdding(input.data(), added.data(), int32_t(input.size()), gain);
    const std::vector<float> unity = render(input, voice({}));
    for (std::size_t i = 0; i < added.size(); ++i) {
        ASSERT_EQ(added[i], float(double(before[i]) + double(unity[i]) * gain.factor())) << i;
    }
}

// Mix at 0 % is the input, lined up with the robot: exactly 1024 samples late at every pitch,
// every bit kept, -0 and infinities included.
TEST(ZeroPhaseCore, NoRobotAtAllIsTheInputOneFrameLateAtEveryPitch) {
    std::vector<float> input = test_support::noise(5000, 0.5f, 6);
    input[2000] = -0.0f;
    input[2001] = kInf;
    input[2002] = -kInf;
    std::vector<float> late(input.size(), 0.0f);
    std::copy(input.begin(), input.end() - ZeroPhaseCore::kFrameSamples, late.begin() + ZeroPhaseCore::kFrameSamples);
    for (float semitones : {-24.0f, 0.0f, 5.0f, 12.0f}) {
        const VoiceControls dry{Gain(), Pitch::fromSemitones(semitones), Mix::fromPercent(0)};
        EXPECT_EQ(firstBitDifference(render(input, voice(dry)), late), -1) << semitones << " semitones";
    }
}

// reset only raises a flag: the history stays until the next processing call clears it, on the
// audio thread, and from there the core sounds like a new one.
TEST(ZeroPhaseCore, ResetClearsTheHistoryAtTheNextCallNotBefore) {
    std::vector<float> history = test_support::noise(1500, 0.5f, 2);
    const std::vector<float> input = test_support::noise(4000, 0.5f, 3);
    const VoiceControls controls{Gain(), Pitch::fromSemitones(-5.0f), Mix()};
    ZeroPhaseCore core;
    std::vector<float> output(input.size());
    core.process(history.data(), output.data(), int32_t(history.size()), controls);
    core.reset();
    // What the processor still holds: the sample after the history, as a core that was not reset
    // gives it.
    history.push_back(0.0f);
    const float held = render(history, voice(controls)).back();
    ASSERT_NE(held, 0.0f);
    EXPECT_EQ(tinvoicer::frameProcessorOf(core).processSample(0.0f), held) << "cleared too early";
    core.process(input.data(), output.data(), int32_t(input.size()), controls);
    EXPECT_EQ(firstBitDifference(output, render(input, voice(controls), {int32_t(input.size())})), -1);
}

}  // namespace
