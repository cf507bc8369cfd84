#include "effect/zero_phase_effect.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "host/module_entry.h"

namespace {

constexpr const char* kEffectName = "Tinvoicer";
constexpr const char* kVendor = "Vexa";
constexpr const char* kProduct = "Vexa Framewerk";
constexpr int32_t kVendorVersion = 1;

// Capabilities the effect answers "no" to; it gives no answer to any other.
constexpr const char* kRefusedCapabilities[] = {"sendVstMidiEvent", "sendVstEvents", "receiveVstEvents",
                                                "receiveVstMidiEvent"};

constexpr const char* kParamNames[ZeroPhaseEffect::kParamCount] = {" Gain", " Depth"};
constexpr const char* kParamLabels[ZeroPhaseEffect::kParamCount] = {"dB", "%"};

bool isParameter(int32_t index) { return index >= 0 && index < ZeroPhaseEffect::kParamCount; }

}  // namespace

ZeroPhaseEffect::ZeroPhaseEffect(audioMasterCallback host)
    : ZeroPhaseEffect(host, spectral::RealFft::fastestKernel()) {}

ZeroPhaseEffect::ZeroPhaseEffect(audioMasterCallback host, spectral::RealFft::Kernel kernel)
    : EffectBaseEx(host, kProgramCount, kParamCount),
      programs(new EffectProgram[kProgramCount]),
      core(frameSize, kernel) {
    setProgram(0);
    // The host compensates exactly this much: the whole frame the processor waits for.
    setInitialDelay(latencySamples());
    setUniqueID(fourCharCode('T', 'i', 'n', 'v'));
    setNumInputs(1);
    setNumOutputs(1);
    setCanReplacing(true);
    setCanMono(true);
    suspend();
}

ZeroPhaseEffect::~ZeroPhaseEffect() = default;

void ZeroPhaseEffect::setParameter(int32_t index, float value) {
    EffectProgram& program = programs[curProgram];
    switch (index) {
        case kGain:
            program.gain = value;
            gain.store(value, std::memory_order_relaxed);
            break;
        case kDepth:
            program.depth = value;
            depth = value;
            tinvoicer::frameProcessorOf(core).depth = value;
            break;
        default: break;
    }
}

float ZeroPhaseEffect::getParameter(int32_t index) {
    switch (index) {
        case kGain: return gain.load(std::memory_order_relaxed);
        case kDepth: return depth;
        default: return 0.0f;
    }
}

// The core raises ten to the gain's exponent under its own float mode, once per call.
void ZeroPhaseEffect::process(float** inputs, float** outputs, int32_t sampleFrames) {
    core.processAdding(inputs[0], outputs[0], sampleFrames, currentGain());
}

void ZeroPhaseEffect::processReplacing(float** inputs, float** outputs, int32_t sampleFrames) {
    core.processReplacing(inputs[0], outputs[0], sampleFrames, currentGain());
}

tinvoicer::Gain ZeroPhaseEffect::currentGain() const {
    return tinvoicer::Gain::fromNormalized(gain.load(std::memory_order_relaxed));
}

void ZeroPhaseEffect::setProgram(int32_t program) {
    if (program < 0 || program >= numPrograms) {
        return;
    }
    curProgram = program;
    setParameter(kGain, programs[program].gain);
    setParameter(kDepth, programs[program].depth);
}

void ZeroPhaseEffect::setProgramName(char* name) {
    char* stored = programs[curProgram].name;
    std::strncpy(stored, name, kProgramNameBytes - 1);
    stored[kProgramNameBytes - 1] = '\0';
}

void ZeroPhaseEffect::getProgramName(char* name) {
    const char* stored = programs[curProgram].name;
    if (std::strcmp(stored, "Init") == 0) {
        // A program left at the neutral name is told apart by its number.
        std::snprintf(name, kProgramNameBytes, "Init %d", static_cast<int>(curProgram + 1));
    } else {
        std::memcpy(name, stored, std::strlen(stored) + 1);
    }
}

void ZeroPhaseEffect::getParamLabel(int32_t index, char* label) {
    if (isParameter(index)) {
        std::strcpy(label, kParamLabels[index]);
    }
}

void ZeroPhaseEffect::getParamName(int32_t index, char* text) {
    if (isParameter(index)) {
        std::strcpy(text, kParamNames[index]);
    }
}

void ZeroPhaseEffect::getParamDisplay(int32_t index, char* text) {
    switch (index) {
        case kGain: dbToText(currentGain().factor(), text); break;
        case kDepth: floatToText(depth * 100.0f, text); break;
        default: break;
    }
}

void ZeroPhaseEffect::suspend() { core.reset(); }

void ZeroPhaseEffect::resume() {}

int32_t ZeroPhaseEffect::getPlugCategory() { return kPlugCategEffect; }

bool ZeroPhaseEffect::getEffectName(char* text) {
    std::strcpy(text, kEffectName);
    return true;
}

bool ZeroPhaseEffect::getVendorString(char* text) {
    std::strcpy(text, kVendor);
    return true;
}

bool ZeroPhaseEffect::getProductString(char* text) {
    std::strcpy(text, kProduct);
    return true;
}

int32_t ZeroPhaseEffect::getVendorVersion() { return kVendorVersion; }

int32_t ZeroPhaseEffect::canDo(char* text) {
    for (const char* refused : kRefusedCapabilities) {
        if (std::strcmp(text, refused) == 0) {
            return -1;
        }
    }
    return 0;
}

EffectBase* createEffect(audioMasterCallback host) noexcept {
    try {
        return new ZeroPhaseEffect(host);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
