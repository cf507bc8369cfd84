#include "render/audio_stream.h"

#include <algorithm>

int64_t MemorySource::read(float* interleaved, int64_t frames) {
    const int64_t count = std::min(frames, frameCount() - nextFrame);
    std::copy_n(samples.begin() + nextFrame * channels, count * channels, interleaved);
    nextFrame += count;
    return count;
}
