#include "render/renderer.h"

#include <algorithm>
#include <string>

int32_t instancesNeeded(int32_t effectInputs, int32_t effectOutputs, int32_t channels) {
    const bool monoEffect = effectOutputs == 1 && effectInputs <= 1;
    return monoEffect ? std::max(channels, 1) : 1;
}

namespace {

/// "output 3 is", or "outputs 3 to 5 are".
std::string span(const std::string& noun, int32_t first, int32_t last) {
    return first == last ? noun + " " + std::to_string(first) + " is"
                         : noun + "s " + std::to_string(first) + " to " + std::to_string(last) + " are";
}

std::string count(int32_t number, const char* noun) {
    return std::to_string(number) + " " + noun + (number == 1 ? "" : "s");
}

}  // namespace

std::vector<std::string> routingWarnings(int32_t effectInputs, int32_t effectOutputs, int32_t instances,
                                         int32_t channels) {
    std::vector<std::string> warnings;
    if (instances != 1) {
        return warnings;  // one mono instance per channel: every channel goes in and comes out
    }
    if (effectOutputs > channels) {
        warnings.push_back("the effect has " + count(effectOutputs, "output") + " and the file " +
                           count(channels, "channel") + "; " + span("effect output", channels + 1, effectOutputs) +
                           " dropped");
    }
    if (effectInputs < channels) {
        warnings.push_back("the effect has " + count(effectInputs, "input") + "; " +
                           span("input channel", effectInputs + 1, channels) + " not processed");
    }
    if (effectOutputs < channels) {
        warnings.push_back("the effect has " + count(effectOutputs, "output") + "; " +
                           span("output channel", effectOutputs + 1, channels) + " silent");
    }
    return warnings;
}

Renderer::Renderer(std::vector<EffectInstance*> effectList, int32_t channelCount, int32_t maxBlockFrames)
    : effects(std::move(effectList)),
      channels(channelCount),
      blockFrames(maxBlockFrames),
      interleaved(static_cast<size_t>(channelCount) * static_cast<size_t>(maxBlockFrames)),
      inputPlanes(static_cast<size_t>(channelCount), std::vector<float>(static_cast<size_t>(maxBlockFrames))),
      outputPlanes(static_cast<size_t>(channelCount), std::vector<float>(static_cast<size_t>(maxBlockFrames))),
      silence(static_cast<size_t>(maxBlockFrames)) {
    connectChannels();
}

void Renderer::connectChannels() {
    const bool instancePerChannel = effects.size() > 1;
    for (size_t instance = 0; instance < effects.size(); ++instance) {
        EffectInstance& effect = *effects[instance];
        std::vector<float*> inputs;
        std::vector<float*> outputs;
        for (int32_t pin = 0; pin < effect.inputCount(); ++pin) {
            const size_t channel = instancePerChannel ? instance : static_cast<size_t>(pin);
            inputs.push_back(channel < inputPlanes.size() ? inputPlanes[channel].data() : silence.data());
        }
        for (int32_t pin = 0; pin < effect.outputCount(); ++pin) {
            const size_t channel = instancePerChannel ? instance : static_cast<size_t>(pin);
            if (channel < outputPlanes.size()) {
                outputs.push_back(outputPlanes[channel].data());
            } else {
                discarded.emplace_back(static_cast<size_t>(blockFrames));
                outputs.push_back(discarded.back().data());
            }
        }
        inputPointers.push_back(std::move(inputs));
        outputPointers.push_back(std::move(outputs));
    }
}

void Renderer::startWithSettledLatency() {
    // Some effects set initialDelay only once they have processed audio, so each instance first
    // gets one block of silence and is then suspended and resumed, which clears its history.
    for (EffectInstance* effect : effects) {
        effect->resume();
    }
    for (std::vector<float>& plane : inputPlanes) {
        std::fill(plane.begin(), plane.end(), 0.0f);
    }
    processBlock(blockFrames);
    for (EffectInstance* effect : effects) {
        effect->suspend();
        effect->resume();
    }
}

void Renderer::processBlock(int32_t frames) {
    // An effect may scribble on a buffer it was given as input; silence must stay silent.
    std::fill(silence.begin(), silence.end(), 0.0f);
    for (size_t instance = 0; instance < effects.size(); ++instance) {
        effects[instance]->process(inputPointers[instance].data(), outputPointers[instance].data(), frames);
    }
}

RenderResult Renderer::render(AudioSource& source, AudioSink& sink, bool compensateLatency,
                              const ProgressReport& progress) {
    startWithSettledLatency();
    // Every instance comes from the same module with the same settings, hence the same delay.
    const int32_t announcedLatency = effects.front()->latencyFrames();
    const int32_t latency = std::max(announcedLatency, 0);
    // Without compensation the zeros still go in, so that the effect's tail comes out.
    int64_t zerosToFeed = latency;
    int64_t framesToDrop = compensateLatency ? latency : 0;
    int64_t framesRead = 0;
    bool inputEnded = false;
    const auto channelCount = static_cast<size_t>(channels);

    for (;;) {
        const int64_t got = inputEnded ? 0 : source.read(interleaved.data(), blockFrames);
        inputEnded = inputEnded || got < blockFrames;
        const int64_t padding = std::min<int64_t>(blockFrames - got, zerosToFeed);
        zerosToFeed -= padding;
        const auto frames = static_cast<int32_t>(got + padding);
        if (frames == 0) {
            break;
        }
        for (size_t channel = 0; channel < channelCount; ++channel) {
            std::vector<float>& plane = inputPlanes[channel];
            for (int64_t frame = 0; frame < got; ++frame) {
                plane[static_cast<size_t>(frame)] = interleaved[static_cast<size_t>(frame) * channelCount + channel];
            }
            std::fill(plane.begin() + got, plane.begin() + frames, 0.0f);
            // Channels that no output feeds must come out silent, not as last block's leftovers.
            std::fill(outputPlanes[channel].begin(), outputPlanes[channel].begin() + frames, 0.0f);
        }
        processBlock(frames);

        const auto skipped = static_cast<int32_t>(std::min<int64_t>(frames, framesToDrop));
        framesToDrop -= skipped;
        for (int32_t frame = skipped; frame < frames; ++frame) {
            for (size_t channel = 0; channel < channelCount; ++channel) {
                interleaved[static_cast<size_t>(frame - skipped) * channelCount + channel] =
                    outputPlanes[channel][static_cast<size_t>(frame)];
            }
        }
        sink.write(interleaved.data(), frames - skipped);
        framesRead += got;
        if (progress) {
            progress(framesRead, source.frameCount());
        }
    }
    for (EffectInstance* effect : effects) {
        effect->suspend();
    }
    RenderResult result{latency, std::nullopt, std::nullopt};
    if (announcedLatency < 0) {
        result.negativeLatency = announcedLatency;
    }
    if (effects.front()->latencyFrames() != announcedLatency) {
        result.latencyChangedTo = effects.front()->latencyFrames();
    }
    return result;
}
