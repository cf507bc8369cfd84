// The effect's programs and parameters, driven through its dispatcher and operations.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "effect/zero_phase_effect.h"

namespace {

std::string programName(ZeroPhaseEffect& effect) {
    char text[kProgramNameBytes + 8];
    std::memset(text, 'x', sizeof text);
    effect.dispatcher(effGetProgramName, 0, 0, text, 0.0f);
    return text;
}

void renameProgram(ZeroPhaseEffect& effect, const char* name) {
    effect.dispatcher(effSetProgramName, 0, 0, const_cast<char*>(name), 0.0f);
}

std::string paramText(ZeroPhaseEffect& effect, int32_t opcode, int32_t index, const char* before = "") {
    char text[kDisplayTextBytes] = {};
    std::strcpy(text, before);
    effect.dispatcher(opcode, index, 0, text, 0.0f);
    return text;
}

TEST(ZeroPhaseEffect, StartsAtProgramZeroAndAnnouncesItsIdentity) {
    ZeroPhaseEffect effect(nullptr);
    const AEffect& r = *effect.record();
    EXPECT_EQ(effect.getProgram(), 0);
    EXPECT_EQ(effect.getParameter(0), 0.5f);
    EXPECT_EQ(effect.getParameter(1), 0.5f);
    EXPECT_EQ(programName(effect), "Tinvoicer");
    EXPECT_EQ(r.numPrograms, 4);
    EXPECT_EQ(r.numParams, 2);
    EXPECT_EQ(r.numInputs, 1);
    EXPECT_EQ(r.numOutputs, 1);
    EXPECT_EQ(r.uniqueID, 0x54696E76);
    EXPECT_EQ(r.flags, effFlagsCanMono | effFlagsCanReplacing);
    EXPECT_EQ(r.initialDelay, 1024);  // the whole frame: what the audio path really delays
    char text[kVendorTextBytes] = {};
    EXPECT_EQ(effect.dispatcher(effGetEffectName, 0, 0, text, 0.0f), 1);
    EXPECT_STREQ(text, "Tinvoicer");
    EXPECT_EQ(effect.dispatcher(effGetVendorString, 0, 0, text, 0.0f), 1);
    EXPECT_STREQ(text, "Vexa");
    EXPECT_EQ(effect.dispatcher(effGetProductString, 0, 0, text, 0.0f), 1);
    EXPECT_STREQ(text, "Vexa Framewerk");
    EXPECT_EQ(effect.dispatcher(effGetVendorVersion, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(effect.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0.0f), kPlugCategEffect);
    EXPECT_EQ(effect.dispatcher(effGetVstVersion, 0, 0, nullptr, 0.0f), 2200);
}

TEST(ZeroPhaseEffect, EachProgramRemembersItsOwnValues) {
    ZeroPhaseEffect effect(nullptr);
    effect.setParameter(0, 0.8f);
    effect.setParameter(1, 0.1f);
    effect.dispatcher(effSetProgram, 0, 1, nullptr, 0.0f);
    EXPECT_EQ(effect.getParameter(0), 0.5f);
    EXPECT_EQ(effect.getParameter(1), 0.5f);
    effect.setParameter(0, 0.25f);
    effect.dispatcher(effSetProgram, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(effect.getParameter(0), 0.8f);
    EXPECT_EQ(effect.getParameter(1), 0.1f);
    effect.dispatcher(effSetProgram, 0, 1, nullptr, 0.0f);
    EXPECT_EQ(effect.getParameter(0), 0.25f);
}

// Values are stored as given, unclamped; parameter and program numbers outside the effect's
// change nothing. (The module's pass: validator/stream_test.cpp.)
TEST(ZeroPhaseEffect, StoresValuesUnclampedAndIgnoresIndexesOutsideItsRange) {
    ZeroPhaseEffect effect(nullptr);
    for (float value : {1.5f, -0.25f, 1e9f}) {
        effect.setParameter(0, value);
        effect.setParameter(1, value);
        EXPECT_EQ(effect.getParameter(0), value);
        EXPECT_EQ(effect.getParameter(1), value);
    }
    effect.dispatcher(effSetProgram, 0, 2, nullptr, 0.0f);
    for (int32_t bad : {2, -1}) {
        effect.setParameter(bad, 0.3f);
        EXPECT_EQ(effect.getParameter(bad), 0.0f);
    }
    for (intptr_t bad : {intptr_t{4}, intptr_t{-1}, intptr_t{100}, INTPTR_MIN}) {
        effect.dispatcher(effSetProgram, 0, bad, nullptr, 0.0f);
        EXPECT_EQ(effect.dispatcher(effGetProgram, 0, 0, nullptr, 0.0f), 2) << bad;
    }
    for (int32_t program = 1; program < 4; ++program) {
        effect.dispatcher(effSetProgram, 0, program, nullptr, 0.0f);
        EXPECT_EQ(effect.getParameter(0), 0.5f);
        EXPECT_EQ(effect.getParameter(1), 0.5f);
    }
}

TEST(ZeroPhaseEffect, ProgramNamedInitShowsItsNumber) {
    const struct {
        const char* stored;
        const char* shown;
    } rows[] = {
        {"Init", "Init 3"}, {"init", "init"}, {"Init ", "Init "}, {"Init3", "Init3"}, {"", ""}, {"Robot", "Robot"},
    };
    for (const auto& row : rows) {
        ZeroPhaseEffect effect(nullptr);
        effect.dispatcher(effSetProgram, 0, 2, nullptr, 0.0f);
        renameProgram(effect, row.stored);
        EXPECT_EQ(programName(effect), row.shown) << '"' << row.stored << '"';
    }
}

TEST(ZeroPhaseEffect, ProgramNamesAreKeptPerProgram) {
    ZeroPhaseEffect effect(nullptr);
    renameProgram(effect, "Init");
    effect.dispatcher(effSetProgram, 0, 3, nullptr, 0.0f);
    EXPECT_EQ(programName(effect), "Tinvoicer");
    renameProgram(effect, "Init");
    EXPECT_EQ(programName(effect), "Init 4");
    effect.dispatcher(effSetProgram, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(programName(effect), "Init 1");
}

TEST(ZeroPhaseEffect, LongProgramNameIsCutToTwentyThreeCharacters) {
    ZeroPhaseEffect effect(nullptr);
    const std::string longName(100, 'a');
    renameProgram(effect, longName.c_str());
    EXPECT_EQ(programName(effect), std::string(23, 'a'));
}

TEST(ZeroPhaseEffect, ParameterNamesAndLabels) {
    ZeroPhaseEffect effect(nullptr);
    EXPECT_EQ(paramText(effect, effGetParamName, 0), " Gain");
    EXPECT_EQ(paramText(effect, effGetParamName, 1), " Depth");
    EXPECT_EQ(paramText(effect, effGetParamLabel, 0), "dB");
    EXPECT_EQ(paramText(effect, effGetParamLabel, 1), "%");
    for (int32_t opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
        EXPECT_EQ(paramText(effect, opcode, 2, "keep"), "keep");
        EXPECT_EQ(paramText(effect, opcode, -1, "keep"), "keep");
    }
}

TEST(ZeroPhaseEffect, RefusesTheFourEventCapabilitiesAndAnswersNothingElse) {
    const struct {
        const char* capability;
        intptr_t answer;
    } rows[] = {
        {"sendVstMidiEvent", -1},   {"sendVstEvents", -1},
        {"receiveVstEvents", -1},   {"receiveVstMidiEvent", -1},
        {"ReceiveVstMidiEvent", 0}, {"receiveVstMidiEvents", 0},
        {"receiveVstMidi", 0},      {"", 0},
        {"plugAsChannelInsert", 0}, {"bypass", 0},
    };
    ZeroPhaseEffect effect(nullptr);
    for (const auto& row : rows) {
        EXPECT_EQ(effect.dispatcher(effCanDo, 0, 0, const_cast<char*>(row.capability), 0.0f), row.answer)
            << row.capability;
    }
}

}  // namespace
