#include "kit/effect_instance.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "kit/crash_guard.h"
#include "kit/tool_error.h"

namespace {

constexpr intptr_t kHostVersion = 2400;
constexpr intptr_t kProcessLevelRealtime = 2;
constexpr intptr_t kProcessLevelOffline = 4;
constexpr intptr_t kLanguageEnglish = 1;
constexpr intptr_t kAutomationOff = 1;
constexpr size_t kTextBufferBytes = 512;
constexpr int32_t kMaxChannels = 256;

/// What the callback tells an effect about the stream. The tool renders one stream at a time, so
/// every instance shares these answers; the callback also runs before the effect record exists.
struct StreamSettings {
    float sampleRateHz = 44100.0f;
    int32_t maxBlockFrames = 512;
    EffectInstance::HostRole role = EffectInstance::HostRole::offlineRenderer;
};
StreamSettings streamSettings;

void copyText(void* destination, const char* text) {
    if (destination != nullptr) {
        std::snprintf(static_cast<char*>(destination), kVendorTextBytes, "%s", text);
    }
}

/// The host callback. Answers the version and stream queries; everything else gets 0, which
/// effects read as "not supported".
intptr_t hostCallback(AEffect*, int32_t opcode, int32_t, intptr_t, void* ptr, float) {
    switch (opcode) {
        case audioMasterVersion: return kHostVersion;
        case audioMasterGetSampleRate: return static_cast<intptr_t>(streamSettings.sampleRateHz);
        case audioMasterGetBlockSize: return streamSettings.maxBlockFrames;
        case audioMasterGetCurrentProcessLevel:
            return streamSettings.role == EffectInstance::HostRole::liveClient ? kProcessLevelRealtime
                                                                               : kProcessLevelOffline;
        case audioMasterGetLanguage: return kLanguageEnglish;
        case audioMasterGetAutomationState: return kAutomationOff;
        case audioMasterGetVendorString: copyText(ptr, "Tinvoicer"); return 1;
        case audioMasterGetProductString:
            copyText(ptr, streamSettings.role == EffectInstance::HostRole::liveClient ? "tinvoicer-live"
                                                                                      : "tinvoicer-render");
            return 1;
        case audioMasterGetVendorVersion: return 1000;
        default: return 0;
    }
}

std::string hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

/// Why this record cannot be hosted, or empty if it can. Reads only fields, calls no entry.
std::string recordFault(const AEffect& record) {
    if (record.magic != kEffectMagic) {
        return "not a VST 2 effect: magic " + hex32(record.magic) + " instead of " + hex32(kEffectMagic);
    }
    if (record.dispatcher == nullptr) {
        return "the effect record has no dispatcher entry";
    }
    if (record.processReplacing == nullptr && record.process == nullptr) {
        return "the effect record has no processing entry";
    }
    if (record.setParameter == nullptr || record.getParameter == nullptr) {
        return "the effect record has no parameter entries";
    }
    if (record.numOutputs <= 0) {
        return "the effect has no outputs";
    }
    if (record.numInputs < 0 || record.numInputs > kMaxChannels || record.numOutputs > kMaxChannels) {
        return "the effect reports " + std::to_string(record.numInputs) + " inputs and " +
               std::to_string(record.numOutputs) + " outputs";
    }
    return {};
}

AEffect* callEntry(PluginMainProc entry, const std::string& modulePath) {
    const ModuleCall call(modulePath.c_str(), "main");
    return entry(hostCallback);
}

}  // namespace

EffectInstance::EffectInstance(PluginMainProc entry, const std::string& modulePath, HostRole role)
    : modulePath(modulePath), record((streamSettings.role = role, callEntry(entry, modulePath))) {
    if (record == nullptr) {
        throw ToolError(quoted(modulePath) + ": the module's main returned no effect");
    }
    const std::string fault = recordFault(*record);
    if (fault.empty()) {
        dispatch(effOpen);
        return;
    }
    // A record with the right magic came from a real effect and is closed; any other is left alone.
    if (record->magic == kEffectMagic && record->dispatcher != nullptr) {
        dispatch(effClose);
    }
    throw ToolError(quoted(modulePath) + ": " + fault);
}

EffectInstance::~EffectInstance() {
    if (running) {
        suspend();
    }
    dispatch(effClose);
}

void EffectInstance::prepare(float sampleRateHz, int32_t maxBlockFrames) {
    streamSettings.sampleRateHz = sampleRateHz;
    streamSettings.maxBlockFrames = maxBlockFrames;
    dispatch(effSetSampleRate, 0, 0, nullptr, sampleRateHz);
    dispatch(effSetBlockSize, 0, maxBlockFrames);
}

void EffectInstance::resume() {
    dispatch(effMainsChanged, 0, 1);
    running = true;
}

void EffectInstance::suspend() {
    dispatch(effMainsChanged, 0, 0);
    running = false;
}

bool EffectInstance::usesReplacing() const {
    return record->processReplacing != nullptr &&
           ((record->flags & effFlagsCanReplacing) != 0 || record->process == nullptr);
}

void EffectInstance::process(float** inputs, float** outputs, int32_t frames) {
    if (usesReplacing()) {
        const ModuleCall call(modulePath.c_str(), "processReplacing");
        record->processReplacing(record, inputs, outputs, frames);
        return;
    }
    for (int32_t channel = 0; channel < outputCount(); ++channel) {
        std::fill(outputs[channel], outputs[channel] + frames, 0.0f);
    }
    const ModuleCall call(modulePath.c_str(), "process");
    record->process(record, inputs, outputs, frames);
}

intptr_t EffectInstance::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    const ModuleCall call(modulePath.c_str(), "the dispatcher", opcode);
    return record->dispatcher(record, opcode, index, value, ptr, opt);
}

float EffectInstance::parameter(int32_t index) const {
    const ModuleCall call(modulePath.c_str(), "getParameter");
    return record->getParameter(record, index);
}

void EffectInstance::setParameter(int32_t index, float normalizedValue) {
    const ModuleCall call(modulePath.c_str(), "setParameter");
    record->setParameter(record, index, normalizedValue);
}

std::string EffectInstance::text(int32_t opcode, int32_t index) {
    std::vector<char> buffer(kTextBufferBytes, '\0');
    dispatch(opcode, index, 0, buffer.data());
    buffer.back() = '\0';  // an effect that fills the whole buffer still leaves a terminated string
    return buffer.data();
}

std::string EffectInstance::programName(int32_t index) {
    std::vector<char> buffer(kTextBufferBytes, '\0');
    if (dispatch(effGetProgramNameIndexed, index, -1, buffer.data()) != 0) {
        buffer.back() = '\0';
        return buffer.data();
    }
    const int32_t current = currentProgram();
    selectProgram(index);
    std::string name = text(effGetProgramName);
    selectProgram(current);
    return name;
}

std::string negativeLatencyWarning(int32_t reportedFrames) {
    return "the effect reports a negative latency (" + std::to_string(reportedFrames) +
           " samples), which is taken as 0";
}
