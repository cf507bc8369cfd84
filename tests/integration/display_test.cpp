// The parameter display texts as a host reads them: through the real module's dispatcher,
// into a buffer with guard bytes after the 9 that a display text may use.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "support/test_host.h"

namespace {

constexpr size_t kTextBytes = 9;
constexpr char kFill = 'Z';

enum Parameter : int32_t { kGain = 0, kDepth = 1 };

class Display : public ::testing::Test {
protected:
    // The display text of `index`; fails the test when the effect wrote past the 9th byte or
    // left no terminator within the first 9.
    std::string display(int32_t index) {
        std::array<char, kTextBytes + 16> buffer;
        buffer.fill(kFill);
        EXPECT_EQ(plugin.dispatch(effGetParamDisplay, index, 0, buffer.data()), 0);
        for (size_t i = kTextBytes; i < buffer.size(); ++i) {
            if (buffer[i] != kFill) {
                ADD_FAILURE() << "byte " << i << " written past the display text";
                break;
            }
        }
        const size_t length = strnlen(buffer.data(), kTextBytes);
        if (length == kTextBytes) {
            ADD_FAILURE() << "no terminator within " << kTextBytes << " bytes";
        }
        return std::string(buffer.data(), length);
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
    struct Case {
        int32_t index;
        float value;
        const char* text;
    };
    const Case cases[] = {
        {kGain, 0.0f, "-20.0000"},  {kGain, 0.25f, "-10.0000"}, {kGain, 0.5f, "0.000000"},
        {kGain, 0.75f, "10.00000"}, {kGain, 1.0f, "20.00000"},  {kDepth, 0.0f, "0.000000"},
        {kDepth, 0.5f, "50.00000"}, {kDepth, 1.0f, "100.0000"}, {kDepth, 0.333f, "33.29999"},
    };
    for (const Case& c : cases) {
        plugin.setParameter(c.index, c.value);
        EXPECT_EQ(display(c.index), c.text) << (c.index == kGain ? "gain " : "depth ") << c.value;
    }
}

TEST_F(Display, LeavesTheTextOfAnUnknownParameterUntouched) {
    char text[kTextBytes] = "previous";
    EXPECT_EQ(plugin.dispatch(effGetParamDisplay, 2, 0, text), 0);
    EXPECT_STREQ(text, "previous");
}

}  // namespace
