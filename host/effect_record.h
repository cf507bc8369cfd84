// The VST 2 wire format between a host and an effect module: the effect record,
// the C entry types it carries, the host callback, and the numbers both sides agree on.
// Plain C types only: a host written in C (C11) or C++ can use this header as it is.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
// In C++ the enumerations are exactly as wide as the fields they travel in.
#define TINVOICER_AS_INT32 : int32_t
#else
#include <assert.h>  // static_assert
#define TINVOICER_AS_INT32
#endif

typedef struct AEffect AEffect;

#ifdef __cplusplus
extern "C" {
#endif

// `value` and the result of the dispatcher and of the host callback are as wide as a pointer,
// so a pointer or a negative answer reaches a 64-bit host intact; on 32-bit builds they are 32 bits.
typedef intptr_t (*audioMasterCallback)(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                        float opt);
typedef intptr_t (*AEffectDispatcherProc)(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                          float opt);
typedef void (*AEffectProcessProc)(AEffect* effect, float** inputs, float** outputs, int32_t sampleFrames);
typedef void (*AEffectSetParameterProc)(AEffect* effect, int32_t index, float value);
typedef float (*AEffectGetParameterProc)(AEffect* effect, int32_t index);

// The module's one exported function, under both names hosts look for ("main" and "VSTPluginMain").
typedef AEffect* (*PluginMainProc)(audioMasterCallback host);

#ifdef __cplusplus
}  // extern "C"
#endif

/// The effect record. Field order is fixed; a 32-bit build gives the classic 144-byte layout,
/// a 64-bit build the natural-alignment layout that 64-bit hosts use (192 bytes on x86-64).
/// Threads: `processReplacing` and `process` are the audio thread's and never overlap each other;
/// the dispatcher and the parameter entries may run on one other thread at the same time. The
/// dispatcher's effClose destroys the effect and this record with it: nothing may run or follow.
struct AEffect {
    uint32_t magic;
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process;
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    int32_t numPrograms;
    int32_t numParams;
    int32_t numInputs;
    int32_t numOutputs;
    int32_t flags;
    intptr_t resvd1;
    intptr_t resvd2;
    int32_t initialDelay;  ///< latency in samples
    int32_t realQualities;
    int32_t offQualities;
    float ioRatio;
    void* object;  ///< the effect object that contains this record
    void* user;
    int32_t uniqueID;
    int32_t version;
    AEffectProcessProc processReplacing;
    char future[60];
};

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(AEffect) == 144, "32-bit effect record is 144 bytes");
static_assert(offsetof(AEffect, dispatcher) == 4 && offsetof(AEffect, getParameter) == 16, "entries");
static_assert(offsetof(AEffect, numPrograms) == 20 && offsetof(AEffect, flags) == 36, "counts");
static_assert(offsetof(AEffect, resvd1) == 40 && offsetof(AEffect, initialDelay) == 48, "reserved");
static_assert(offsetof(AEffect, ioRatio) == 60 && offsetof(AEffect, object) == 64, "ratio, object");
static_assert(offsetof(AEffect, uniqueID) == 72 && offsetof(AEffect, version) == 76, "identity");
static_assert(offsetof(AEffect, processReplacing) == 80 && offsetof(AEffect, future) == 84, "tail");
#elif INTPTR_MAX == INT64_MAX
static_assert(sizeof(AEffect) == 192, "64-bit effect record is 192 bytes");
static_assert(offsetof(AEffect, dispatcher) == 8 && offsetof(AEffect, getParameter) == 32, "entries");
static_assert(offsetof(AEffect, numPrograms) == 40 && offsetof(AEffect, flags) == 56, "counts");
static_assert(offsetof(AEffect, resvd1) == 64 && offsetof(AEffect, initialDelay) == 80, "reserved");
static_assert(offsetof(AEffect, ioRatio) == 92 && offsetof(AEffect, object) == 96, "ratio, object");
static_assert(offsetof(AEffect, uniqueID) == 112 && offsetof(AEffect, version) == 116, "identity");
static_assert(offsetof(AEffect, processReplacing) == 120 && offsetof(AEffect, future) == 128, "tail");
#endif

/// A key press as the dispatcher hands it to an editor (effEditKeyDown and effEditKeyUp).
typedef struct VstKeyCode {
    int32_t character;
    uint8_t virt;
    uint8_t modifier;
} VstKeyCode;

#ifdef __cplusplus
/// 'VstP', the first field of every valid record.
constexpr uint32_t kEffectMagic = 0x56737450;

/// Packs four characters into a 32-bit identifier, the first in the most significant byte.
constexpr int32_t fourCharCode(char a, char b, char c, char d) {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<unsigned char>(a)) << 24) |
                                (static_cast<uint32_t>(static_cast<unsigned char>(b)) << 16) |
                                (static_cast<uint32_t>(static_cast<unsigned char>(c)) << 8) |
                                static_cast<uint32_t>(static_cast<unsigned char>(d)));
}
#else
#define kEffectMagic 0x56737450u
#endif

/// Bits of `AEffect::flags`.
enum EffectFlags TINVOICER_AS_INT32 {
    effFlagsHasEditor = 1 << 0,
    effFlagsHasClip = 1 << 1,
    effFlagsHasVu = 1 << 2,
    effFlagsCanMono = 1 << 3,
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
    effFlagsNoSoundInStop = 1 << 9,
    effFlagsExtIsAsync = 1 << 10,
    effFlagsExtHasBuffer = 1 << 11,
};

/// Opcodes that the host sends to the record's dispatcher entry.
enum DispatcherOpcode TINVOICER_AS_INT32 {
    effOpen = 0,
    effClose,
    effSetProgram,
    effGetProgram,
    effSetProgramName,
    effGetProgramName,
    effGetParamLabel,
    effGetParamDisplay,
    effGetParamName,
    effGetVu,
    effSetSampleRate,
    effSetBlockSize,
    effMainsChanged,
    effEditGetRect,
    effEditOpen,
    effEditClose,
    effEditDraw,
    effEditMouse,
    effEditKey,
    effEditIdle,
    effEditTop,
    effEditSleep,
    effIdentify,
    effGetChunk,
    effSetChunk,
    effProcessEvents,  // 25: the extended set starts here
    effCanBeAutomated,
    effString2Parameter,
    effGetNumProgramCategories,
    effGetProgramNameIndexed,
    effCopyProgram,
    effConnectInput,
    effConnectOutput,
    effGetInputProperties,
    effGetOutputProperties,
    effGetPlugCategory,
    effGetCurrentPosition,
    effGetDestinationBuffer,
    effOfflineNotify,
    effOfflinePrepare,
    effOfflineRun,
    effProcessVarIo,
    effSetSpeakerArrangement,
    effSetBlockSizeAndSampleRate,
    effSetBypass,
    effGetEffectName,
    effGetErrorText,
    effGetVendorString,
    effGetProductString,
    effGetVendorVersion,
    effVendorSpecific,
    effCanDo,
    effGetTailSize,
    effIdle,
    effGetIcon,
    effSetViewPosition,
    effGetParameterProperties,
    effKeysRequired,
    effGetVstVersion,
    effEditKeyDown,
    effEditKeyUp,
    effSetEditKnobMode,
    effGetMidiProgramName,
    effGetCurrentMidiProgram,
    effGetMidiProgramCategory,
    effHasMidiProgramsChanged,
    effGetMidiKeyName,
    effBeginSetProgram,
    effEndSetProgram,  // 68: the last opcode the effect knows
};

/// Opcodes that an effect sends through the host callback.
enum HostOpcode TINVOICER_AS_INT32 {
    audioMasterAutomate = 0,
    audioMasterVersion,
    audioMasterCurrentId,
    audioMasterIdle,
    audioMasterPinConnected,
    audioMasterWantMidi = 6,
    audioMasterGetTime,
    audioMasterTempoAt = 10,
    audioMasterGetNumAutomatableParameters,
    audioMasterGetParameterQuantization,
    audioMasterIOChanged,
    audioMasterNeedIdle,
    audioMasterSizeWindow,
    audioMasterGetSampleRate,
    audioMasterGetBlockSize,
    audioMasterGetInputLatency,
    audioMasterGetOutputLatency,
    audioMasterGetPreviousPlug,
    audioMasterGetNextPlug,
    audioMasterWillReplaceOrAccumulate,
    audioMasterGetCurrentProcessLevel,
    audioMasterGetAutomationState,
    audioMasterOfflineStart,
    audioMasterOfflineRead,
    audioMasterOfflineWrite,
    audioMasterOfflineGetCurrentPass,
    audioMasterOfflineGetCurrentMetaPass,
    audioMasterSetOutputSampleRate,
    audioMasterGetSpeakerArrangement,
    audioMasterGetVendorString,
    audioMasterGetProductString,
    audioMasterGetVendorVersion,
    audioMasterVendorSpecific,
    audioMasterCanDo = 37,
    audioMasterGetLanguage,
    audioMasterOpenWindow,
    audioMasterCloseWindow,
    audioMasterGetDirectory,
    audioMasterUpdateDisplay,
    audioMasterBeginEdit,
    audioMasterEndEdit,
    audioMasterOpenFileSelector,
};

/// Answers to `effGetPlugCategory`.
enum PlugCategory TINVOICER_AS_INT32 {
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
    kPlugCategSynth = 2,
};

/// Buffer sizes hosts use for the texts they ask for.
#ifdef __cplusplus
constexpr size_t kDisplayTextBytes = 9;   ///< parameter label, display and name
constexpr size_t kProgramNameBytes = 24;  ///< program name
constexpr size_t kEffectNameBytes = 32;   ///< effect name
constexpr size_t kVendorTextBytes = 64;   ///< vendor and product texts
#else
enum { kDisplayTextBytes = 9, kProgramNameBytes = 24, kEffectNameBytes = 32, kVendorTextBytes = 64 };
#endif
