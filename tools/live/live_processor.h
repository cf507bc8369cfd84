// The real-time half of the live tool: runs the effect on one cycle's port buffers.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "effect_instance.h"
#include "parameter_queue.h"

/// Drives an effect that is prepared for `preparedFrames` and resumed. process() runs on the audio
/// thread and never allocates, locks, waits, prints or makes a system call; every other operation
/// belongs to the one control thread.
class LiveProcessor {
public:
    LiveProcessor(EffectInstance& effect, int32_t preparedFrames);
    LiveProcessor(const LiveProcessor&) = delete;
    LiveProcessor& operator=(const LiveProcessor&) = delete;

    /// Audio thread. Applies the queued parameter changes, then processes `frames` in pieces of at
    /// most the prepared size, since a server may hand over a larger period before the control
    /// thread has prepared the effect for it. `inputs` holds the effect's input count of buffers,
    /// `outputs` its output count. While paused, writes silence and leaves the effect alone.
    void process(float* const* inputs, float* const* outputs, int32_t frames);

    /// Queues a change for the next cycle; false when the queue is full.
    bool requestParameter(const ParameterChange& change) { return parameterChanges.push(change); }

    /// Asks the audio thread to stop calling the effect; paused() turns true once it has.
    void requestPause();
    bool paused() const { return state.load(std::memory_order_acquire) == State::paused; }
    /// After a pause: the effect is now prepared for `frames`, and the audio thread may call it again.
    void resume(int32_t frames);

    /// The largest sample magnitudes since the previous take.
    float takeInputPeak() { return inputPeak.exchange(0.0f, std::memory_order_relaxed); }
    float takeOutputPeak() { return outputPeak.exchange(0.0f, std::memory_order_relaxed); }

private:
    enum class State { running, pauseRequested, paused };

    void applyParameterChanges();
    void processInPieces(float* const* inputs, float* const* outputs, int32_t frames);
    static void raisePeak(std::atomic<float>& peak, float* const* buffers, int32_t count, int32_t frames);

    EffectInstance& effect;
    int32_t preparedFrames;  ///< written by the control thread only while paused
    std::vector<float*> inputPieces;
    std::vector<float*> outputPieces;
    SpscQueue<ParameterChange, 256> parameterChanges;
    std::atomic<State> state{State::running};
    std::atomic<float> inputPeak{0.0f};
    std::atomic<float> outputPeak{0.0f};
};
