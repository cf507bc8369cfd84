// Construction of the effect record, the five C entries the host calls, and the defaults of
// every operation that is neither a dispatcher, a host request nor a value-to-text helper.
#include "host/effect_base.h"

#include <cstring>

namespace {

EffectBase* effectOf(AEffect* record) { return static_cast<EffectBase*>(record->object); }

// The C entries. A C++ exception must never unwind into the host, so each entry stops it here.
extern "C" intptr_t dispatcherEntry(AEffect* record, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                    float opt) {
    try {
        EffectBase* effect = effectOf(record);
        const intptr_t result = effect->dispatcher(opcode, index, value, ptr, opt);
        if (opcode != effClose) {
            return result;
        }
        // Closing is the one way an effect ends; the record dies with it.
        delete effect;
        return 1;
    } catch (...) {
        return 0;
    }
}

extern "C" void processEntry(AEffect* record, float** inputs, float** outputs, int32_t sampleFrames) {
    try {
        effectOf(record)->process(inputs, outputs, sampleFrames);
    } catch (...) {
    }
}

extern "C" void processReplacingEntry(AEffect* record, float** inputs, float** outputs, int32_t sampleFrames) {
    try {
        effectOf(record)->processReplacing(inputs, outputs, sampleFrames);
    } catch (...) {
    }
}

extern "C" void setParameterEntry(AEffect* record, int32_t index, float value) {
    try {
        effectOf(record)->setParameter(index, value);
    } catch (...) {
    }
}

extern "C" float getParameterEntry(AEffect* record, int32_t index) {
    try {
        return effectOf(record)->getParameter(index);
    } catch (...) {
        return 0.0f;
    }
}

void clearText(char* text) { text[0] = '\0'; }

}  // namespace

EffectBase::EffectBase(audioMasterCallback host, int32_t programCount, int32_t paramCount)
    : audioMaster(host), numPrograms(programCount), numParams(paramCount) {
    std::memset(&effectRecord, 0, sizeof effectRecord);
    effectRecord.magic = kEffectMagic;
    effectRecord.dispatcher = dispatcherEntry;
    effectRecord.process = processEntry;
    effectRecord.setParameter = setParameterEntry;
    effectRecord.getParameter = getParameterEntry;
    effectRecord.numPrograms = programCount;
    effectRecord.numParams = paramCount;
    effectRecord.numInputs = 1;
    effectRecord.numOutputs = 2;
    effectRecord.ioRatio = 1.0f;
    effectRecord.object = this;
    effectRecord.uniqueID = fourCharCode('N', 'o', 'E', 'f');
    effectRecord.version = 1;
    effectRecord.processReplacing = processReplacingEntry;
}

EffectBase::~EffectBase() { delete editor; }

void EffectBase::setParameter(int32_t, float) {}
float EffectBase::getParameter(int32_t) { return 0.0f; }
void EffectBase::processReplacing(float**, float**, int32_t) {}
void EffectBase::open() {}
void EffectBase::close() {}
int32_t EffectBase::getProgram() { return curProgram; }
void EffectBase::setProgram(int32_t program) { curProgram = program; }
void EffectBase::setProgramName(char* name) { clearText(name); }
void EffectBase::getProgramName(char* name) { clearText(name); }
void EffectBase::getParamLabel(int32_t, char* label) { clearText(label); }
void EffectBase::getParamDisplay(int32_t, char* text) { clearText(text); }
void EffectBase::getParamName(int32_t, char* text) { clearText(text); }
float EffectBase::getVu() { return 0.0f; }
int32_t EffectBase::getChunk(void**, bool) { return 0; }
int32_t EffectBase::setChunk(void*, int32_t, bool) { return 0; }
void EffectBase::setSampleRate(float sampleRateHz) { sampleRate = sampleRateHz; }
void EffectBase::setBlockSize(int32_t blockFrames) { blockSize = blockFrames; }
void EffectBase::suspend() {}
void EffectBase::resume() {}
void EffectBase::setUniqueID(int32_t id) { effectRecord.uniqueID = id; }
void EffectBase::setNumInputs(int32_t count) { effectRecord.numInputs = count; }
void EffectBase::setNumOutputs(int32_t count) { effectRecord.numOutputs = count; }
void EffectBase::setHasVu(bool state) { setFlag(effFlagsHasVu, state); }
void EffectBase::setHasClip(bool state) { setFlag(effFlagsHasClip, state); }
void EffectBase::setCanMono(bool state) { setFlag(effFlagsCanMono, state); }
void EffectBase::setCanReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
void EffectBase::setProgramChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
void EffectBase::setRealQualities(int32_t value) { effectRecord.realQualities = value; }
void EffectBase::setOffQualities(int32_t value) { effectRecord.offQualities = value; }
void EffectBase::setInitialDelay(int32_t samples) { effectRecord.initialDelay = samples; }
float EffectBase::getSampleRate() { return sampleRate; }
int32_t EffectBase::getBlockSize() { return blockSize; }

void EffectBase::setFlag(int32_t bit, bool state) {
    if (state) {
        effectRecord.flags |= bit;
    } else {
        effectRecord.flags &= ~bit;
    }
}

EffectBaseEx::EffectBaseEx(audioMasterCallback host, int32_t programCount, int32_t paramCount)
    : EffectBase(host, programCount, paramCount) {}

EffectBaseEx::~EffectBaseEx() = default;

EffectEditor* EffectBaseEx::getEditor() { return editor; }
int32_t EffectBaseEx::processEvents(VstEvents*) { return 0; }
bool EffectBaseEx::canBeAutomated(int32_t) { return true; }
bool EffectBaseEx::string2Parameter(int32_t, char*) { return false; }
float EffectBaseEx::unusedOperation55(int32_t, int32_t) { return 0.0f; }
int32_t EffectBaseEx::getNumProgramCategories() { return 1; }
bool EffectBaseEx::getProgramNameIndexed(int32_t, int32_t, char*) { return false; }
bool EffectBaseEx::copyProgram(int32_t) { return false; }
void EffectBaseEx::connectInput(int32_t, bool) {}
void EffectBaseEx::connectOutput(int32_t, bool) {}
bool EffectBaseEx::getInputProperties(int32_t, VstPinProperties*) { return false; }
bool EffectBaseEx::getOutputProperties(int32_t, VstPinProperties*) { return false; }

int32_t EffectBaseEx::getPlugCategory() {
    return (effectRecord.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
}

void EffectBaseEx::setExtIsAsync(bool state) { setFlag(effFlagsExtIsAsync, state); }
void EffectBaseEx::setExtHasBuffer(bool state) { setFlag(effFlagsExtHasBuffer, state); }
int32_t EffectBaseEx::getCurrentPosition() { return 0; }
float* EffectBaseEx::getDestinationBuffer() { return nullptr; }
bool EffectBaseEx::offlineNotify(VstAudioFile*, int32_t, bool) { return false; }
bool EffectBaseEx::offlinePrepare(VstOfflineTask*, int32_t) { return false; }
bool EffectBaseEx::offlineRun(VstOfflineTask*, int32_t) { return false; }
int32_t EffectBaseEx::unusedOperation88() { return 0; }
int32_t EffectBaseEx::unusedOperation89() { return 0; }
void EffectBaseEx::setIsSynth(bool state) { setFlag(effFlagsIsSynth, state); }
void EffectBaseEx::setNoSoundInStop(bool state) { setFlag(effFlagsNoSoundInStop, state); }
bool EffectBaseEx::processVarIo(VstVariableIo*) { return false; }
bool EffectBaseEx::setSpeakerArrangement(VstSpeakerArrangement*, VstSpeakerArrangement*) { return false; }

void EffectBaseEx::setBlockSizeAndSampleRate(int32_t blockFrames, float sampleRateHz) {
    blockSize = blockFrames;
    sampleRate = sampleRateHz;
}

bool EffectBaseEx::setBypass(bool) { return false; }
bool EffectBaseEx::getEffectName(char*) { return false; }
bool EffectBaseEx::getErrorText(char*) { return false; }
bool EffectBaseEx::getVendorString(char*) { return false; }
bool EffectBaseEx::getProductString(char*) { return false; }
int32_t EffectBaseEx::getVendorVersion() { return 0; }
intptr_t EffectBaseEx::vendorSpecific(int32_t, intptr_t, void*, float) { return 0; }
int32_t EffectBaseEx::canDo(char*) { return 0; }
void* EffectBaseEx::getIcon() { return nullptr; }
bool EffectBaseEx::setViewPosition(int32_t, int32_t) { return false; }
int32_t EffectBaseEx::getTailSize() { return 0; }
int32_t EffectBaseEx::idle() { return 0; }
bool EffectBaseEx::getParameterProperties(int32_t, VstParameterProperties*) { return false; }
bool EffectBaseEx::keysRequired() { return false; }
int32_t EffectBaseEx::getVstVersion() { return 2200; }
int32_t EffectBaseEx::getMidiProgramName(int32_t, MidiProgramName*) { return 0; }
int32_t EffectBaseEx::getCurrentMidiProgram(int32_t, MidiProgramName*) { return -1; }
int32_t EffectBaseEx::getMidiProgramCategory(int32_t, MidiProgramCategory*) { return 0; }
bool EffectBaseEx::hasMidiProgramsChanged(int32_t) { return false; }
bool EffectBaseEx::getMidiKeyName(int32_t, MidiKeyName*) { return false; }
bool EffectBaseEx::beginSetProgram() { return false; }
bool EffectBaseEx::endSetProgram() { return false; }
