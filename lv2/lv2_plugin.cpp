// The LV2 edition: the format's C entries around the audio core, and nothing of the sound of its
// own. Each run reads the control ports once, as the core's controls (which make any value safe),
// and hands the block to the core; the latency port is written on every run, an empty one
// included, so hosts can ask for it first.
// The shared object exports lv2_descriptor alone (lv2_exports.map); no exception leaves it.
#include <lv2/core/lv2.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/zero_phase_core.h"
#include "lv2/lv2_ports.h"

namespace {

using namespace tinvoicer_lv2;

/// One instance: the core and the host's port buffers, which the host may change at any time
/// between runs.
struct Plugin {
    tinvoicer::ZeroPhaseCore core;
    const float* input = nullptr;
    float* output = nullptr;
    const float* gainDb = nullptr;
    float* latency = nullptr;
    const float* pitchSemitones = nullptr;
    const float* mixPercent = nullptr;
};

Plugin& plugin(LV2_Handle handle) { return *static_cast<Plugin*>(handle); }

/// A port's value, or `fallback` when the host connected none.
float valueOf(const float* port, float fallback) { return port != nullptr ? *port : fallback; }

tinvoicer::VoiceControls controlsOf(const Plugin& p) {
    using namespace tinvoicer;
    return {Gain::fromDecibels(valueOf(p.gainDb, Gain::kDefaultDb)),
            Pitch::fromSemitones(valueOf(p.pitchSemitones, Pitch::kDefaultSemitones)),
            Mix::fromPercent(valueOf(p.mixPercent, Mix::kDefaultPercent))};
}

// Every buffer is allocated here, whatever the sample rate, which changes nothing of the sound.
// No memory: no instance.
LV2_Handle instantiate(const LV2_Descriptor*, double, const char*, const LV2_Feature* const*) noexcept {
    try {
        return new Plugin;
    } catch (...) {
        return nullptr;
    }
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) noexcept {
    Plugin& p = plugin(handle);
    switch (port) {
        case kInputPort: p.input = static_cast<const float*>(data); break;
        case kOutputPort: p.output = static_cast<float*>(data); break;
        case kGainPort: p.gainDb = static_cast<const float*>(data); break;
        case kLatencyPort: p.latency = static_cast<float*>(data); break;
        case kPitchPort: p.pitchSemitones = static_cast<const float*>(data); break;
        case kMixPort: p.mixPercent = static_cast<const float*>(data); break;
        default: break;
    }
}

// The history is cleared before the next run, as the VST 2 effect's resume after a suspend does.
void activate(LV2_Handle handle) noexcept { plugin(handle).core.reset(); }

void run(LV2_Handle handle, uint32_t sampleCount) noexcept {
    Plugin& p = plugin(handle);
    if (p.latency != nullptr) *p.latency = static_cast<float>(p.core.latencySamples());
    if (p.input == nullptr || p.output == nullptr) return;
    const tinvoicer::VoiceControls controls = controlsOf(p);
    // The core counts samples in 32-bit signed integers; a host's block may be longer.
    constexpr uint32_t longestCall = uint32_t{1} << 30;
    for (uint32_t done = 0; done < sampleCount;) {
        const uint32_t count = std::min(sampleCount - done, longestCall);
        p.core.process(p.input + done, p.output + done, static_cast<int32_t>(count), controls);
        done += count;
    }
}

// Nothing to do: the history stays until the next activate clears it.
void deactivate(LV2_Handle) noexcept {}

void cleanup(LV2_Handle handle) noexcept { delete &plugin(handle); }

const void* extensionData(const char*) noexcept { return nullptr; }

const LV2_Descriptor kDescriptor = {kPluginUri, instantiate, connectPort, activate,
                                    run,        deactivate,  cleanup,     extensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) { return index == 0 ? &kDescriptor : nullptr; }
