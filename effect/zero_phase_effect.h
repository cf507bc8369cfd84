// Tinvoicer: gives a voice a machine-like, monotone character. Every frame of 1024 samples
// (one every 256) keeps the magnitude of each frequency bin and loses its phase.
// The effect layer (tinvoicer_effect): the product, built on the host layer's base classes and
// the spectral toolkit's frame processor.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "host/effect_base.h"
#include "spectral/spectral_processor.h"

/// One program: a value for each parameter and a name of at most 23 characters.
struct EffectProgram {
    float gain = 0.5f;
    float depth = 0.5f;
    char name[kProgramNameBytes] = "Tinvoicer";
};

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

/// Output factor of a normalised gain: 10^(2*gain - 1), from -20 dB at 0 to +20 dB at 1
/// (exponent and factor each rounded to float). The audio path and the Gain display share it.
float outputFactor(float normalizedGain);

/// Threads: processReplacing and process run on the host's audio thread and must not overlap each
/// other. Every other entry may come from any one other thread at the same time: suspend only
/// raises a flag that the next processing call acts on, and the gain is read once per call, so
/// a parameter or program change takes effect at a block boundary. Closing the effect (effClose)
/// destroys this object; no other call may be running or follow.
class ZeroPhaseEffect : public EffectBaseEx {
public:
    static constexpr int32_t kProgramCount = 4;
    static constexpr int32_t kParamCount = 2;
    enum Parameter : int32_t { kGain = 0, kDepth = 1 };

    /// Builds the programs and the processor, selects program 0 and announces the effect's
    /// identity, channels, flags and latency in the record. Throws std::bad_alloc without memory.
    explicit ZeroPhaseEffect(audioMasterCallback host);
    /// The same with the processor's transform kernel chosen (see ZeroPhaseProcessor).
    ZeroPhaseEffect(audioMasterCallback host, spectral::RealFft::Kernel kernel);
    ~ZeroPhaseEffect() override;

    void setParameter(int32_t index, float value) override;
    float getParameter(int32_t index) override;
    /// Adds the effect's output to what the output channel holds.
    void process(float** inputs, float** outputs, int32_t sampleFrames) override;
    /// Overwrites the output channel. Input and output may be the same buffer.
    void processReplacing(float** inputs, float** outputs, int32_t sampleFrames) override;
    void setProgram(int32_t program) override;
    /// Keeps at most 23 characters of `name`.
    void setProgramName(char* name) override;
    /// A program named exactly "Init" reads as "Init 1" to "Init 4".
    void getProgramName(char* name) override;
    void getParamLabel(int32_t index, char* label) override;
    void getParamDisplay(int32_t index, char* text) override;
    void getParamName(int32_t index, char* text) override;
    /// Clears the processor's history: the next stream starts from silence. The clearing happens at
    /// the start of the next processing call, on the audio thread, so that suspend is safe from any
    /// thread; until then nothing reads the history.
    void suspend() override;
    void resume() override;
    int32_t getPlugCategory() override;
    bool getEffectName(char* text) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    int32_t getVendorVersion() override;
    /// -1 for the four event capabilities (the effect neither sends nor receives events), else 0.
    int32_t canDo(char* text) override;

    /// Latency of the audio path in samples: one whole frame.
    int32_t latencySamples() const { return frameSize; }
    /// The frame processor; its `depth` follows the Depth parameter.
    const ZeroPhaseProcessor& frameProcessor() const { return *processor; }

private:
    template <typename Write>
    void run(float** inputs, float** outputs, int32_t sampleFrames, Write write);

    std::unique_ptr<EffectProgram[]> programs;
    /// Written by setParameter on any thread, read once per processing call: relaxed is enough,
    /// since nothing else is published with it.
    std::atomic<float> gain{0.5f};
    static_assert(std::atomic<float>::is_always_lock_free, "the audio thread reads the gain without a lock");
    /// Raised by suspend, cleared by the processing call that clears the history.
    std::atomic<bool> historyStale{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "suspend raises the flag without a lock");
    float depth = 0.5f;
    int32_t frameSize = 1024;
    std::unique_ptr<ZeroPhaseProcessor> processor;
};
