// The dispatcher opcodes whose pointer argument is a text, with the size of the buffer hosts
// give each one and whether the effect reads the text or writes it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/effect_record.h"

struct TextOpcode {
    int32_t opcode;
    const char* name;
    std::size_t hostBytes;  ///< the buffer size hosts use for it
    bool effectReads;       ///< the host hands a text in (true) or receives one (false)
};

inline constexpr TextOpcode kTextOpcodes[] = {
    {effSetProgramName, "effSetProgramName", kProgramNameBytes, true},
    {effGetProgramName, "effGetProgramName", kProgramNameBytes, false},
    {effGetParamLabel, "effGetParamLabel", kDisplayTextBytes, false},
    {effGetParamDisplay, "effGetParamDisplay", kDisplayTextBytes, false},
    {effGetParamName, "effGetParamName", kDisplayTextBytes, false},
    {effString2Parameter, "effString2Parameter", kDisplayTextBytes, true},
    {effGetProgramNameIndexed, "effGetProgramNameIndexed", kProgramNameBytes, false},
    {effGetEffectName, "effGetEffectName", kEffectNameBytes, false},
    {effGetErrorText, "effGetErrorText", kVendorTextBytes, false},
    {effGetVendorString, "effGetVendorString", kVendorTextBytes, false},
    {effGetProductString, "effGetProductString", kVendorTextBytes, false},
    {effCanDo, "effCanDo", kVendorTextBytes, true},
};

/// The entry for `opcode`, or null when its pointer is no text.
inline const TextOpcode* findTextOpcode(int32_t opcode) {
    for (const TextOpcode& text : kTextOpcodes) {
        if (text.opcode == opcode) return &text;
    }
    return nullptr;
}
