// The built LV2 shared object, driven through its descriptor as a host drives it. The sound comes
// from the audio core, so the reference is the VST 2 module's output, not a re-derivation of it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

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
