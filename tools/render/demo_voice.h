// The sound rendered when no input file is given, made in code so a fresh machine needs no files.
#pragma once

#include <cstdint>
#include <vector>

constexpr int32_t kDemoVoiceSampleRateHz = 44100;

/// About four seconds of mono speech-like sound at `sampleRateHz`: a glottal pulse train whose
/// pitch rises and falls between about 90 and 160 Hz, through vowel formants that glide
/// a-i-u-e-o-a, in syllables. Deterministic; peak amplitude 0.5.
std::vector<float> makeDemoVoice(int32_t sampleRateHz = kDemoVoiceSampleRateHz);
