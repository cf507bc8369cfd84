#include "core/voice_controls.h"

#include <algorithm>
#include <cmath>

namespace tinvoicer {
namespace {

/// `value` inside [low, high]; NaN counts as `fallback`.
float usable(float value, float low, float high, float fallback) {
    return std::isnan(value) ? fallback : std::clamp(value, low, high);
}

}  // namespace

Gain Gain::fromDecibels(float db) { return Gain(usable(db, kMinimumDb, kMaximumDb, kDefaultDb) / 20.0f); }

Gain Gain::fromNormalized(float normalized) { return Gain(2.0f * normalized - 1.0f); }

float Gain::factor() const { return static_cast<float>(std::pow(10.0, static_cast<double>(exponentValue))); }

Pitch Pitch::fromSemitones(float semitones) {
    return Pitch(usable(semitones, kMinimumSemitones, kMaximumSemitones, kDefaultSemitones));
}

int32_t Pitch::frameSpacing(int32_t frameSamples) const {
    const double classic = frameSamples / 4.0;
    const double spacing = std::round(classic * std::pow(2.0, -static_cast<double>(semitonesValue) / 12.0));
    return static_cast<int32_t>(std::clamp(spacing, classic / 2.0, static_cast<double>(frameSamples)));
}

Mix Mix::fromPercent(float percent) {
    return Mix(usable(percent, kMinimumPercent, kMaximumPercent, kDefaultPercent) / 100.0f);
}

}  // namespace tinvoicer
