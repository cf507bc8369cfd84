#include "validator/validator_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace validator {

long firstValueDifference(const std::vector<float>& a, const std::vector<float>& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (!(a[i] == b[i])) {
            return static_cast<long>(i);
        }
    }
    return a.size() == b.size() ? -1 : static_cast<long>(common);
}

float outputFactorOf(float normalizedGain) {
    const float exponent = 2.0f * normalizedGain - 1.0f;
    return static_cast<float>(std::pow(10.0, static_cast<double>(exponent)));
}

AudioThread::AudioThread(const PluginInstance& instance) : plugin(instance) {}

AudioThread::~AudioThread() {
    EXPECT_EQ(seen.allocations, 0) << "heap allocations on the audio thread";
    EXPECT_EQ(seen.releases, 0) << "heap releases on the audio thread";
    EXPECT_EQ(seen.locks, 0) << "mutex locks on the audio thread";
    EXPECT_EQ(seen.trigonometry, 0) << "trigonometric calls on the audio thread";
}

template <typename Work>
void AudioThread::watched(Work work) {
    seen += realtime_probe::whileWatching(work);
}

void AudioThread::processReplacing(const float* in, float* out, int32_t frames) {
    watched([&] { plugin.processReplacing(in, out, frames); });
}

void AudioThread::process(const float* in, float* out, int32_t frames) {
    watched([&] { plugin.process(in, out, frames); });
}

void AudioThread::processWith(Entry entry, const float* in, float* out, int32_t frames) {
    if (entry == Entry::replacing) {
        processReplacing(in, out, frames);
    } else {
        process(in, out, frames);
    }
}

void AudioThread::setParameter(int32_t index, float value) {
    watched([&] { plugin.setParameter(index, value); });
}

float AudioThread::getParameter(int32_t index) {
    float value = 0.0f;
    watched([&] { value = plugin.getParameter(index); });
    return value;
}

void AudioThread::setProgram(intptr_t program) {
    watched([&] { plugin.dispatch(effSetProgram, 0, program); });
}

void AudioThread::suspend() {
    watched([&] { plugin.dispatch(effMainsChanged, 0, 0); });
}

void AudioThread::resume() {
    watched([&] { plugin.dispatch(effMainsChanged, 0, 1); });
}

std::vector<float> render(AudioThread& audio, const std::vector<float>& input, const std::vector<int32_t>& blockSizes) {
    std::vector<float> output(input.size(), 0.0f);
    std::size_t done = 0;
    for (std::size_t turn = 0; done < input.size(); ++turn) {
        const auto wanted = static_cast<std::size_t>(blockSizes[turn % blockSizes.size()]);
        const std::size_t frames = std::min(wanted, input.size() - done);
        audio.processReplacing(input.data() + done, output.data() + done, static_cast<int32_t>(frames));
        done += frames;
    }
    return output;
}

std::vector<float> renderFresh(const LoadedModule& module, const std::vector<float>& input,
                               const std::vector<int32_t>& blockSizes) {
    PluginInstance plugin(module);
    AudioThread audio(plugin);
    audio.resume();
    return render(audio, input, blockSizes);
}

}  // namespace validator
