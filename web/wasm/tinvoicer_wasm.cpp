// The browser edition's C boundary on the audio core (see tinvoicer_wasm.h).
#include "tinvoicer_wasm.h"

#include <cstdint>
#include <memory>
#include <new>

#include "core/voice_controls.h"
#include "core/zero_phase_core.h"

namespace {

constexpr int32_t kLargestBlock = 65536;

}  // namespace

struct TinvoicerVoice {
    explicit TinvoicerVoice(int32_t capacity)
        : block(new float[static_cast<std::size_t>(capacity)]()), capacity(capacity) {}

    tinvoicer::ZeroPhaseCore core;
    std::unique_ptr<float[]> block;
    int32_t capacity;
};

extern "C" {

TinvoicerVoice* tinvoicer_create(int32_t blockCapacity) {
    if (blockCapacity < 1 || blockCapacity > kLargestBlock) {
        return nullptr;
    }
    try {
        return new TinvoicerVoice(blockCapacity);
    } catch (...) {  // std::bad_alloc: the memory's limit is reached
        return nullptr;
    }
}

void tinvoicer_destroy(TinvoicerVoice* voice) { delete voice; }

float* tinvoicer_block(TinvoicerVoice* voice) { return voice ? voice->block.get() : nullptr; }

void tinvoicer_process(TinvoicerVoice* voice, int32_t count, float gainDb, float pitchSemitones, float mixPercent) {
    if (!voice || count <= 0) {
        return;
    }
    const tinvoicer::VoiceControls controls{tinvoicer::Gain::fromDecibels(gainDb),
                                            tinvoicer::Pitch::fromSemitones(pitchSemitones),
                                            tinvoicer::Mix::fromPercent(mixPercent)};
    const int32_t samples = count < voice->capacity ? count : voice->capacity;
    voice->core.process(voice->block.get(), voice->block.get(), samples, controls);
}

void tinvoicer_reset(TinvoicerVoice* voice) {
    if (voice) {
        voice->core.reset();
    }
}

int32_t tinvoicer_latency(const TinvoicerVoice* voice) { return voice ? voice->core.latencySamples() : 0; }

}  // extern "C"
