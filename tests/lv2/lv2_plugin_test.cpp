// The built LV2 shared object, driven through its descriptor as a host drives it. The sound comes
// from the audio core, so the reference is the VST 2 module's output, not a re-derivation of it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "core/zero_phase_core.h"
#include "lv2/lv2_host.h"
#include "lv2/lv2_ports.h"
#include "support/signals.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr std::size_t kFrame = 1024;

using test_support::firstBitDifference;

// Noise with a burst of NaN and infinities in the middle: the two editions must recover alike.
std::vector<float> hostileNoise() {
    std::vector<float> signal = test_support::noise(12 * kFrame, 0.5f, 23);
    for (std::size_t i = 0; i < 300; ++i) signal[4 * kFrame + i] = i % 3 == 0 ? kNaN : (i % 3 == 1 ? kInf : -kInf);
    return signal;
}

// The VST 2 module's processReplacing output at a normalised gain, in blocks of 512.
std::vector<float> renderVst2(const std::vector<float>& input, float normalizedGain) {
    RecordingHost host;
    LoadedModule module;
    PluginInstance plugin(module);
    plugin.dispatch(effMainsChanged, 0, 1);
    plugin.setParameter(0, normalizedGain);
    std::vector<float> output(input.size());
    for (std::size_t start = 0; start < input.size(); start += 512) {
        plugin.processReplacing(input.data() + start, output.data() + start,
                                static_cast<int32_t>(std::min<std::size_t>(512, input.size() - start)));
    }
    return output;
}

TEST(Lv2Module, ExportsOnlyTheDescriptorOfOnePlugin) {
    const Lv2Module module;
    EXPECT_EQ(module.file().exportedNames(), (std::set<std::string>{"lv2_descriptor"}));
    const LV2_Descriptor* descriptor = module.descriptor(0);
    ASSERT_NE(descriptor, nullptr);
    EXPECT_STREQ(descriptor->URI, "urn:vexa:tinvoicer");
    EXPECT_EQ(module.descriptor(1), nullptr);
    EXPECT_EQ(module.descriptor(UINT32_MAX), nullptr);
    EXPECT_EQ(descriptor->extension_data("http://lv2plug.in/ns/ext/state#interface"), nullptr);
}

// Gains that the two editions share exactly: dB = 20 * (2 * normalised - 1), each side's exponent
// the same float. Block sizes cut the frames irregularly and include empty runs.
TEST(Lv2Plugin, GivesTheVst2ModulesBitsAtEveryGainBothCanSay) {
    const struct {
        float gainDb;
        float normalizedGain;
        bool inPlace;
    } rows[] = {{0.0f, 0.5f, false},  {-20.0f, 0.0f, true}, {-10.0f, 0.25f, false},
                {10.0f, 0.75f, true}, {20.0f, 1.0f, false}, {-5.0f, 0.375f, true}};
    const std::vector<float> input = hostileNoise();
    const Lv2Module module;
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.gainDb << " dB, in place: " << row.inPlace);
        const std::vector<float> lv2 =
            renderLv2(module, input, row.gainDb, {1, 5, 400, 0, 10, 300, 1024, 77}, row.inPlace);
        EXPECT_EQ(firstBitDifference(lv2, renderVst2(input, row.normalizedGain)), -1);
        // Recovered from the burst: the last two frames saw none of it.
        for (std::size_t i = lv2.size() - 2 * kFrame; i < lv2.size(); ++i) ASSERT_TRUE(std::isfinite(lv2[i])) << i;
    }
}

// A host's bad value never reaches the audio: beyond the range it counts as the range's end,
// NaN as the default.
TEST(Lv2Plugin, GainOutsideItsRangeIsClampedAndNaNIsTheDefault) {
    const struct {
        float controlValue;
        float usedDb;
    } rows[] = {{25.0f, 20.0f}, {1e30f, 20.0f}, {kInf, 20.0f}, {-21.0f, -20.0f}, {-kInf, -20.0f}, {kNaN, 0.0f}};
    const std::vector<float> input = test_support::noise(4 * kFrame, 0.5f, 5);
    const Lv2Module module;
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "control value " << row.controlValue);
        EXPECT_EQ(firstBitDifference(renderLv2(module, input, row.controlValue), renderLv2(module, input, row.usedDb)),
                  -1);
    }
}

// The Pitch and Mix ports reach the core: at other settings the instance gives the core's bits,
// whatever the blocks the host cuts (the voice itself is the core's tests' subject).
TEST(Lv2Plugin, PitchAndMixGiveTheCoresVoice) {
    const struct {
        float gainDb, pitch, mix;
    } rows[] = {{0.0f, -12.0f, 100.0f}, {-6.0f, 7.0f, 60.0f}, {3.0f, 0.0f, 0.0f}, {0.0f, kNaN, 25.0f}};
    const std::vector<float> input = test_support::noise(6 * kFrame, 0.5f, 12);
    const Lv2Module module;
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.pitch << " semitones, mix " << row.mix);
        tinvoicer::ZeroPhaseCore core;
        const tinvoicer::VoiceControls controls{tinvoicer::Gain::fromDecibels(row.gainDb),
                                                tinvoicer::Pitch::fromSemitones(row.pitch),
                                                tinvoicer::Mix::fromPercent(row.mix)};
        std::vector<float> expected(input.size());
        for (std::size_t start = 0; start < input.size(); start += 300) {
            const auto count = static_cast<int32_t>(std::min<std::size_t>(300, input.size() - start));
            core.process(input.data() + start, expected.data() + start, count, controls);
        }
        EXPECT_EQ(firstBitDifference(renderLv2(module, input, row.gainDb, {300}, false, row.pitch, row.mix), expected),
                  -1);
    }
}

// A host may leave an audio port unconnected: the run then writes the latency and nothing else.
TEST(Lv2Plugin, RunWithAnAudioPortUnconnectedWritesOnlyTheLatency) {
    const struct { bool input, output; } rows[] = {{false, true}, {true, false}, {false, false}};
    const Lv2Module module;
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "input connected " << row.input << ", output connected " << row.output);
        Lv2Instance plugin(module);
        std::vector<float> buffer(64, 3.0f);
        plugin.run(row.input ? buffer.data() : nullptr, row.output ? buffer.data() : nullptr, 64);
        EXPECT_EQ(buffer, std::vector<float>(64, 3.0f));
        EXPECT_EQ(plugin.latency, 1024.0f);
    }
}

// An empty run updates the latency port only, as hosts that ask for the latency first expect.
TEST(Lv2Plugin, ReportsItsLatencyOnEveryRunAnEmptyOneIncluded) {
    const Lv2Module module;
    Lv2Instance plugin(module, 7.0);  // any rate: the frame does not depend on it
    std::vector<float> buffer(16, 3.0f);
    plugin.run(buffer.data(), buffer.data(), 0);
    EXPECT_EQ(plugin.latency, 1024.0f);
    EXPECT_EQ(buffer, std::vector<float>(16, 3.0f));
}

// Hosts restart a stream with deactivate and activate: the instance then sounds like a new one.
TEST(Lv2Plugin, ActivateClearsTheHistory) {
    const std::vector<float> history = test_support::noise(1777, 0.5f, 9);
    const std::vector<float> input = test_support::noise(3 * kFrame, 0.5f, 8);
    const Lv2Module module;
    const std::vector<float> fresh = renderLv2(module, input, 0.0f);
    Lv2Instance plugin(module);
    std::vector<float> output(input.size());
    plugin.run(history.data(), output.data(), static_cast<uint32_t>(history.size()));
    plugin.restart();
    plugin.run(input.data(), output.data(), static_cast<uint32_t>(input.size()));
    EXPECT_EQ(firstBitDifference(output, fresh), -1);
}

}  // namespace
