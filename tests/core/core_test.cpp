// The format-free audio core against its public class, linked alone (no host layer, no edition).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/zero_phase_core.h"
#include "core/zero_phase_processor.h"
#include "support/signals.h"

namespace {

using tinvoicer::Gain;
using tinvoicer::ZeroPhaseCore;

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

}  // namespace
