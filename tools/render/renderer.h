// Runs a stream through one or more effect instances block by block, with latency compensation.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kit/effect_instance.h"
#include "render/audio_stream.h"

/// Instances a stream of `channels` needs: one per channel for an effect with one output and at
/// most one input (a mono effect), one otherwise.
int32_t instancesNeeded(int32_t effectInputs, int32_t effectOutputs, int32_t channels);

/// What the routing below leaves out, one sentence each: outputs the stream has no channel for,
/// stream channels no input takes, and stream channels no output feeds (which come out silent).
std::vector<std::string> routingWarnings(int32_t effectInputs, int32_t effectOutputs, int32_t instances,
                                         int32_t channels);

/// Called after each block with the input frames consumed so far and the source's frame count.
using ProgressReport = std::function<void(int64_t framesDone, int64_t framesTotal)>;

struct RenderResult {
    int32_t latencyFrames;  ///< initialDelay as read before the first block; a negative one counts as 0
    std::optional<int32_t> negativeLatency;   ///< initialDelay as read, when it was negative
    std::optional<int32_t> latencyChangedTo;  ///< initialDelay at the end, if it differed
};

/// Routes a stream's channels to effects that are already prepared and controlled: with one
/// instance per channel, channel c goes through instance c; with a single instance, channel c feeds
/// input c and is taken from output c, surplus inputs get silence, surplus outputs are dropped and
/// stream channels beyond the outputs come out silent. Sizes its buffers on construction.
class Renderer {
public:
    Renderer(std::vector<EffectInstance*> effects, int32_t channels, int32_t blockFrames);

    /// Resumes the effects, renders the whole source into `sink` and suspends them. Before that,
    /// each effect processes one block of silence and is suspended and resumed, so that an effect
    /// which announces its delay only once it runs has done so when initialDelay is read. With
    /// `compensateLatency` the first initialDelay output frames are dropped and as many zeros are fed
    /// after the input, so the sink receives exactly the source's frames, aligned with them;
    /// without it the sink receives the source's frames delayed by initialDelay, followed by the
    /// effect's tail: initialDelay frames more than the source.
    RenderResult render(AudioSource& source, AudioSink& sink, bool compensateLatency,
                        const ProgressReport& progress = {});

private:
    void connectChannels();
    void startWithSettledLatency();
    void processBlock(int32_t frames);

    std::vector<EffectInstance*> effects;
    int32_t channels;
    int32_t blockFrames;
    std::vector<float> interleaved;
    std::vector<std::vector<float>> inputPlanes;
    std::vector<std::vector<float>> outputPlanes;
    std::vector<float> silence;
    std::vector<std::vector<float>> discarded;
    std::vector<std::vector<float*>> inputPointers;   ///< per instance
    std::vector<std::vector<float*>> outputPointers;  ///< per instance
};
