// What each dispatcher opcode answers when every operation keeps its default, for the tests of
// the base classes and, with the effect's own answers laid over it, of the real module.
#pragma once

#include <cstdint>

#include "host/effect_record.h"

struct OpcodeAnswer {
    int32_t opcode;
    int32_t index;
    intptr_t value;
    intptr_t expected;
};

// A table, four answers a line, which the formatter would spread one a line.
// clang-format off
inline constexpr OpcodeAnswer kDefaultAnswers[] = {
    {effOpen, 0, 0, 0}, {effClose, 0, 0, 0}, {effGetProgram, 0, 0, 0}, {effGetVu, 0, 0, 0},
    {effSetSampleRate, 0, 0, 0}, {effSetBlockSize, 0, 512, 0}, {effMainsChanged, 0, 1, 0},
    {effEditGetRect, 0, 0, 0}, {effEditOpen, 0, 0, 0}, {effEditClose, 0, 0, 0}, {effEditDraw, 0, 0, 0},
    {effEditMouse, 0, 0, 0}, {effEditKey, 0, 0, 0}, {effEditIdle, 0, 0, 0}, {effEditTop, 0, 0, 0},
    {effEditSleep, 0, 0, 0}, {effIdentify, 7, 9, 0x4E764566}, {effGetChunk, 0, 0, 0}, {effSetChunk, 0, 0, 0},
    {effProcessEvents, 0, 0, 0}, {effCanBeAutomated, 0, 0, 1}, {effString2Parameter, 0, 0, 0},
    {effGetNumProgramCategories, 0, 0, 1}, {effGetProgramNameIndexed, 0, 0, 0}, {effCopyProgram, 0, 0, 0},
    {effConnectInput, 0, 0, 1}, {effConnectOutput, 0, 1, 1}, {effGetInputProperties, 0, 0, 0},
    {effGetOutputProperties, 0, 0, 0}, {effGetPlugCategory, 0, 0, 0}, {effGetCurrentPosition, 0, 0, 0},
    {effGetDestinationBuffer, 0, 0, 0}, {effOfflineNotify, 0, 0, 0}, {effOfflinePrepare, 0, 0, 0},
    {effOfflineRun, 0, 0, 0}, {effProcessVarIo, 0, 0, 0}, {effSetSpeakerArrangement, 0, 0, 0},
    {effSetBlockSizeAndSampleRate, 0, 256, 1}, {effSetBypass, 0, 1, 0}, {effGetEffectName, 0, 0, 0},
    {effGetErrorText, 0, 0, 0}, {effGetVendorString, 0, 0, 0}, {effGetProductString, 0, 0, 0},
    {effGetVendorVersion, 0, 0, 0}, {effVendorSpecific, 1, 2, 0}, {effCanDo, 0, 0, 0},
    {effGetTailSize, 0, 0, 0}, {effIdle, 0, 0, 0}, {effGetIcon, 0, 0, 0}, {effSetViewPosition, 0, 0, 0},
    {effGetParameterProperties, 0, 0, 0}, {effKeysRequired, 0, 0, 1}, {effGetVstVersion, 0, 0, 2200},
    {effEditKeyDown, 0, 0, 0}, {effEditKeyUp, 0, 0, 0}, {effSetEditKnobMode, 0, 0, 0},
    {effGetMidiProgramName, 0, 0, 0}, {effGetCurrentMidiProgram, 0, 0, -1}, {effGetMidiProgramCategory, 0, 0, 0},
    {effHasMidiProgramsChanged, 0, 0, 0}, {effGetMidiKeyName, 0, 0, 0}, {effBeginSetProgram, 0, 0, 0},
    {effEndSetProgram, 0, 0, 0}, {69, 0, 0, 0}, {1000, 0, 0, 0}, {-1, 0, 0, 0}, {-25, 0, 0, 0},
    {INT32_MIN, 0, 0, 0},
};
// clang-format on
