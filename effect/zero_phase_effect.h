// Tinvoicer: gives a voice a machine-like, monotone character. Every frame of 1024 samples
// (one every 256) keeps the magnitude of each frequency bin and loses its phase.
// The effect layer (tinvoicer_effect): the product as a VST 2 effect, the host layer's base
// classes around the format-free audio core (core/), which holds ZeroPhaseProcessor and the
// output factor.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "core/zero_phase_core.h"
#include "core/zero_phase_processor.h"
#include "host/effect_base.h"

/// One program: a value for each parameter and a name of at most 23 characters.
struct EffectProgram {
    float gain = 0.5f;
    float depth = 0.5f;
    char name[kProgramNameBytes] = "Tinvoicer";
};

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
    const ZeroPhaseProcessor& frameProcessor() const { return tinvoicer::frameProcessorOf(core); }

private:
    /// The Gain parameter as the core takes it.
    tinvoicer::Gain currentGain() const;

    std::unique_ptr<EffectProgram[]> programs;
    /// Written by setParameter on any thread, read once per processing call: relaxed is enough,
    /// since nothing else is published with it.
    std::atomic<float> gain{0.5f};
    static_assert(std::atomic<float>::is_always_lock_free, "the audio thread reads the gain without a lock");
    float depth = 0.5f;
    int32_t frameSize = tinvoicer::ZeroPhaseCore::kFrameSamples;
    /// The processor and the audio path; suspend defers its clearing to the next processing call.
    tinvoicer::ZeroPhaseCore core;
};
