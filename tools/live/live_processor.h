// The real-time half of the live tool: runs the effect on one cycle's port buffers.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "kit/effect_instance.h"
#include "live/parameter_slots.h"

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

    /// Hands a change to the next cycle, replacing a value for the same parameter that the audio
    /// thread has not taken yet. False for a parameter beyond ParameterSlots::kMaxParameters.
    bool requestParameter(const ParameterChange& change) { return parameterChanges.put(change); }
    /// How many requested values were replaced by a newer one before a cycle took them, since the
    /// previous call.
    uint64_t takeReplacedCount() { return parameterChanges.takeReplacedCount(); }

    /// Asks the audio thread to stop calling the effect; paused() turns true once it has.
    void requestPause();
    bool paused() const { return state.load(std::memory_order_acquire) == State::paused; }
    /// After a pause: the effect is now prepared for `frames`, and the audio thread may call it again.
    void resume(int32_t frames);

    /// The calls of process() begun and ended so far: they differ while a call runs, and stay the
    /// same while it does not return.
    struct CallCounts {
        uint64_t begun = 0;
        uint64_t ended = 0;
    };
    CallCounts calls() const {
        CallCounts counts;
        counts.ended = endedCalls.load(std::memory_order_acquire);
        counts.begun = begunCalls.load(std::memory_order_acquire);
        return counts;
    }

    /// The largest sample magnitudes since the previous take.
    float takeInputPeak() { return inputPeak.exchange(0.0f, std::memory_order_relaxed); }
    float takeOutputPeak() { return outputPeak.exchange(0.0f, std::memory_order_relaxed); }

private:
    enum class State { running, pauseRequested, paused };

    void processCycle(float* const* inputs, float* const* outputs, int32_t frames);
    void processInPieces(float* const* inputs, float* const* outputs, int32_t frames);
    static void raisePeak(std::atomic<float>& peak, float* const* buffers, int32_t count, int32_t frames);

    EffectInstance& effect;
    int32_t preparedFrames;  ///< written by the control thread only while paused
    std::vector<float*> inputPieces;
    std::vector<float*> outputPieces;
    ParameterSlots parameterChanges;
    std::atomic<State> state{State::running};
    std::atomic<uint64_t> begunCalls{0};
    std::atomic<uint64_t> endedCalls{0};
    std::atomic<float> inputPeak{0.0f};
    std::atomic<float> outputPeak{0.0f};
};
