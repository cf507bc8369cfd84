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

// The robot's pitch is the frame rate: sample rate / spacing.
TEST(Pitch, SpacesFramesByTheClassicQuarterFrameScaledByTheInterval) {
    const struct {
        float semitones;
        int32_t spacing;
    } rows[] = {{0.0f, 256}, {12.0f, 128}, {-12.0f, 512}, {-24.0f, 1024}, {7.0f, 171}, {-7.0f, 384}, {0.01f, 256}};
    for (const auto& row : rows) {
        EXPECT_EQ(Pitch::fromSemitones(row.semitones).frameSpacing(1024), row.spacing) << row.semitones;
    }
}

/// `input` through a fresh core in blocks of the sizes given, taken in turn (0 is an empty call),
/// by `call(core, in, out, count)`; `inPlace` hands one buffer as both.
template <typename Call>
std::vector<float> render(const std::vector<float>& input, const std::vector<int32_t>& blocks, bool inPlace,
                          Call call) {
    ZeroPhaseCore core;
    std::vector<float> output = inPlace ? input : std::vector<float>(input.size(), -99.0f);
    for (std::size_t start = 0, turn = 0; start < input.size(); ++turn) {
        const int32_t count =
            std::min<int32_t>(blocks[turn % blocks.size()], static_cast<int32_t>(input.size() - start));
        call(core, (inPlace ? output.data() : input.data()) + start, output.data() + start, count);
        start += static_cast<std::size_t>(std::max(count, 0));
    }
    return output;
}

std::vector<float> renderVoice(const std::vector<float>& input, const VoiceControls& controls,
                               const std::vector<int32_t>& blocks = {512}, bool inPlace = false) {
    return render(input, blocks, inPlace, [&](ZeroPhaseCore& core, const float* in, float* out, int32_t count) {
        core.process(in, out, count, controls);
    });
}

// The same bits whatever the block sizes (empty and negative calls among them) and whether the
// output is the input's buffer, for the classic calls and the tunable one at several settings.
TEST(ZeroPhaseCore, BlocksEmptyCallsAndOneBufferChangeNoBit) {
    const std::vector<float> input = test_support::noise(9000, 0.5f, 11);
    const Gain gain = Gain::fromDecibels(-4.0f);
    const auto classic = [&](ZeroPhaseCore& core, const float* in, float* out, int32_t count) {
        core.processReplacing(in, out, count, gain);
    };
    const std::vector<float> reference = render(input, {512}, false, classic);
    EXPECT_EQ(firstBitDifference(render(input, {1, 5, 0, 400, -3, 300, 1024}, true, classic), reference), -1);
    // The tunable call at the defaults is the classic robot.
    EXPECT_EQ(firstBitDifference(renderVoice(input, {gain, Pitch(), Mix()}, {77, 0, 1000}), reference), -1);
    for (const VoiceControls& controls : {VoiceControls{gain, Pitch::fromSemitones(-7.0f), Mix::fromPercent(60.0f)},
                                          VoiceControls{gain, Pitch::fromSemitones(12.0f), Mix()}}) {
        EXPECT_EQ(firstBitDifference(renderVoice(input, controls, {1, 5, 0, 400, -3, 300, 1024}, true),
                                     renderVoice(input, controls)),
                  -1);
    }
}

// processAdding adds the classic robot to what the output holds, sum and product in double.
TEST(ZeroPhaseCore, AddingAddsTheRobotToWhatTheOutputHolds) {
    const std::vector<float> input = test_support::noise(3000, 0.5f, 4);
    const std::vector<float> before = test_support::noise(3000, 0.25f, 5);
    const Gain gain = Gain::fromDecibels(6.0f);
    const std::vector<float> robot = renderVoice(input, VoiceControls{});
    ZeroPhaseCore core;
    std::vector<float> output = before;
    core.processAdding(input.data(), output.data(), static_cast<int32_t>(input.size()), gain);
    for (std::size_t i = 0; i < output.size(); ++i) {
        const double sum = static_cast<double>(before[i]) + static_cast<double>(robot[i]) * gain.factor();
        ASSERT_EQ(output[i], static_cast<float>(sum)) << i;
    }
}

// Mix at 0 % is the input, lined up with the robot: exactly 1024 samples late at every pitch,
// every bit kept, -0 and infinities included.
TEST(ZeroPhaseCore, NoRobotAtAllIsTheInputOneFrameLateAtEveryPitch) {
    std::vector<float> input = test_support::noise(5000, 0.5f, 6);
    input[2000] = -0.0f;
    input[2001] = kInf;
    input[2002] = -kInf;
    for (float semitones : {-24.0f, 0.0f, 5.0f, 12.0f}) {
        const std::vector<float> out =
            renderVoice(input, {Gain(), Pitch::fromSemitones(semitones), Mix::fromPercent(0)});
        std::vector<float> late(input.size(), 0.0f);
        std::copy(input.begin(), input.end() - ZeroPhaseCore::kFrameSamples,
                  late.begin() + ZeroPhaseCore::kFrameSamples);
        EXPECT_EQ(firstBitDifference(out, late), -1) << semitones << " semitones";
    }
}

// reset only raises a flag: the history stays until the next processing call clears it, on the
// audio thread, and from there the core sounds like a new one.
TEST(ZeroPhaseCore, ResetClearsTheHistoryAtTheNextCallNotBefore) {
    const std::vector<float> history = test_support::noise(1500, 0.5f, 2);
    const std::vector<float> input = test_support::noise(4000, 0.5f, 3);
    const VoiceControls controls{Gain(), Pitch::fromSemitones(-5.0f), Mix()};
    ZeroPhaseCore core;
    std::vector<float> output(input.size());
    core.process(history.data(), output.data(), static_cast<int32_t>(history.size()), controls);
    core.reset();
    // What the processor still holds: its next output sample, the tail of the history.
    ZeroPhaseCore twin;
    std::vector<float> twinOutput(history.size() + 1);
    std::vector<float> twinInput = history;
    twinInput.push_back(0.0f);
    twin.process(twinInput.data(), twinOutput.data(), static_cast<int32_t>(twinInput.size()), controls);
    ASSERT_NE(twinOutput.back(), 0.0f);
    EXPECT_EQ(tinvoicer::frameProcessorOf(core).processSample(0.0f), twinOutput.back()) << "cleared too early";
    core.process(input.data(), output.data(), static_cast<int32_t>(input.size()), controls);
    EXPECT_EQ(firstBitDifference(output, renderVoice(input, controls, {static_cast<int32_t>(input.size())})), -1);
}

}  // namespace
