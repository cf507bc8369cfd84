// The audio core of Tinvoicer, written once for every edition: the zero-phase robot voice with its
// controls (Gain, Pitch, Mix), deferred history clearing, denormal flushing and processing in
// runs. It knows no plug-in format; each edition (the VST 2 module, LV2, the browser, Python) is
// a thin boundary that translates its own calls into reset() and the processing calls.
// The core library (tinvoicer_core) links the spectral toolkit and nothing else.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/voice_controls.h"
#include "spectral/real_fft.h"

class ZeroPhaseProcessor;

namespace tinvoicer {

class VoiceProcessor;

/// Threads: the processing calls belong to one audio thread and must not overlap each other.
/// reset() may come from any one other thread at the same time: it only raises a flag that the
/// next processing call acts on.
///
/// Latency: every setting delays by exactly latencySamples() (1024), the robot and the voice that
/// Mix blends in alike.
class ZeroPhaseCore {
public:
    /// The product's frame: the audio path delays by exactly this many samples.
    static constexpr int32_t kFrameSamples = 1024;

    /// Allocates the processor of `frameSize` samples and every buffer; throws std::bad_alloc
    /// without memory. Nothing is allocated after this.
    explicit ZeroPhaseCore(int32_t frameSize = kFrameSamples);
    /// The same with the processor's transform kernel chosen; every kernel gives the same bits.
    ZeroPhaseCore(int32_t frameSize, spectral::RealFft::Kernel kernel);
    ~ZeroPhaseCore();
    ZeroPhaseCore(const ZeroPhaseCore&) = delete;
    ZeroPhaseCore& operator=(const ZeroPhaseCore&) = delete;

    /// Clears the history, so that the next stream starts from silence. The clearing happens at
    /// the start of the next processing call, on the audio thread; until then nothing reads the
    /// history. Never allocates, takes no lock.
    void reset();

    /// The tunable voice: out[i] = gain * (robot[i] at the pitch, blended with in[i - latency]
    /// at the mix). At the defaults of Pitch and Mix this is processReplacing, bit for bit.
    /// A change of Gain or Mix since the last call ramps linearly across this call's samples (a
    /// call after a reset starts at its own values); a change of Pitch takes effect at the next
    /// frame. `out` may be `in`. count <= 0 reads and writes nothing and changes nothing.
    /// Flushes denormals for its own duration, restoring the caller's float mode. Never
    /// allocates, takes no lock, evaluates no trigonometric function.
    void process(const float* in, float* out, int32_t count, const VoiceControls& controls);

    /// The classic robot: out[i] = robot[i] * gain.factor(), the factor formed once per call, so a
    /// new Gain applies from the call's first sample. Otherwise as process().
    void processReplacing(const float* in, float* out, int32_t count, Gain gain);
    /// The same, adding into `out`: out[i] + robot[i] * factor, the product and the sum formed in
    /// double and rounded to float once.
    void processAdding(const float* in, float* out, int32_t count, Gain gain);

    /// Latency of the audio path in samples: one whole frame.
    int32_t latencySamples() const;

private:
    friend ZeroPhaseProcessor& frameProcessorOf(ZeroPhaseCore& core);
    friend const ZeroPhaseProcessor& frameProcessorOf(const ZeroPhaseCore& core);

    /// The start of every processing call: the float mode is set by the caller, then a pending
    /// reset is carried out.
    void clearIfStale();
    template <typename Write>
    void runClassic(const float* in, float* out, int32_t count, Gain gain, Write write);
    /// Gain's factor and the robot's share of the mix.
    struct Levels {
        float factor;
        float mix;
        bool operator==(const Levels& other) const { return factor == other.factor && mix == other.mix; }
    };
    void blend(const float* robot, const float* voice, float* out, int32_t count, Levels levels) const;
    void rampedBlend(const float* robot, const float* voice, float* out, int32_t count, int32_t done, int32_t total,
                     Levels from, Levels to) const;
    /// The robot's share of the output at the robot's `fraction` of the mix, and the voice's at
    /// 1 - fraction: sin(pi/2 * fraction), from the table. The two are incoherent, so their
    /// powers add: equal power (a linear blend dips 3 dB in the middle), and neither share jumps
    /// off its end as a square root would.
    float shareAt(float fraction) const;
    float blended(float robot, float voice, float mix) const;

    /// Raised by reset, cleared by the processing call that clears the history.
    std::atomic<bool> historyStale{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "reset raises the flag without a lock");
    std::unique_ptr<VoiceProcessor> processor;

    /// Where the last process() call ended, where the next call's ramps start; none after a reset.
    std::optional<Levels> lastLevels;

    static constexpr int32_t kShareSteps = 256;
    /// sin(pi/2 * i / kShareSteps), filled at construction.
    std::array<float, kShareSteps + 1> quarterSine{};
};

}  // namespace tinvoicer
