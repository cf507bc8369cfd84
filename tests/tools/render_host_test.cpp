// The render tool's host side driven in-process against a fake delay effect: lifecycle, latency
// compensation, channel routing, the accumulating fallback and control names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fake_effect.h"
#include "kit/effect_controls.h"
#include "kit/effect_instance.h"
#include "kit/tool_error.h"
#include "render/renderer.h"

namespace {

constexpr float kRateHz = 48000.0f;

/// Interleaved frames that differ on every channel and frame, so a shifted or swapped channel shows.
std::vector<float> numberedFrames(int64_t frames, int32_t channels) {
    std::vector<float> samples(static_cast<size_t>(frames * channels));
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = std::sin(0.37f * static_cast<float>(i)) * 0.9f;
    }
    return samples;
}

class CollectingSink : public AudioSink {
public:
    void write(const float* interleaved, int64_t frames) override {
        samples.insert(samples.end(), interleaved, interleaved + frames * channels);
    }
    int32_t channels = 1;
    std::vector<float> samples;
};

/// Renders `input` through fakes of `shape` the way the tool does: as many instances as needed.
struct FakeRender {
    FakeRender(const FakeEffectShape& shape, const std::vector<float>& input, int32_t channels, int32_t blockFrames,
               bool compensate) {
        resetFakes(shape);
        const int32_t count = instancesNeeded(shape.inputs, shape.outputs, channels);
        std::vector<EffectInstance*> effects;
        for (int32_t i = 0; i < count; ++i) {
            instances.push_back(std::make_unique<EffectInstance>(fakeEffectEntry, "fake"));
            instances.back()->prepare(kRateHz, blockFrames);
            effects.push_back(instances.back().get());
        }
        MemorySource source(input, channels, static_cast<int32_t>(kRateHz));
        sink.channels = channels;
        result = Renderer(effects, channels, blockFrames).render(source, sink, compensate);
    }
    std::vector<std::unique_ptr<EffectInstance>> instances;
    CollectingSink sink;
    RenderResult result{};
};

struct LatencyCase {
    int32_t latencyFrames;
    int32_t blockFrames;
    int64_t frames;
};

void PrintTo(const LatencyCase& c, std::ostream* out) {
    *out << "delay " << c.latencyFrames << ", blocks of " << c.blockFrames << ", " << c.frames << " frames";
}

class LatencyCompensation : public ::testing::TestWithParam<LatencyCase> {};

TEST_P(LatencyCompensation, GivesBackTheInputAlignedAndOfTheSameLength) {
    const LatencyCase c = GetParam();
    const std::vector<float> input = numberedFrames(c.frames, 1);
    FakeEffectShape shape;
    shape.latencyFrames = c.latencyFrames;
    FakeRender render(shape, input, 1, c.blockFrames, true);
    // The fake is an exact delay, so compensation must undo it bit for bit.
    EXPECT_EQ(render.sink.samples, input);
    // A negative delay is reported once as such and counts as none, not as a change in the render.
    EXPECT_EQ(render.result.latencyFrames, std::max(c.latencyFrames, 0));
    EXPECT_EQ(render.result.negativeLatency.has_value(), c.latencyFrames < 0);
    EXPECT_FALSE(render.result.latencyChangedTo.has_value());
}

TEST_P(LatencyCompensation, WhenOffTheOutputStartsLateByTheDelayAndEndsWithTheTail) {
    const LatencyCase c = GetParam();
    const std::vector<float> input = numberedFrames(c.frames, 1);
    FakeEffectShape shape;
    shape.latencyFrames = c.latencyFrames;
    FakeRender render(shape, input, 1, c.blockFrames, false);
    const auto delay = static_cast<size_t>(std::max(c.latencyFrames, 0));
    // The delayed input in full: its last samples come out only in the effect's tail.
    ASSERT_EQ(render.sink.samples.size(), input.size() + delay);
    for (size_t n = 0; n < render.sink.samples.size(); ++n) {
        const float expected = n < delay ? 0.0f : input[n - delay];
        ASSERT_EQ(render.sink.samples[n], expected) << "frame " << n;
    }
}

// Delays shorter and longer than a block and than the whole input; blocks of one frame and odd sizes.
INSTANTIATE_TEST_SUITE_P(DelaysBlocksAndLengths, LatencyCompensation,
                         ::testing::Values(LatencyCase{0, 64, 1000}, LatencyCase{100, 64, 1000},
                                           LatencyCase{1024, 512, 5000}, LatencyCase{37, 1, 300},
                                           LatencyCase{700, 256, 300}, LatencyCase{5, 1000, 0},
                                           LatencyCase{333, 100, 1001}, LatencyCase{-5, 64, 300}));

struct RoutingCase {
    const char* name;
    int32_t channels;
    int32_t inputs;
    int32_t outputs;
    int32_t expectedInstances;
    std::vector<int> sourceOfChannel;   ///< file channel each output channel should echo; -1: silent
    std::vector<bool> inputPinsFed;     ///< per input pin of the first instance: does it see signal?
    std::vector<std::string> warnings;  ///< what the user is told about channels left out
};

void PrintTo(const RoutingCase& c, std::ostream* out) { *out << c.name; }

class ChannelRouting : public ::testing::TestWithParam<RoutingCase> {};

TEST_P(ChannelRouting, FeedsChannelsInOrderAndSilencesWhatHasNoSource) {
    const RoutingCase& c = GetParam();
    const int64_t frames = 700;
    const std::vector<float> input = numberedFrames(frames, c.channels);
    FakeEffectShape shape;
    shape.inputs = c.inputs;
    shape.outputs = c.outputs;
    shape.latencyFrames = 10;
    // An effect may write into what it was given as input: the silence of a surplus pin must stay.
    shape.scribblesOnInputs = true;
    FakeRender render(shape, input, c.channels, 128, true);

    EXPECT_EQ(static_cast<int32_t>(render.instances.size()), c.expectedInstances);
    ASSERT_EQ(render.sink.samples.size(), input.size());
    for (int32_t channel = 0; channel < c.channels; ++channel) {
        const int source = c.sourceOfChannel[static_cast<size_t>(channel)];
        for (int64_t n = 0; n < frames; ++n) {
            const float expected = source < 0 ? 0.0f : input[static_cast<size_t>(n * c.channels + source)];
            ASSERT_EQ(render.sink.samples[static_cast<size_t>(n * c.channels + channel)], expected)
                << "channel " << channel << " frame " << n;
        }
    }
    const std::vector<float>& peaks = fakeLogs().front()->inputPeaks;
    for (size_t pin = 0; pin < c.inputPinsFed.size(); ++pin) {
        EXPECT_EQ(peaks[pin] > 0.0f, c.inputPinsFed[pin]) << "input pin " << pin;
    }
    EXPECT_EQ(routingWarnings(c.inputs, c.outputs, c.expectedInstances, c.channels), c.warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ChannelRouting,
    ::testing::Values(
        RoutingCase{"MonoEffectOnStereo", 2, 1, 1, 2, {0, 1}, {true}, {}},
        RoutingCase{"MonoEffectOnSixChannels", 6, 1, 1, 6, {0, 1, 2, 3, 4, 5}, {true}, {}},
        RoutingCase{"StereoEffectOnStereo", 2, 2, 2, 1, {0, 1}, {true, true}, {}},
        RoutingCase{"SurplusInputsGetSilence",
                    2,
                    4,
                    4,
                    1,
                    {0, 1},
                    {true, true, false, false},
                    {"the effect has 4 outputs and the file 2 channels; effect outputs 3 to 4 are dropped"}},
        RoutingCase{"SurplusOutputsAreDropped",
                    1,
                    1,
                    3,
                    1,
                    {0},
                    {true},
                    {"the effect has 3 outputs and the file 1 channel; effect outputs 2 to 3 are dropped"}},
        RoutingCase{"ChannelsBeyondTheOutputsAreSilent",
                    3,
                    2,
                    2,
                    1,
                    {0, 1, -1},
                    {true, true},
                    {"the effect has 2 inputs; input channel 3 is not processed",
                     "the effect has 2 outputs; output channel 3 is silent"}},
        RoutingCase{"MonoInStereoOutOnMono",
                    1,
                    1,
                    2,
                    1,
                    {0},
                    {true},
                    {"the effect has 2 outputs and the file 1 channel; effect output 2 is dropped"}}),
    [](const ::testing::TestParamInfo<RoutingCase>& info) { return std::string(info.param.name); });

TEST(EffectInstance, RefusesChannelCountsThatNoBufferCanServe) {
    const int32_t cases[][2] = {{-1, 1}, {257, 1}, {1, 257}};  // inputs, outputs
    for (const auto& [inputs, outputs] : cases) {
        FakeEffectShape shape;
        shape.inputs = inputs;
        shape.outputs = outputs;
        resetFakes(shape);
        try {
            EffectInstance effect(fakeEffectEntry, "fake");
            ADD_FAILURE() << "accepted " << inputs << " inputs and " << outputs << " outputs";
        } catch (const ToolError& error) {
            EXPECT_EQ(error.what(), "'fake': the effect reports " + std::to_string(inputs) + " inputs and " +
                                        std::to_string(outputs) + " outputs");
        }
    }
}

TEST(EffectWithoutReplacing, IsDrivenThroughTheAccumulatingEntryOntoZeroedOutputs) {
    const std::vector<float> input = numberedFrames(1000, 2);
    FakeEffectShape shape;
    shape.inputs = 2;
    shape.outputs = 2;
    shape.latencyFrames = 3;
    shape.canReplacing = false;
    // Several blocks: an accumulating effect on unzeroed outputs would add up the previous block.
    FakeRender render(shape, input, 2, 64, true);
    EXPECT_EQ(render.sink.samples, input);
}

TEST(LatencyCompensation, CoversADelayThatTheEffectAnnouncesOnlyOnceRunning) {
    const std::vector<float> input = numberedFrames(3000, 1);
    FakeEffectShape shape;
    shape.latencyFrames = 220;
    shape.announcesLatencyOnceRunning = true;
    FakeRender render(shape, input, 1, 128, true);
    EXPECT_EQ(render.sink.samples, input);
}

TEST(EffectWithoutReplacing, StartsEachCallFromZeroedOutputs) {
    FakeEffectShape shape;
    shape.canReplacing = false;
    resetFakes(shape);
    EffectInstance effect(fakeEffectEntry, "fake");
    effect.prepare(kRateHz, 4);
    effect.resume();
    float in[4] = {0.5f, -0.25f, 0.125f, 1.0f};
    float out[4] = {7.0f, 7.0f, 7.0f, 7.0f};  // what a caller's buffer may hold from before
    float* inputs[] = {in};
    float* outputs[] = {out};
    effect.process(inputs, outputs, 4);
    EXPECT_TRUE(std::equal(in, in + 4, out));
}

TEST(EffectLifecycle, IsOpenedPreparedResumedSuspendedAndClosedInHostOrder) {
    resetFakes(FakeEffectShape{});
    { FakeRender render(FakeEffectShape{}, numberedFrames(100, 1), 1, 32, true); }
    const FakeEffectLog& log = *fakeLogs().front();
    // The first resume and suspend frame the block of silence that settles the effect's delay.
    const std::vector<int32_t> expected = {effOpen,         effSetSampleRate, effSetBlockSize, effMainsChanged,
                                           effMainsChanged, effMainsChanged,  effMainsChanged, effClose};
    EXPECT_EQ(log.opcodes, expected);
    EXPECT_EQ(log.mainsValues, (std::vector<intptr_t>{1, 0, 1, 0}));
    EXPECT_FALSE(log.processedWhileSuspended);
}

TEST(HostCallback, AnswersTheVersionAndTheStreamItPrepared) {
    FakeRender render(FakeEffectShape{}, numberedFrames(10, 1), 1, 200, true);
    const FakeEffectLog& log = *fakeLogs().front();
    EXPECT_EQ(log.versionAnswer, 2400);
    EXPECT_EQ(log.sampleRateHz, kRateHz);
    EXPECT_EQ(log.sampleRateAnswer, static_cast<intptr_t>(kRateHz));
    EXPECT_EQ(log.blockFrames, 200);
    EXPECT_EQ(log.blockSizeAnswer, 200);
}

TEST(HostCallback, TellsEffectsWhetherTheyRunOfflineOrInRealTime) {
    const std::pair<EffectInstance::HostRole, intptr_t> cases[] = {{EffectInstance::HostRole::offlineRenderer, 4},
                                                                   {EffectInstance::HostRole::liveClient, 2}};
    for (const auto& [role, processLevel] : cases) {
        resetFakes(FakeEffectShape{});
        {
            EffectInstance effect(fakeEffectEntry, "fake", role);
            effect.prepare(kRateHz, 64);
            effect.resume();
        }
        EXPECT_EQ(fakeLogs().front()->processLevelAnswer, processLevel);
    }
}

struct NameCase {
    const char* typed;
    const char* effectName;
    bool matches;
};

TEST(NamesMatch, IgnoreLeadingBlanksAndCaseOnly) {
    const NameCase cases[] = {
        {"Gain", " Gain", true}, {" gain", "GAIN", true},  {"mix level", "Mix Level", true}, {"Gain", "Gain ", false},
        {"Gai", "Gain", false},  {"Gain", "Gains", false}, {"mixlevel", "Mix Level", false}, {"\tDepth", "depth", true},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(namesMatch(c.typed, c.effectName), c.matches) << c.typed << " / " << c.effectName;
    }
}

struct ControlCase {
    std::optional<std::string> program;
    std::vector<ParameterSetting> parameters;
    bool indexedProgramNames;
    int32_t expectedProgram;
    std::vector<float> expectedParameters;
};

void PrintTo(const ControlCase& c, std::ostream* out) {
    *out << "program " << c.program.value_or("(none)") << ", " << c.parameters.size() << " parameters";
}

class Controls : public ::testing::TestWithParam<ControlCase> {};

TEST_P(Controls, ReachTheEffectByIndexOrName) {
    const ControlCase& c = GetParam();
    FakeEffectShape shape;
    shape.answersIndexedProgramNames = c.indexedProgramNames;
    resetFakes(shape);
    EffectInstance effect(fakeEffectEntry, "fake");
    ControlOptions options;
    options.program = c.program;
    options.parameters = c.parameters;
    applyControls(effect, resolveControls(effect, options));
    EXPECT_EQ(effect.currentProgram(), c.expectedProgram);
    EXPECT_EQ(fakeLogs().front()->parameters, c.expectedParameters);
}

INSTANTIATE_TEST_SUITE_P(
    ProgramsAndParameters, Controls,
    ::testing::Values(ControlCase{std::string("2"), {{"1", 0.25f}}, true, 2, {0.0f, 0.25f}},
                      ControlCase{std::string("loud"), {{"GAIN", 0.5f}}, true, 2, {0.5f, 0.0f}},
                      ControlCase{std::string("HARD"), {{"mix level", 1.0f}, {"0", 0.75f}}, false, 1, {0.75f, 1.0f}},
                      // The later setting of the same parameter wins, as on the command line.
                      ControlCase{std::nullopt, {{"gain", 0.1f}, {" Gain", 0.2f}}, true, 0, {0.2f, 0.0f}}));

}  // namespace
