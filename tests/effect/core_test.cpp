// The format-free audio core, linked alone (no host layer): the gain rules both editions share.
#include <gtest/gtest.h>

#include <cstring>

#include "effect/core/zero_phase_core.h"

namespace {

// dB = 20 * (2 * normalised - 1) where both exponents are the same float: the LV2 edition's Gain
// and the VST 2 module's then give one factor, bit for bit.
TEST(DecibelExponent, GivesTheNormalisedGainsFactorWhereBothExponentsAreOneFloat) {
    const struct {
        float gainDb;
        float normalizedGain;
    } rows[] = {{-20.0f, 0.0f}, {-10.0f, 0.25f}, {-5.0f, 0.375f}, {0.0f, 0.5f},
                {5.0f, 0.625f}, {10.0f, 0.75f},  {20.0f, 1.0f}};
    for (const auto& row : rows) {
        const float lv2 = factorOfExponent(decibelExponent(row.gainDb));
        const float vst2 = outputFactor(row.normalizedGain);
        EXPECT_EQ(std::memcmp(&lv2, &vst2, sizeof lv2), 0) << row.gainDb << " dB";
    }
    EXPECT_EQ(factorOfExponent(decibelExponent(0.0f)), 1.0f);  // 0 dB must not colour the signal
}

}  // namespace
