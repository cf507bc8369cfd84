// Where rendering reads its frames from and writes them to. Frames are interleaved 32-bit floats.
#pragma once

#include <cstdint>
#include <vector>

class AudioSource {
public:
    virtual ~AudioSource() = default;
    virtual int32_t channelCount() const = 0;
    virtual int32_t sampleRateHz() const = 0;
    /// Frames the source expects to deliver; used for progress only.
    virtual int64_t frameCount() const = 0;
    /// Reads up to `frames` frames into `interleaved`; fewer only at the end. Throws ToolError on failure.
    virtual int64_t read(float* interleaved, int64_t frames) = 0;
};

class AudioSink {
public:
    virtual ~AudioSink() = default;
    /// Writes all `frames` frames or throws ToolError: a short write is a failure.
    virtual void write(const float* interleaved, int64_t frames) = 0;
};

/// Frames held in memory, such as the demo voice.
class MemorySource : public AudioSource {
public:
    MemorySource(std::vector<float> interleavedSamples, int32_t channels, int32_t rateHz)
        : samples(std::move(interleavedSamples)), channels(channels), rateHz(rateHz) {}

    int32_t channelCount() const override { return channels; }
    int32_t sampleRateHz() const override { return rateHz; }
    int64_t frameCount() const override { return static_cast<int64_t>(samples.size()) / channels; }
    int64_t read(float* interleaved, int64_t frames) override;

private:
    std::vector<float> samples;
    int32_t channels;
    int32_t rateHz;
    int64_t nextFrame = 0;
};
