// The real module, loaded as a host loads it and driven only through its C entries.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "support/opcode_answers.h"
#include "support/test_host.h"

namespace {

class Module : public ::testing::Test {
protected:
    RecordingHost host;
    LoadedModule module;
};

TEST_F(Module, ExportsOnlyItsTwoEntriesUnderBothNames) {
    ASSERT_NE(module.symbol("main"), nullptr);
    EXPECT_EQ(module.symbol("main"), module.symbol("VSTPluginMain"));
    EXPECT_EQ(module.exportedNames(), (std::set<std::string>{"main", "VSTPluginMain"}));
}

TEST_F(Module, EntryAsksForTheHostVersionFirst) {
    PluginInstance plugin(module);
    ASSERT_FALSE(host.requests.empty());
    const HostRequest& first = host.requests.front();
    EXPECT_EQ(first.effect, nullptr);
    EXPECT_EQ(first.opcode, audioMasterVersion);
    EXPECT_EQ(first.index, 0);
    EXPECT_EQ(first.value, 0);
    EXPECT_EQ(first.ptr, nullptr);
    EXPECT_EQ(first.opt, 0.0f);
}

TEST_F(Module, HostVersionZeroOrNoCallbackGivesNoEffect) {
    host.versionAnswer = 0;
    EXPECT_EQ(module.entry()(RecordingHost::callback), nullptr);
    EXPECT_EQ(host.requests.size(), 1u);
    EXPECT_EQ(module.entry()(nullptr), nullptr);
    EXPECT_EQ(module.entry("VSTPluginMain")(nullptr), nullptr);
}

TEST_F(Module, RecordShowsTheEffectsIdentity) {
    PluginInstance plugin(module);
    const AEffect& r = *plugin.effect();
    EXPECT_EQ(r.magic, kEffectMagic);
    EXPECT_EQ(r.numPrograms, 4);
    EXPECT_EQ(r.numParams, 2);
    EXPECT_EQ(r.numInputs, 1);
    EXPECT_EQ(r.numOutputs, 1);
    EXPECT_EQ(r.flags, effFlagsCanMono | effFlagsCanReplacing);
    EXPECT_EQ(r.resvd1, 0);
    EXPECT_EQ(r.resvd2, 0);
    EXPECT_EQ(r.initialDelay, 1024);
    EXPECT_EQ(r.realQualities, 0);
    EXPECT_EQ(r.offQualities, 0);
    EXPECT_EQ(r.ioRatio, 1.0f);
    EXPECT_NE(r.object, nullptr);
    EXPECT_EQ(r.user, nullptr);
    EXPECT_EQ(r.uniqueID, fourCharCode('T', 'i', 'n', 'v'));
    EXPECT_EQ(r.version, 1);
    for (char byte : r.future) {
        EXPECT_EQ(byte, 0);
    }
}

// The answers in which the effect differs from the base classes' defaults.
intptr_t effectAnswer(int32_t opcode, intptr_t defaultAnswer) {
    switch (opcode) {
        case effGetPlugCategory: return kPlugCategEffect;
        case effGetEffectName:
        case effGetVendorString:
        case effGetProductString:
        case effGetVendorVersion: return 1;
        default: return defaultAnswer;
    }
}

TEST_F(Module, EveryOpcodeAnswersThroughTheDispatcherEntry) {
    PluginInstance plugin(module);
    for (const OpcodeAnswer& row : kDefaultAnswers) {
        if (row.opcode == effClose) {
            continue;  // through the entry it ends the effect: see TwoEffectsAreIndependentAndCloseOnTheirOwn
        }
        char text[kVendorTextBytes] = "";
        EXPECT_EQ(plugin.dispatch(row.opcode, row.index, row.value, text), effectAnswer(row.opcode, row.expected))
            << "opcode " << row.opcode;
    }
}

TEST_F(Module, ProgramsAndParametersThroughTheEntries) {
    PluginInstance plugin(module);
    EXPECT_EQ(plugin.text(effGetProgramName), "Tinvoicer");
    EXPECT_EQ(plugin.text(effGetParamName, 0), " Gain");
    EXPECT_EQ(plugin.text(effGetParamName, 1), " Depth");
    EXPECT_EQ(plugin.text(effGetParamLabel, 0), "dB");
    EXPECT_EQ(plugin.text(effGetParamLabel, 1), "%");

    plugin.setParameter(0, 0.8f);
    EXPECT_EQ(plugin.getParameter(0), 0.8f);
    plugin.dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(plugin.dispatch(effGetProgram), 3);
    EXPECT_EQ(plugin.getParameter(0), 0.5f);
    char init[] = "Init";
    plugin.dispatch(effSetProgramName, 0, 0, init);
    EXPECT_EQ(plugin.text(effGetProgramName), "Init 4");
    plugin.dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(plugin.getParameter(0), 0.8f);
    EXPECT_EQ(plugin.text(effGetProgramName), "Tinvoicer");
    plugin.dispatch(effSetProgram, 0, -7);
    plugin.dispatch(effSetProgram, 0, 4);
    EXPECT_EQ(plugin.dispatch(effGetProgram), 0);
}

TEST_F(Module, CanDoRefusalReachesTheHostAsMinusOne) {
    PluginInstance plugin(module);
    char capability[] = "receiveVstMidiEvent";
    EXPECT_EQ(plugin.dispatch(effCanDo, 0, 0, capability), -1);
}

TEST_F(Module, TwoEffectsAreIndependentAndCloseOnTheirOwn) {
    PluginInstance first(module);
    PluginInstance second(module);
    EXPECT_NE(first.effect(), second.effect());
    EXPECT_NE(first.effect()->object, second.effect()->object);
    first.setParameter(1, 0.9f);
    EXPECT_EQ(second.getParameter(1), 0.5f);
    EXPECT_EQ(first.close(), 1);  // the entry answers 1 although the close operation answers 0
    EXPECT_EQ(second.getParameter(1), 0.5f);
    second.setParameter(1, 0.2f);
    EXPECT_EQ(second.getParameter(1), 0.2f);
    EXPECT_EQ(second.text(effGetProgramName), "Tinvoicer");
}

}  // namespace
