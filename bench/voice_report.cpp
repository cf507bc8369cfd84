// The robot voice's figures across its controls, as scripts/voice-report prints them: the pitch
// the robot sings at against the set pitch, the level against the classic robot, the largest
// sample step while the pitch moves against the steady ones, the delay, and the blend of robot
// and voice at each Mix. On a sustained synthetic vowel, on noise, and on the speech files given.
// Usage: voice_report [SPEECH.wav ...]
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "support/signals.h"
#include "voice_measures.h"

namespace {

using namespace voice_measures;

struct Signal {
    std::string name;
    double sampleRateHz;
    std::vector<float> samples;
};

bool readMono(const std::string& path, Signal& signal) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "voice_report: '%s': %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    signal.name = path.substr(path.find_last_of('/') + 1);
    signal.sampleRateHz = info.samplerate;
    signal.samples.resize(static_cast<std::size_t>(info.frames));
    for (std::size_t n = 0; n < signal.samples.size(); ++n) signal.samples[n] = interleaved[n * info.channels];
    return true;
}

/// The robot's delay at `semitones`, on a burst of noise.
double burstDelay(float semitones) { return voice_measures::burstDelay(semitones, test_support::noise(64, 0.5f, 3)); }

/// The longest run of samples below -80 dBFS after the first frames.
std::size_t longestQuiet(const std::vector<float>& x) {
    std::size_t longest = 0, run = 0;
    for (std::size_t n = kSettle; n < x.size(); ++n) {
        run = std::fabs(x[n]) < 1e-4f ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

void reportPitchAndLevel(const Signal& s) {
    const std::vector<float> classic = renderAt(s.samples, 0.0f);
    const double classicRms = rms(classic, kSettle);
    const double classicHz = s.sampleRateHz / 256.0;
    std::printf("\n%s (%.0f Hz, %.1f s): classic robot %.1f Hz set, comb at %.1f Hz, level %+.2f dB re input\n",
                s.name.c_str(), s.sampleRateHz, s.samples.size() / s.sampleRateHz, classicHz,
                harmonicComb(classic, kSettle, s.sampleRateHz), decibels(classicRms / rms(s.samples)));
    std::printf("  %9s %9s %9s %9s %12s %9s\n", "semitones", "set Hz", "comb Hz", "cents", "level dB", "delay");
    std::printf("  %9s %9.1f %9s %9s %12s %9.1f\n", "classic", classicHz, "", "", "", burstDelay(0.0f));
    double worstCents = 0.0, lowest = 1e9, highest = -1e9;
    for (float st : kSettings) {
        const std::vector<float> out = renderAt(s.samples, st);
        const double setHz = classicHz * std::pow(2.0, st / 12.0);
        const double combHz = harmonicComb(out, kSettle, s.sampleRateHz);
        const double level = decibels(rms(out, kSettle) / classicRms);
        worstCents = std::max(worstCents, std::fabs(cents(combHz, setHz)));
        lowest = std::min(lowest, level);
        highest = std::max(highest, level);
        std::printf("  %+9.0f %9.1f %9.1f %+9.1f %+12.2f %9.1f\n", st, setHz, combHz, cents(combHz, setHz), level,
                    burstDelay(st));
    }
    std::printf("  pitch: worst %.1f cents from the set pitch; level %+.2f .. %+.2f dB re classic\n", worstCents,
                lowest, highest);
}

/// The pitch stepping through every setting, a new one every quarter second, against the
/// steady largest step at each setting.
void reportPitchChanges(const Signal& s) {
    const std::size_t stepSamples = static_cast<std::size_t>(s.sampleRateHz / 4);
    const std::size_t count = sizeof kSettings / sizeof kSettings[0];
    const std::vector<float> moving = render(s.samples, [&](std::size_t start) {
        const float st = start < kSettle ? 0.0f : kSettings[((start - kSettle) / stepSamples) % count];
        return VoiceControls{Gain(), Pitch::fromSemitones(st), Mix()};
    });
    double steady = largestStep(renderAt(s.samples, 0.0f), kSettle);
    for (float st : kSettings) steady = std::max(steady, largestStep(renderAt(s.samples, st), kSettle));
    const double whileMoving = largestStep(moving, kSettle);
    std::printf("  pitch moving every 0.25 s: largest sample step %.4f, steady settings' largest %.4f (%s)\n",
                whileMoving, steady, whileMoving <= steady ? "no click" : "A CLICK");
    // A vowel never pauses, so a run of silence longer than the widest frame spacing (1024 samples,
    // at -24) would be a pulse missing. Speech pauses of itself.
    if (s.name.rfind("sustained vowel", 0) == 0) {
        const std::size_t quiet = longestQuiet(moving);
        std::printf("  pitch moving: longest run below -80 dBFS %zu samples, the widest frame spacing 1024 (%s)\n",
                    quiet, quiet < 1024 ? "no gap" : "A GAP");
    }
}

void reportMix(const Signal& s) {
    const std::vector<float> robot = renderAt(s.samples, 0.0f, 100.0f);
    const std::vector<float> voice = renderAt(s.samples, 0.0f, 0.0f);
    double rv = 0.0, rr = 0.0, vv = 0.0;
    for (std::size_t n = kSettle; n < robot.size(); ++n) {
        rv += static_cast<double>(robot[n]) * voice[n];
        rr += static_cast<double>(robot[n]) * robot[n];
        vv += static_cast<double>(voice[n]) * voice[n];
    }
    std::printf("  mix: robot and voice correlate at %.3f; robot %+.2f dB re voice; level re voice at",
                rv / std::sqrt(rr * vv), decibels(std::sqrt(rr / vv)));
    for (float percent : {0.0f, 25.0f, 50.0f, 75.0f, 100.0f}) {
        std::printf(" %.0f%%: %+.2f dB", percent,
                    decibels(rms(renderAt(s.samples, 0.0f, percent), kSettle) / rms(voice, kSettle)));
    }
    std::printf("\n");
    const std::vector<float> moving = render(s.samples, [&](std::size_t start) {
        const float percent = (start / static_cast<std::size_t>(s.sampleRateHz / 8)) % 2 ? 0.0f : 100.0f;
        return VoiceControls{Gain(), Pitch(), Mix::fromPercent(percent)};
    });
    // The ramps pass through every mix between the two ends.
    double steady = 0.0;
    for (float percent = 0.0f; percent <= 100.0f; percent += 5.0f) {
        steady = std::max(steady, largestStep(renderAt(s.samples, 0.0f, percent), kSettle));
    }
    std::printf("  mix switching 0/100 %% every 1/8 s: largest sample step %.4f, steady mixes' largest %.4f (%s)\n",
                largestStep(moving, kSettle), steady, largestStep(moving, kSettle) <= steady ? "no zipper" : "A CLICK");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Signal> signals;
    signals.push_back({"sustained vowel at 120 Hz", 48000.0, sustainedVowel(48000.0, 120.0, 4.0)});
    signals.push_back({"sustained vowel at 120 Hz", 44100.0, sustainedVowel(44100.0, 120.0, 4.0)});
    signals.push_back({"noise", 48000.0, test_support::noise(4 * 48000, 0.3f, 7)});
    for (int i = 1; i < argc; ++i) {
        Signal speech;
        if (!readMono(argv[i], speech)) return 1;
        signals.push_back(speech);
    }
    for (const Signal& s : signals) {
        reportPitchAndLevel(s);
        if (s.name != "noise") {
            reportPitchChanges(s);
            reportMix(s);
        }
    }
    return 0;
}
