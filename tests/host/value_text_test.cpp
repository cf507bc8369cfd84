// The value-to-text helpers of EffectBase, called directly on a minimal effect. Every text is
// written into a buffer with guard bytes after the 9 a helper may use, so each case also checks
// that nothing is written past the host's display-text size.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host/effect_base.h"
#include "support/display_text.h"

namespace {

class PlainEffect : public EffectBase {
public:
    PlainEffect() : EffectBase(nullptr, 1, 1) {}
    void process(float**, float**, int32_t) override {}
};

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInfinity = std::numeric_limits<float>::infinity();
const float kSmallestDenormal = std::numeric_limits<float>::denorm_min();

struct FloatCase {
    float value;
    const char* text;
};

struct IntegerCase {
    int32_t value;
    const char* text;
};

TEST(FloatToText, ShowsEightCharactersCutNotRounded) {
    const FloatCase cases[] = {
        {0.5f, "0.500000"},
        {100.0f, "100.0000"},
        {-3.25f, "-3.25000"},
        {0.0f, "0.000000"},
        {-0.0f, "0.000000"},
        {-0.5f, "-0.50000"},
        {12.345f, "12.34500"},
        {0.7f, "0.699999"},
        {99.99f, "99.98999"},
        {0.000000001f, "0.000000"},
        {0.000001f, "0.000000"},  // stored just below 10^-6
        {1.0f, "1.000000"},
        {1234567.0f, "1234567."},
        {1234567.5f, "1234567."},
        {9999999.0f, "9999999."},
        {-100.0f, "-100.000"},
        {-123456.7f, "-123456."},
        {-999999.5f, "-999999."},
        {kSmallestDenormal, "0.000000"},
        {-kSmallestDenormal, "-0.00000"},
    };
    PlainEffect effect;
    for (const FloatCase& c : cases) {
        EXPECT_EQ(guardedText([&](char* text) { effect.floatToText(c.value, text); }), c.text) << "value " << c.value;
    }
}

// A whole part that fills the budget alone keeps all its digits and gives up the decimal point.
TEST(FloatToText, FullWidthWholeNumbersKeepEveryDigit) {
    const FloatCase cases[] = {
        {10000000.0f, "10000000"}, {12345678.0f, "12345678"},
        {99999992.0f, "99999992"},  // the largest float not above 99999999
        {-1000000.0f, "-1000000"}, {-1234567.0f, "-1234567"},
        {-9999999.0f, "-9999999"},
    };
    PlainEffect effect;
    for (const FloatCase& c : cases) {
        EXPECT_EQ(guardedText([&](char* text) { effect.floatToText(c.value, text); }), c.text) << "value " << c.value;
    }
}

TEST(FloatToText, OutOfRangeAndNotANumberGetTheirOwnTexts) {
    const FloatCase cases[] = {
        {100000000.0f, " Huge!  "},
        {99999999.0f, " Huge!  "},  // rounds to 10^8 as a float
        {-10000000.0f, " Huge!  "},
        {std::numeric_limits<float>::max(), " Huge!  "},
        {std::numeric_limits<float>::lowest(), " Huge!  "},
        {kInfinity, " Huge!  "},
        {-kInfinity, " Huge!  "},
        {kNaN, "  NaN   "},
        {-kNaN, "  NaN   "},
    };
    PlainEffect effect;
    for (const FloatCase& c : cases) {
        EXPECT_EQ(guardedText([&](char* text) { effect.floatToText(c.value, text); }), c.text) << "value " << c.value;
    }
}

// printf's exact decimal expansion, cut to 8 characters, is an independent reference for every
// value in range: sign, whole digits, point and fraction digits, none rounded.
TEST(FloatToText, MatchesTheExactDecimalExpansionCutToEightCharacters) {
    PlainEffect effect;
    int mismatches = 0;
    for (uint32_t bits = 0; bits < 0x4cbebc20u; bits += 7919) {  // 0x4cbebc20 is 10^8
        float magnitude;
        std::memcpy(&magnitude, &bits, sizeof magnitude);
        for (const float value : {magnitude, -magnitude}) {
            if (value < -9999999.0f) {
                continue;
            }
            char reference[200];
            // + 0.0 turns -0 into 0, which the helper shows without a sign.
            std::snprintf(reference, sizeof reference, "%.60f", static_cast<double>(value) + 0.0);
            reference[8] = '\0';
            const std::string text = guardedText([&](char* out) { effect.floatToText(value, out); });
            if (text != reference && ++mismatches <= 10) {
                ADD_FAILURE() << "value " << value << ": \"" << text << "\", expected \"" << reference << '"';
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(IntegerToText, RightAlignsInSevenPlacesUpToEightCharacters) {
    const IntegerCase cases[] = {
        {0, "      0"},
        {42, "     42"},
        {-5, "     -5"},
        {1234567, "1234567"},
        {12345678, "12345678"},
        {99999999, "99999999"},
        {-1234567, "-1234567"},
        {-9999999, "-9999999"},
        {100000000, " Huge!  "},
        {-10000000, " Huge!  "},
        {std::numeric_limits<int32_t>::max(), " Huge!  "},
        {std::numeric_limits<int32_t>::min(), " Huge!  "},
    };
    PlainEffect effect;
    for (const IntegerCase& c : cases) {
        EXPECT_EQ(guardedText([&](char* text) { effect.integerToText(c.value, text); }), c.text) << "value " << c.value;
    }
}

TEST(DbToText, ShowsTheAmplitudeInDecibels) {
    const FloatCase cases[] = {
        {1.0f, "0.000000"},       {0.5f, "-6.02059"},      {2.0f, "6.020599"},  {10.0f, "20.00000"},
        {0.1f, "-20.0000"},       {0.0f, "  -oo   "},      {-0.0f, "  -oo   "}, {-1.0f, "  -oo   "},
        {-kInfinity, "  -oo   "}, {kInfinity, " Huge!  "}, {kNaN, "  NaN   "},
    };
    PlainEffect effect;
    for (const FloatCase& c : cases) {
        EXPECT_EQ(guardedText([&](char* text) { effect.dbToText(c.value, text); }), c.text) << "value " << c.value;
    }
}

struct RateCase {
    float sampleRateHz;
    bool frequency;  // hzToText, else msToText
    float samples;
    const char* text;
};

TEST(UnitTexts, ConvertSamplesAtTheStoredSampleRate) {
    const RateCase cases[] = {
        {44100.0f, true, 100.0f, "441.0000"},
        {44100.0f, true, 441.0f, "100.0000"},
        {44100.0f, true, 1.0f, "44100.00"},
        {44100.0f, true, 0.0f, "0.000000"},
        {44100.0f, true, -0.0f, "0.000000"},
        {44100.0f, true, -100.0f, "-441.000"},
        {44100.0f, true, kSmallestDenormal, " Huge!  "},  // the quotient overflows a float
        {44100.0f, true, kNaN, "  NaN   "},
        {44100.0f, false, 441.0f, "10.00000"},
        {44100.0f, false, 22050.0f, "500.0000"},
        {44100.0f, false, 1.0f, "0.022675"},
        {44100.0f, false, -441.0f, "-10.0000"},
        {44100.0f, false, kNaN, "  NaN   "},
        {48000.0f, true, 480.0f, "100.0000"},
        {48000.0f, false, 48.0f, "1.000000"},
        {0.0f, true, 100.0f, "0.000000"},
        {0.0f, false, 1.0f, " Huge!  "},
        {0.0f, false, 0.0f, "  NaN   "},
    };
    for (const RateCase& c : cases) {
        PlainEffect effect;
        effect.dispatcher(effSetSampleRate, 0, 0, nullptr, c.sampleRateHz);
        const std::string text = guardedText([&](char* out) {
            if (c.frequency) {
                effect.hzToText(c.samples, out);
            } else {
                effect.msToText(c.samples, out);
            }
        });
        EXPECT_EQ(text, c.text) << (c.frequency ? "hzToText(" : "msToText(") << c.samples << ") at " << c.sampleRateHz
                                << " Hz";
    }
}

// Records what the unit helpers hand on, so that they are seen to call through the virtual table.
class OverridingEffect : public PlainEffect {
public:
    float getSampleRate() override { return 1000.0f; }
    void floatToText(float value, char* text) override {
        received.push_back(value);
        std::strcpy(text, "override");
    }
    std::vector<float> received;
};

TEST(UnitTexts, ReachFloatToTextAndGetSampleRateThroughOverrides) {
    OverridingEffect effect;
    char text[kTextBytes];
    effect.dbToText(0.5f, text);
    EXPECT_STREQ(text, "override");
    effect.hzToText(100.0f, text);
    effect.hzToText(0.0f, text);
    effect.msToText(500.0f, text);
    ASSERT_EQ(effect.received.size(), 4u);
    EXPECT_FLOAT_EQ(effect.received[0], -6.0206f);  // 20 * log10(0.5)
    EXPECT_EQ(effect.received[1], 10.0f);           // 1000 Hz over a period of 100 samples
    EXPECT_EQ(effect.received[2], 0.0f);
    EXPECT_EQ(effect.received[3], 500.0f);  // 500 samples at 1000 Hz
}

// The effect's Gain display: the audio path's output factor 10^(2 * gain - 1), exponent and
// factor each rounded to a float, shown in decibels. Depth shows in percent.
TEST(ParameterTexts, GainInDecibelsAndDepthInPercent) {
    PlainEffect effect;
    for (const ParameterDisplayCase& c : kParameterDisplayCases) {
        const std::string text = guardedText([&](char* out) {
            if (c.index == 0) {
                const float exponent = 2.0f * c.value - 1.0f;
                effect.dbToText(static_cast<float>(std::pow(10.0, static_cast<double>(exponent))), out);
            } else {
                effect.floatToText(c.value * 100.0f, out);
            }
        });
        EXPECT_EQ(text, c.text) << (c.index == 0 ? "gain " : "depth ") << c.value;
    }
}

// Every float helper writes exactly 8 characters, whatever the value: in range, beyond it,
// infinite, not a number, denormal or negative zero.
TEST(ValueTexts, NeverWriteMoreThanNineBytes) {
    std::vector<float> values = {0.0f,
                                 -0.0f,
                                 kNaN,
                                 -kNaN,
                                 kInfinity,
                                 -kInfinity,
                                 kSmallestDenormal,
                                 -kSmallestDenormal,
                                 std::numeric_limits<float>::min(),
                                 std::numeric_limits<float>::max(),
                                 std::numeric_limits<float>::lowest()};
    for (int exponent = -45; exponent <= 38; ++exponent) {
        for (const float mantissa : {1.0f, 1.2345678f, 5.0f, 9.9999999f}) {
            const float value = mantissa * std::pow(10.0f, static_cast<float>(exponent));
            values.push_back(value);
            values.push_back(-value);
        }
    }
    PlainEffect effect;
    for (const float value : values) {
        EXPECT_EQ(guardedText([&](char* text) { effect.floatToText(value, text); }).size(), 8u) << value;
        EXPECT_EQ(guardedText([&](char* text) { effect.dbToText(value, text); }).size(), 8u) << value;
        EXPECT_EQ(guardedText([&](char* text) { effect.hzToText(value, text); }).size(), 8u) << value;
        EXPECT_EQ(guardedText([&](char* text) { effect.msToText(value, text); }).size(), 8u) << value;
    }
    for (int64_t magnitude = 1; magnitude <= std::numeric_limits<int32_t>::max(); magnitude *= 3) {
        for (const int64_t value : {magnitude, -magnitude, magnitude - 1, 1 - magnitude}) {
            const size_t length =
                guardedText([&](char* text) { effect.integerToText(static_cast<int32_t>(value), text); }).size();
            EXPECT_GE(length, 7u) << value;
            EXPECT_LE(length, 8u) << value;
        }
    }
}

}  // namespace
