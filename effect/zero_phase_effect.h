// Tinvoicer: gives a voice a machine-like, monotone character. Every frame of 1024 samples
// (one every 256) keeps the magnitude of each frequency bin and loses its phase.
#pragma once

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
    ~ZeroPhaseProcessor() override;

protected:
    void processSpectrum() override;
};

/// Output factor of a normalised gain: 10^(2*gain - 1), from -20 dB at 0 to +20 dB at 1
/// (exponent and factor each rounded to float). The audio path and the Gain display share it.
float outputFactor(float normalizedGain);

class ZeroPhaseEffect : public EffectBaseEx {
public:
    static constexpr int32_t kProgramCount = 4;
    static constexpr int32_t kParamCount = 2;
    enum Parameter : int32_t { kGain = 0, kDepth = 1 };

    /// Builds the programs and the processor, selects program 0 and announces the effect's
    /// identity, channels, flags and latency in the record. Throws std::bad_alloc without memory.
    explicit ZeroPhaseEffect(audioMasterCallback host);
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
    /// Clears the processor's history: the next stream starts from silence.
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

private:
    template <typename Write>
    void run(float** inputs, float** outputs, int32_t sampleFrames, Write write);

    std::unique_ptr<EffectProgram[]> programs;
    float gain = 0.5f;
    float depth = 0.5f;
    int32_t frameSize = 1024;
    std::unique_ptr<ZeroPhaseProcessor> processor;
};
