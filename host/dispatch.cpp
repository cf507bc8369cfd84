// The two dispatchers: each opcode calls at most one named operation and converts its answer.
#include <cmath>

#include "host/effect_base.h"

namespace {

intptr_t asFlag(bool state) { return state ? 1 : 0; }

intptr_t asInteger(const void* pointer) { return reinterpret_cast<intptr_t>(pointer); }

char* asText(void* ptr) { return static_cast<char*>(ptr); }

// The meter scaled to 16-bit full scale, truncated toward zero. A meter beyond the integer range
// (or not a number) would make the conversion undefined, so it is held at the range's ends.
intptr_t vuAsInteger(float vu) {
    const double scaled = std::trunc(static_cast<double>(vu) * 32767.0);
    if (!(scaled == scaled)) {
        return 0;
    }
    return static_cast<intptr_t>(std::fmax(-2147483648.0, std::fmin(2147483647.0, scaled)));
}

// Opcodes whose pointer argument is a text the effect reads or writes. A host that passes no
// buffer there has made a mistake; answering 0 beats crashing the host for it.
bool takesText(int32_t opcode) {
    switch (opcode) {
        case effSetProgramName:
        case effGetProgramName:
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName:
        case effString2Parameter:
        case effGetProgramNameIndexed:
        case effGetEffectName:
        case effGetErrorText:
        case effGetVendorString:
        case effGetProductString:
        case effCanDo: return true;
        default: return false;
    }
}

// Both tables test the opcode's range as an unsigned number, so a negative opcode never
// passes for a small one.
bool inRange(int32_t opcode, int32_t first, int32_t last) {
    return static_cast<uint32_t>(opcode) - static_cast<uint32_t>(first) <= static_cast<uint32_t>(last - first);
}

}  // namespace

intptr_t EffectBase::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    return dispatchBasic(opcode, index, value, ptr, opt);
}

intptr_t EffectBase::dispatchBasic(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    if (!inRange(opcode, effOpen, effSetChunk) || (ptr == nullptr && takesText(opcode))) {
        return 0;
    }
    switch (opcode) {
        case effOpen: open(); break;
        case effClose: close(); break;
        case effSetProgram:
            // A negative program number would index below the program table: turned away too.
            if (value >= 0 && value < numPrograms) {
                setProgram(static_cast<int32_t>(value));
            }
            break;
        case effGetProgram: return getProgram();
        case effSetProgramName: setProgramName(asText(ptr)); break;
        case effGetProgramName: getProgramName(asText(ptr)); break;
        case effGetParamLabel: getParamLabel(index, asText(ptr)); break;
        case effGetParamDisplay: getParamDisplay(index, asText(ptr)); break;
        case effGetParamName: getParamName(index, asText(ptr)); break;
        case effGetVu: return vuAsInteger(getVu());
        case effSetSampleRate: setSampleRate(opt); break;
        case effSetBlockSize: setBlockSize(static_cast<int32_t>(value)); break;
        case effMainsChanged:
            if (value == 0) {
                suspend();
            } else {
                resume();
            }
            break;
        case effEditGetRect: return editor != nullptr ? editor->getRect(ptr) : 0;
        case effEditOpen: return editor != nullptr ? editor->open(ptr) : 0;
        case effEditClose:
            if (editor != nullptr) editor->close();
            break;
        case effEditIdle:
            if (editor != nullptr) editor->idle();
            break;
        case effIdentify: return fourCharCode('N', 'v', 'E', 'f');
        case effGetChunk: return getChunk(static_cast<void**>(ptr), index != 0);
        case effSetChunk: return setChunk(ptr, static_cast<int32_t>(value), index != 0);
        default: break;  // 16, 17, 18, 20, 21: nothing to do
    }
    return 0;
}

intptr_t EffectBaseEx::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    if (!inRange(opcode, effProcessEvents, effEndSetProgram)) {
        return dispatchBasic(opcode, index, value, ptr, opt);
    }
    if (ptr == nullptr && takesText(opcode)) {
        return 0;
    }
    return dispatchExtended(opcode, index, value, ptr, opt);
}

intptr_t EffectBaseEx::dispatchExtended(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    const auto count = static_cast<int32_t>(value);
    switch (opcode) {
        case effProcessEvents: return processEvents(static_cast<VstEvents*>(ptr));
        case effCanBeAutomated: return asFlag(canBeAutomated(index));
        case effString2Parameter: return asFlag(string2Parameter(index, asText(ptr)));
        case effGetNumProgramCategories: return getNumProgramCategories();
        case effGetProgramNameIndexed: return asFlag(getProgramNameIndexed(count, index, asText(ptr)));
        case effCopyProgram: return asFlag(copyProgram(index));
        case effConnectInput: connectInput(index, value != 0); return 1;
        case effConnectOutput: connectOutput(index, value != 0); return 1;
        case effGetInputProperties: return asFlag(getInputProperties(index, static_cast<VstPinProperties*>(ptr)));
        case effGetOutputProperties: return asFlag(getOutputProperties(index, static_cast<VstPinProperties*>(ptr)));
        case effGetPlugCategory: return getPlugCategory();
        case effGetCurrentPosition: return getCurrentPosition();
        case effGetDestinationBuffer: return asInteger(getDestinationBuffer());
        case effOfflineNotify: return asFlag(offlineNotify(static_cast<VstAudioFile*>(ptr), count, index != 0));
        case effOfflinePrepare: return asFlag(offlinePrepare(static_cast<VstOfflineTask*>(ptr), count));
        case effOfflineRun: return asFlag(offlineRun(static_cast<VstOfflineTask*>(ptr), count));
        case effProcessVarIo: return asFlag(processVarIo(static_cast<VstVariableIo*>(ptr)));
        case effSetSpeakerArrangement:
            return asFlag(setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                                static_cast<VstSpeakerArrangement*>(ptr)));
        case effSetBlockSizeAndSampleRate: setBlockSizeAndSampleRate(count, opt); return 1;
        case effSetBypass: return asFlag(setBypass(value != 0));
        case effGetEffectName: return asFlag(getEffectName(asText(ptr)));
        case effGetErrorText: return asFlag(getErrorText(asText(ptr)));
        case effGetVendorString: return asFlag(getVendorString(asText(ptr)));
        case effGetProductString: return asFlag(getProductString(asText(ptr)));
        case effGetVendorVersion: return getVendorVersion();
        case effVendorSpecific: return vendorSpecific(index, value, ptr, opt);
        case effCanDo: return canDo(asText(ptr));
        case effGetTailSize: return getTailSize();
        case effIdle: return idle();
        case effGetIcon: return asInteger(getIcon());
        case effSetViewPosition: return asFlag(setViewPosition(index, count));
        case effGetParameterProperties:
            return asFlag(getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)));
        case effKeysRequired: return asFlag(!keysRequired());  // the interface asks the inverse
        case effGetVstVersion: return getVstVersion();
        case effEditKeyDown:
        case effEditKeyUp: return dispatchEditorKey(opcode, index, value, opt);
        case effSetEditKnobMode: return editor != nullptr ? editor->setKnobMode(count) : 0;
        case effGetMidiProgramName: return getMidiProgramName(index, static_cast<MidiProgramName*>(ptr));
        case effGetCurrentMidiProgram: return getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
        case effGetMidiProgramCategory: return getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr));
        case effHasMidiProgramsChanged: return asFlag(hasMidiProgramsChanged(index));
        case effGetMidiKeyName: return asFlag(getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)));
        case effBeginSetProgram: return asFlag(beginSetProgram());
        case effEndSetProgram: return asFlag(endSetProgram());
        default: return 0;
    }
}

intptr_t EffectBaseEx::dispatchEditorKey(int32_t opcode, int32_t index, intptr_t value, float opt) {
    if (editor == nullptr) {
        return 0;
    }
    VstKeyCode key{};
    key.character = index;
    key.virt = static_cast<uint8_t>(value & 0xFF);
    // Out-of-range floats would make the conversion undefined; the key only keeps 8 bits anyway.
    const double modifier = std::isfinite(opt) ? std::fmod(std::trunc(static_cast<double>(opt)), 256.0) : 0.0;
    key.modifier = static_cast<uint8_t>(static_cast<int32_t>(modifier) & 0xFF);
    return opcode == effEditKeyDown ? editor->keyDown(key) : editor->keyUp(key);
}
