// The parameter display texts as a host reads them: through the real module's dispatcher,
// into a buffer with guard bytes after the 9 that a display text may use.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "support/display_text.h"
#include "support/test_host.h"

namespace {

enum Parameter : int32_t { kGain = 0, kDepth = 1 };

class Display : public ::testing::Test {
protected:
    std::string display(int32_t index) {
        return guardedText([&](char* text) { EXPECT_EQ(plugin.dispatch(effGetParamDisplay, index, 0, text), 0); });
    }

    RecordingHost host;
    LoadedModule module;
    PluginInstance plugin{module};
};

TEST_F(Display, ShowsTheConstructedProgramAsZeroDecibelsAndFiftyPercent) {
    EXPECT_EQ(display(kGain), "0.000000");
    EXPECT_EQ(display(kDepth), "50.00000");
}

TEST_F(Display, ShowsGainInDecibelsAndDepthInPercent) {
    for (const ParameterDisplayCase& c : kParameterDisplayCases) {
        plugin.setParameter(c.index, c.value);
        EXPECT_EQ(display(c.index), c.text) << (c.index == kGain ? "gain " : "depth ") << c.value;
    }
}

}  // namespace
