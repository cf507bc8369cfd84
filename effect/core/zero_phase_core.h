// The audio core of Tinvoicer, written once for every plug-in format: the zero-phase frame
// processor, the output factor, deferred history clearing, denormal flushing and processing in
// runs. It knows no plug-in format; the VST 2 effect (effect/) and the LV2 plug-in (lv2/) are thin
// boundaries that translate their format's calls into reset() and the two processing calls.
// The core library (tinvoicer_core) links the spectral toolkit and nothing else.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "spectral/spectral_processor.h"

/// The frame processor whose spectral operation is the zero-phase one: every bin becomes
/// (|bin|, 0), so each frame is resynthesised with its magnitudes and no phase.
class ZeroPhaseProcessor : public spectral::SpectralProcessor {
public:
    explicit ZeroPhaseProcessor(int32_t frameSize);
    /// The same on a chosen transform kernel, so that tests and benchmarks can run the product's
    /// own chain on each kernel; every kernel gives the same bits.
    ZeroPhaseProcessor(int32_t frameSize, spectral::RealFft::Kernel kernel);
    ~ZeroPhaseProcessor() override;

protected:
    void processSpectrum() override;
};

/// 10^exponent, the power taken in double and rounded to float once: the output factor that every
/// gain of every format becomes.
float factorOfExponent(float exponent);
/// The exponent of a normalised gain: 2*gain - 1 rounded to float, from -1 (-20 dB) at 0 to +1
/// (+20 dB) at 1.
float normalizedGainExponent(float normalizedGain);
/// Output factor of a normalised gain: 10^(2*gain - 1), from -20 dB at 0 to +20 dB at 1. The
/// VST 2 audio path and its Gain display share it.
float outputFactor(float normalizedGain);
/// The exponent of a gain in dB: dB/20 rounded to float. A dB value and a normalised gain whose
/// exponents are the same float give the same factor bit for bit: -20, -10, 0, +10 and +20 dB are
/// exactly the normalised gains 0, 0.25, 0.5, 0.75 and 1.
float decibelExponent(float gainDb);

/// Threads: the two processing calls belong to one audio thread and must not overlap each other.
/// reset() may come from any one other thread at the same time: it only raises a flag that the
/// next processing call acts on.
class ZeroPhaseCore {
public:
    /// The product's frame: the audio path delays by exactly this many samples.
    static constexpr int32_t kFrameSamples = 1024;

    /// Allocates the processor of `frameSize` samples and every buffer; throws std::bad_alloc
    /// without memory. Nothing is allocated after this.
    explicit ZeroPhaseCore(int32_t frameSize);
    /// The same with the processor's transform kernel chosen (see ZeroPhaseProcessor).
    ZeroPhaseCore(int32_t frameSize, spectral::RealFft::Kernel kernel);
    ~ZeroPhaseCore();
    ZeroPhaseCore(const ZeroPhaseCore&) = delete;
    ZeroPhaseCore& operator=(const ZeroPhaseCore&) = delete;

    /// Clears the history, so that the next stream starts from silence. The clearing happens at
    /// the start of the next processing call, on the audio thread; until then nothing reads the
    /// history. Never allocates, takes no lock.
    void reset();
    /// out[i] = y[i] * factor, y the processor's result for in[i] and factor
    /// factorOfExponent(gainExponent), formed once per call. `out` may be `in`. count <= 0 reads
    /// and writes nothing. Flushes denormals for its own duration (the factor included),
    /// restoring the caller's float mode. Never allocates, takes no lock, evaluates no
    /// trigonometric function.
    void processReplacing(const float* in, float* out, int32_t count, float gainExponent);
    /// The same, adding into `out`: out[i] + y[i] * factor, the product and the sum formed in
    /// double and rounded to float once.
    void processAdding(const float* in, float* out, int32_t count, float gainExponent);

    /// Latency of the audio path in samples: one whole frame.
    int32_t latencySamples() const { return processor->frameSize(); }
    /// Stores `depth` in the processor's field of that name; nothing of the sound reads it.
    void setDepth(float depth) { processor->depth = depth; }
    const ZeroPhaseProcessor& frameProcessor() const { return *processor; }

private:
    template <typename Write>
    void run(const float* in, float* out, int32_t count, float gainExponent, Write write);

    /// Raised by reset, cleared by the processing call that clears the history.
    std::atomic<bool> historyStale{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "reset raises the flag without a lock");
    std::unique_ptr<ZeroPhaseProcessor> processor;
};
