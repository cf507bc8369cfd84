// What every case of the validator battery shares: seeded test signals, bit-exact comparison, and
// the audio thread of a host, on which every call passes the real-time probe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/realtime_probe.h"
#include "support/signals.h"
#include "support/test_host.h"

namespace validator {

/// The effect's frame: its audio path delays by this much and forgets a sample this long after
/// it arrived. The hop is a quarter frame.
constexpr int32_t kFrameSamples = 1024;
constexpr int32_t kHopSamples = kFrameSamples / 4;

using test_support::firstBitDifference;
using test_support::noise;

/// Like firstBitDifference, but with ==: +0 equals -0 (an accumulated output may carry either sign of zero).
long firstValueDifference(const std::vector<float>& a, const std::vector<float>& b);

/// The output factor 10^(2*gain - 1) with the exponent and the factor each rounded to float,
/// as the effect's documentation gives it: the reference for what a gain value does to the audio.
float outputFactorOf(float normalizedGain);

enum class Entry { replacing, accumulating };

/// The host's audio thread for one effect: processing, parameter changes, program changes and
/// suspend/resume all run under the real-time probe. The destructor expects that none of them
/// allocated, released, locked or computed trigonometry.
class AudioThread {
public:
    explicit AudioThread(const PluginInstance& plugin);
    ~AudioThread();
    AudioThread(const AudioThread&) = delete;
    AudioThread& operator=(const AudioThread&) = delete;

    void processReplacing(const float* in, float* out, int32_t frames);
    /// Adds the effect's output to what `out` holds.
    void process(const float* in, float* out, int32_t frames);
    void processWith(Entry entry, const float* in, float* out, int32_t frames);
    void setParameter(int32_t index, float value);
    float getParameter(int32_t index);
    void setProgram(intptr_t program);
    void suspend();
    void resume();

    /// Everything the probe saw so far on this audio thread.
    const realtime_probe::Counts& counts() const { return seen; }

private:
    template <typename Work>
    void watched(Work work);

    const PluginInstance& plugin;
    realtime_probe::Counts seen;
};

/// Renders `input` through processReplacing in blocks of the given sizes, taken in turn and
/// repeated until the input is used up (a size of 0 is a call with no samples).
std::vector<float> render(AudioThread& audio, const std::vector<float>& input,
                          const std::vector<int32_t>& blockSizes = {512});

/// A fresh instance's processReplacing output for `input` at the default settings.
std::vector<float> renderFresh(const LoadedModule& module, const std::vector<float>& input,
                               const std::vector<int32_t>& blockSizes = {512});

}  // namespace validator
