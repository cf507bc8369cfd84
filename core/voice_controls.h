// The robot voice's controls as they cross into the core, each a value of its own type made from
// the unit an edition shows. Every maker makes a hostile value safe (NaN, infinities, numbers out
// of range), so the core trusts what it is given.
#pragma once

#include <cstdint>

namespace tinvoicer {

/// The output level. It carries the exponent e of its factor 10^e, which the core raises once per
/// call: a dB value and a VST 2 normalised value whose exponents are the same float give the same
/// factor bit for bit (-20, -10, 0, +10 and +20 dB are the normalised 0, 0.25, 0.5, 0.75 and 1).
class Gain {
public:
    static constexpr float kMinimumDb = -20.0f;
    static constexpr float kMaximumDb = 20.0f;
    static constexpr float kDefaultDb = 0.0f;

    /// 0 dB: the factor is exactly 1.
    Gain() = default;
    /// dB, clamped to -20 .. +20; NaN gives 0 dB. The exponent is dB/20 rounded to float.
    static Gain fromDecibels(float db);
    /// The VST 2 module's value as it stands (no clamp): the exponent is 2*value - 1 rounded to
    /// float, so 0 gives -20 dB and 1 gives +20 dB.
    static Gain fromNormalized(float normalized);

    float exponent() const { return exponentValue; }
    /// 10^exponent, the power taken in double and rounded to float once.
    float factor() const;

private:
    explicit Gain(float exponent) : exponentValue(exponent) {}
    float exponentValue = 0.0f;
};

/// The robot's pitch in semitones from the classic one, sample rate / 256 (172 Hz at 44.1 kHz,
/// 187.5 Hz at 48 kHz). The voice sings one note per frame, so the pitch is the frame rate.
class Pitch {
public:
    static constexpr float kMinimumSemitones = -24.0f;
    static constexpr float kMaximumSemitones = 12.0f;
    static constexpr float kDefaultSemitones = 0.0f;

    /// The classic pitch.
    Pitch() = default;
    /// Clamped to -24 .. +12; NaN gives 0.
    static Pitch fromSemitones(float semitones);

    float semitones() const { return semitonesValue; }
    /// Samples from frame to frame for a frame of `frameSamples`: the classic quarter frame
    /// scaled by 2^(-semitones/12) and rounded, between frameSamples/8 and frameSamples. At 1024
    /// samples: 256 at 0, 512 at -12, 1024 at -24, 128 at +12. Evaluates pow, nothing else.
    int32_t frameSpacing(int32_t frameSamples) const;

private:
    explicit Pitch(float semitones) : semitonesValue(semitones) {}
    float semitonesValue = 0.0f;
};

/// How much of the robot the output holds against the voice it came from, in percent: 100 is the
/// robot alone, 0 the voice alone (delayed as the robot is), between them an equal-power blend.
class Mix {
public:
    static constexpr float kMinimumPercent = 0.0f;
    static constexpr float kMaximumPercent = 100.0f;
    static constexpr float kDefaultPercent = 100.0f;

    /// The robot alone.
    Mix() = default;
    /// Clamped to 0 .. 100; NaN gives 100.
    static Mix fromPercent(float percent);

    float percent() const { return 100.0f * wetFraction; }
    /// The robot's share, 0 .. 1.
    float fraction() const { return wetFraction; }

private:
    explicit Mix(float fraction) : wetFraction(fraction) {}
    float wetFraction = 1.0f;
};

/// Everything a tunable edition sets. The defaults are the classic robot at 0 dB.
struct VoiceControls {
    Gain gain;
    Pitch pitch;
    Mix mix;
};

}  // namespace tinvoicer
