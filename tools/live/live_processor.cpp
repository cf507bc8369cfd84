#include "live/live_processor.h"

#include <algorithm>
#include <cmath>

LiveProcessor::LiveProcessor(EffectInstance& effect, int32_t preparedFrames)
    : effect(effect),
      preparedFrames(preparedFrames),
      inputPieces(static_cast<size_t>(effect.inputCount())),
      outputPieces(static_cast<size_t>(effect.outputCount())),
      parameterChanges(effect.parameterCount()) {}

void LiveProcessor::process(float* const* inputs, float* const* outputs, int32_t frames) {
    // Only this thread writes the counts, so a load and a store make the increment.
    begunCalls.store(begunCalls.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    processCycle(inputs, outputs, frames);
    endedCalls.store(endedCalls.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

void LiveProcessor::processCycle(float* const* inputs, float* const* outputs, int32_t frames) {
    const State current = state.load(std::memory_order_acquire);
    if (current != State::running) {
        for (int32_t channel = 0; channel < effect.outputCount(); ++channel) {
            std::fill(outputs[channel], outputs[channel] + frames, 0.0f);
        }
        if (current == State::pauseRequested) {
            state.store(State::paused, std::memory_order_release);
        }
        return;
    }
    raisePeak(inputPeak, inputs, effect.inputCount(), frames);
    parameterChanges.takeAll([this](int32_t index, float value) { effect.setParameter(index, value); });
    processInPieces(inputs, outputs, frames);
    raisePeak(outputPeak, outputs, effect.outputCount(), frames);
}

void LiveProcessor::processInPieces(float* const* inputs, float* const* outputs, int32_t frames) {
    for (int32_t start = 0; start < frames; start += preparedFrames) {
        const int32_t count = std::min(preparedFrames, frames - start);
        for (size_t channel = 0; channel < inputPieces.size(); ++channel) {
            inputPieces[channel] = inputs[channel] + start;
        }
        for (size_t channel = 0; channel < outputPieces.size(); ++channel) {
            outputPieces[channel] = outputs[channel] + start;
        }
        effect.process(inputPieces.data(), outputPieces.data(), count);
    }
}

void LiveProcessor::raisePeak(std::atomic<float>& peak, float* const* buffers, int32_t count, int32_t frames) {
    float largest = peak.load(std::memory_order_relaxed);
    for (int32_t channel = 0; channel < count; ++channel) {
        for (int32_t i = 0; i < frames; ++i) {
            largest = std::max(largest, std::fabs(buffers[channel][i]));
        }
    }
    // A take() between the load and this store loses one cycle's peak from the meter, nothing more.
    peak.store(largest, std::memory_order_relaxed);
}

void LiveProcessor::requestPause() {
    State expected = State::running;
    state.compare_exchange_strong(expected, State::pauseRequested, std::memory_order_acq_rel);
}

void LiveProcessor::resume(int32_t frames) {
    preparedFrames = frames;
    state.store(State::running, std::memory_order_release);
}
