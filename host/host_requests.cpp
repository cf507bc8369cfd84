// Requests an effect sends to its host. Each one sends its arguments in the positions the
// interface fixes and converts the answer; without a host callback it sends nothing and
// returns a fixed answer.
#include "host/effect_base.h"

namespace {

int32_t asLong(intptr_t answer) { return static_cast<int32_t>(answer); }

bool isSet(intptr_t answer) { return answer != 0; }

template <typename Pointer>
Pointer* asPointer(intptr_t answer) {
    return reinterpret_cast<Pointer*>(answer);
}

intptr_t pointerValue(const void* pointer) { return reinterpret_cast<intptr_t>(pointer); }

}  // namespace

intptr_t EffectBase::callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt, intptr_t fallback) {
    if (audioMaster == nullptr) {
        return fallback;
    }
    return audioMaster(&effectRecord, opcode, index, value, ptr, opt);
}

void EffectBase::setParameterAutomated(int32_t index, float value) {
    // The effect takes the change over first, so the host never hears of a value it does not have.
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value, 0);
}

int32_t EffectBase::hostVersion() {
    const int32_t version = asLong(callHost(audioMasterVersion, 0, 0, nullptr, 0.0f, 1));
    return version != 0 ? version : 1;
}

int32_t EffectBase::currentId() { return asLong(callHost(audioMasterCurrentId, 0, 0, nullptr, 0.0f, 0)); }

void EffectBase::hostIdle() { callHost(audioMasterIdle, 0, 0, nullptr, 0.0f, 0); }

// For pins the host answers 0 for "connected"; without a host every pin counts as connected.
bool EffectBase::inputPinConnected(int32_t pin) {
    return callHost(audioMasterPinConnected, pin, 0, nullptr, 0.0f, 0) == 0;
}

bool EffectBase::outputPinConnected(int32_t pin) {
    return callHost(audioMasterPinConnected, pin, 1, nullptr, 0.0f, 0) == 0;
}

void EffectBaseEx::wantMidi(int32_t filter) { callHost(audioMasterWantMidi, 0, filter, nullptr, 0.0f, 0); }

VstTimeInfo* EffectBaseEx::getTime(int32_t filter) {
    return asPointer<VstTimeInfo>(callHost(audioMasterGetTime, 0, filter, nullptr, 0.0f, 0));
}

int32_t EffectBaseEx::tempoAt(int32_t position) {
    return asLong(callHost(audioMasterTempoAt, 0, position, nullptr, 0.0f, 0));
}

int32_t EffectBaseEx::getNumAutomatableParameters() {
    return asLong(callHost(audioMasterGetNumAutomatableParameters, 0, 0, nullptr, 0.0f, 0));
}

int32_t EffectBaseEx::getParameterQuantization() {
    return asLong(callHost(audioMasterGetParameterQuantization, 0, 0, nullptr, 0.0f, 0));
}

bool EffectBaseEx::ioChanged() { return isSet(callHost(audioMasterIOChanged, 0, 0, nullptr, 0.0f, 0)); }

bool EffectBaseEx::needIdle() { return isSet(callHost(audioMasterNeedIdle, 0, 0, nullptr, 0.0f, 0)); }

bool EffectBaseEx::sizeWindow(int32_t width, int32_t height) {
    return isSet(callHost(audioMasterSizeWindow, width, height, nullptr, 0.0f, 0));
}

// The host may set a new rate or block size from inside the request; the field as it stands
// afterwards is the answer.
float EffectBaseEx::hostGetSampleRate() {
    callHost(audioMasterGetSampleRate, 0, 0, nullptr, 0.0f, 0);
    return sampleRate;
}

int32_t EffectBaseEx::hostGetBlockSize() {
    callHost(audioMasterGetBlockSize, 0, 0, nullptr, 0.0f, 0);
    return blockSize;
}

int32_t EffectBaseEx::getInputLatency() { return asLong(callHost(audioMasterGetInputLatency, 0, 0, nullptr, 0.0f, 0)); }

int32_t EffectBaseEx::getOutputLatency() {
    return asLong(callHost(audioMasterGetOutputLatency, 0, 0, nullptr, 0.0f, 0));
}

// The pin is not part of these requests: hosts answer for the effect as a whole.
AEffect* EffectBaseEx::getPreviousPlug(int32_t) {
    return asPointer<AEffect>(callHost(audioMasterGetPreviousPlug, 0, 0, nullptr, 0.0f, 0));
}

AEffect* EffectBaseEx::getNextPlug(int32_t) {
    return asPointer<AEffect>(callHost(audioMasterGetNextPlug, 0, 0, nullptr, 0.0f, 0));
}

int32_t EffectBaseEx::willReplaceOrAccumulate() {
    return asLong(callHost(audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0.0f, 0));
}

int32_t EffectBaseEx::getCurrentProcessLevel() {
    return asLong(callHost(audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f, 0));
}

int32_t EffectBaseEx::getAutomationState() {
    return asLong(callHost(audioMasterGetAutomationState, 0, 0, nullptr, 0.0f, 0));
}

bool EffectBaseEx::offlineRead(VstOfflineTask* task, int32_t option, bool readSource) {
    return isSet(callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, task, 0.0f, 0));
}

bool EffectBaseEx::offlineWrite(VstOfflineTask* task, int32_t option) {
    return isSet(callHost(audioMasterOfflineWrite, 0, option, task, 0.0f, 0));
}

bool EffectBaseEx::offlineStart(VstAudioFile* files, int32_t numAudioFiles, int32_t numNewAudioFiles) {
    return isSet(callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, files, 0.0f, 0));
}

int32_t EffectBaseEx::offlineGetCurrentPass() {
    return isSet(callHost(audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0.0f, 0)) ? 1 : 0;
}

int32_t EffectBaseEx::offlineGetCurrentMetaPass() {
    return isSet(callHost(audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0.0f, 0)) ? 1 : 0;
}

void EffectBaseEx::setOutputSampleRate(float sampleRateHz) {
    callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, sampleRateHz, 0);
}

bool EffectBaseEx::getSpeakerArrangement(void* input, void* output) {
    return isSet(callHost(audioMasterGetSpeakerArrangement, 0, pointerValue(input), output, 0.0f, 0));
}

bool EffectBaseEx::hostGetVendorString(char* text) {
    return isSet(callHost(audioMasterGetVendorString, 0, 0, text, 0.0f, 0));
}

bool EffectBaseEx::hostGetProductString(char* text) {
    return isSet(callHost(audioMasterGetProductString, 0, 0, text, 0.0f, 0));
}

int32_t EffectBaseEx::hostGetVendorVersion() {
    return asLong(callHost(audioMasterGetVendorVersion, 0, 0, nullptr, 0.0f, 0));
}

intptr_t EffectBaseEx::hostVendorSpecific(int32_t index, intptr_t value, void* ptr, float opt) {
    return callHost(audioMasterVendorSpecific, index, value, ptr, opt, 0);
}

int32_t EffectBaseEx::hostCanDo(char* text) { return isSet(callHost(audioMasterCanDo, 0, 0, text, 0.0f, 0)) ? 1 : 0; }

int32_t EffectBaseEx::getLanguage() { return asLong(callHost(audioMasterGetLanguage, 0, 0, nullptr, 0.0f, 0)); }

void* EffectBaseEx::openWindow(VstWindow* window) {
    return asPointer<void>(callHost(audioMasterOpenWindow, 0, 0, window, 0.0f, 0));
}

bool EffectBaseEx::closeWindow(VstWindow* window) {
    return isSet(callHost(audioMasterCloseWindow, 0, 0, window, 0.0f, 0));
}

void* EffectBaseEx::getDirectory() {
    return asPointer<void>(callHost(audioMasterGetDirectory, 0, 0, nullptr, 0.0f, 0));
}

bool EffectBaseEx::updateDisplay() { return isSet(callHost(audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f, 0)); }

bool EffectBaseEx::beginEdit(int32_t index) {
    return isSet(callHost(audioMasterBeginEdit, index, 0, nullptr, 0.0f, 0));
}

bool EffectBaseEx::endEdit(int32_t index) { return isSet(callHost(audioMasterEndEdit, index, 0, nullptr, 0.0f, 0)); }

bool EffectBaseEx::openFileSelector(VstFileSelect* select) {
    if (select == nullptr) {
        return false;
    }
    return isSet(callHost(audioMasterOpenFileSelector, 0, 0, select, 0.0f, 0));
}
