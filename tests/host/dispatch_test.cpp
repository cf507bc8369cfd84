// The base classes: the record they build and how the dispatchers route opcodes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/effect_base.h"
#include "support/opcode_answers.h"

namespace {

// The smallest concrete effect: every operation keeps its default.
class PlainEffect : public EffectBaseEx {
public:
    PlainEffect() : EffectBaseEx(nullptr, 3, 5) {}
    void process(float**, float**, int32_t) override {}
    EffectEditor*& editorSlot() { return editor; }
};

// Records the operations the dispatcher calls, with their arguments.
class ProbeEffect : public PlainEffect {
public:
    std::vector<std::string> calls;
    float vu = 0.0f;
    bool answer = true;

    void note(const std::string& call) { calls.push_back(call); }
    void setProgram(int32_t program) override { note("setProgram " + std::to_string(program)); }
    void suspend() override { note("suspend"); }
    void resume() override { note("resume"); }
    float getVu() override { return vu; }
    int32_t getChunk(void**, bool isPreset) override {
        note(std::string("getChunk ") + (isPreset ? "preset" : "bank"));
        return 77;
    }
    int32_t setChunk(void*, int32_t bytes, bool isPreset) override {
        note("setChunk " + std::to_string(bytes) + (isPreset ? " preset" : " bank"));
        return 78;
    }
    bool getProgramNameIndexed(int32_t category, int32_t index, char*) override {
        note("getProgramNameIndexed " + std::to_string(category) + " " + std::to_string(index));
        return answer;
    }
    void connectInput(int32_t index, bool state) override {
        note("connectInput " + std::to_string(index) + (state ? " on" : " off"));
    }
    bool setSpeakerArrangement(VstSpeakerArrangement* input, VstSpeakerArrangement* output) override {
        note(std::string("setSpeakerArrangement ") +
             (input == reinterpret_cast<VstSpeakerArrangement*>(0x10) ? "in" : "?") +
             (output == reinterpret_cast<VstSpeakerArrangement*>(0x20) ? " out" : " ?"));
        return answer;
    }
    bool setViewPosition(int32_t x, int32_t y) override {
        note("setViewPosition " + std::to_string(x) + " " + std::to_string(y));
        return answer;
    }
    bool offlineNotify(VstAudioFile*, int32_t count, bool start) override {
        note("offlineNotify " + std::to_string(count) + (start ? " start" : ""));
        return answer;
    }
    bool keysRequired() override { return answer; }
};

class FakeEditor : public EffectEditor {
public:
    std::vector<std::string>& log;
    explicit FakeEditor(std::vector<std::string>& calls) : log(calls) {}
    ~FakeEditor() override { log.push_back("editor destroyed"); }
    int32_t getRect(void*) override { return 13; }
    int32_t open(void*) override { return 14; }
    void close() override { log.push_back("editor close"); }
    void idle() override { log.push_back("editor idle"); }
    int32_t keyDown(VstKeyCode& key) override { return record("down", key); }
    int32_t keyUp(VstKeyCode& key) override { return record("up", key); }
    int32_t setKnobMode(int32_t mode) override { return mode + 1000; }

private:
    int32_t record(const char* direction, const VstKeyCode& key) {
        log.push_back(std::string(direction) + " " + std::to_string(key.character) + " " + std::to_string(key.virt) +
                      " " + std::to_string(key.modifier));
        return 59;
    }
};

TEST(EffectBase, RecordHoldsTheBaseValuesAfterConstruction) {
    PlainEffect effect;
    const AEffect& r = *effect.record();
    EXPECT_EQ(r.magic, 0x56737450u);
    EXPECT_EQ(r.numPrograms, 3);
    EXPECT_EQ(r.numParams, 5);
    EXPECT_EQ(r.numInputs, 1);
    EXPECT_EQ(r.numOutputs, 2);
    EXPECT_EQ(r.flags, 0);
    EXPECT_EQ(r.resvd1, 0);
    EXPECT_EQ(r.resvd2, 0);
    EXPECT_EQ(r.initialDelay, 0);
    EXPECT_EQ(r.realQualities, 0);
    EXPECT_EQ(r.offQualities, 0);
    EXPECT_EQ(r.ioRatio, 1.0f);
    EXPECT_EQ(r.object, static_cast<void*>(&effect));
    EXPECT_EQ(r.user, nullptr);
    EXPECT_EQ(r.uniqueID, 0x4E6F4566);
    EXPECT_EQ(r.version, 1);
    EXPECT_NE(r.dispatcher, nullptr);
    EXPECT_NE(r.process, nullptr);
    EXPECT_NE(r.processReplacing, nullptr);
    for (char byte : r.future) {
        EXPECT_EQ(byte, 0);
    }
    EXPECT_EQ(effect.getSampleRate(), 44100.0f);
    EXPECT_EQ(effect.getBlockSize(), 1024);
    EXPECT_EQ(effect.getProgram(), 0);
    EXPECT_EQ(effect.getEditor(), nullptr);
}

TEST(EffectBaseEx, EveryOpcodeGivesItsDefaultAnswer) {
    for (const OpcodeAnswer& row : kDefaultAnswers) {
        PlainEffect effect;
        char text[64] = "untouched";
        EXPECT_EQ(effect.dispatcher(row.opcode, row.index, row.value, text, 0.0f), row.expected)
            << "opcode " << row.opcode;
        // Opcodes 45 to 48 keep the host's text when the effect has nothing to say.
        EXPECT_STREQ(text, "untouched") << "opcode " << row.opcode;
    }
}

TEST(EffectBase, DefaultTextOperationsEmptyTheText) {
    for (int32_t opcode :
         {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        PlainEffect effect;
        char text[16] = "something";
        EXPECT_EQ(effect.dispatcher(opcode, 0, 0, text, 0.0f), 0);
        EXPECT_STREQ(text, "") << "opcode " << opcode;
    }
}

TEST(EffectBase, TextOpcodesWithoutABufferAreIgnored) {
    for (int32_t opcode : {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName,
                           effString2Parameter, effGetProgramNameIndexed, effGetEffectName, effGetErrorText,
                           effGetVendorString, effGetProductString, effCanDo}) {
        PlainEffect effect;
        EXPECT_EQ(effect.dispatcher(opcode, 0, 0, nullptr, 0.0f), 0) << "opcode " << opcode;
    }
}

struct RoutedCall {
    const char* what;
    int32_t opcode;
    int32_t index;
    intptr_t value;
    void* ptr;
    float opt;
    const char* expectedCall;  // empty: no operation is called
};

const RoutedCall kRoutedCalls[] = {
    {"last program", effSetProgram, 0, 2, nullptr, 0.0f, "setProgram 2"},
    {"program count", effSetProgram, 0, 3, nullptr, 0.0f, ""},
    {"negative program", effSetProgram, 0, -1, nullptr, 0.0f, ""},
    {"huge program", effSetProgram, 0, INTPTR_MAX, nullptr, 0.0f, ""},
    {"mains off", effMainsChanged, 0, 0, nullptr, 0.0f, "suspend"},
    {"mains on", effMainsChanged, 0, 1, nullptr, 0.0f, "resume"},
    {"mains 5", effMainsChanged, 0, 5, nullptr, 0.0f, "resume"},
    {"mains -1", effMainsChanged, 0, -1, nullptr, 0.0f, "resume"},
    {"bank chunk", effGetChunk, 0, 0, nullptr, 0.0f, "getChunk bank"},
    {"preset chunk, negative index", effGetChunk, -3, 0, nullptr, 0.0f, "getChunk preset"},
    {"set chunk", effSetChunk, 2, 640, nullptr, 0.0f, "setChunk 640 preset"},
    {"category in value", effGetProgramNameIndexed, 4, 9, const_cast<char*>(""), 0.0f, "getProgramNameIndexed 9 4"},
    {"connect input", effConnectInput, 1, 3, nullptr, 0.0f, "connectInput 1 on"},
    {"speaker input in value", effSetSpeakerArrangement, 0, 0x10, reinterpret_cast<void*>(0x20), 0.0f,
     "setSpeakerArrangement in out"},
    {"view position", effSetViewPosition, 11, 22, nullptr, 0.0f, "setViewPosition 11 22"},
    {"offline notify", effOfflineNotify, 1, 6, nullptr, 0.0f, "offlineNotify 6 start"},
    {"edit draw", effEditDraw, 0, 0, nullptr, 0.0f, ""},
};

TEST(EffectBaseEx, OpcodesReachTheirOperationWithTheirArguments) {
    for (const RoutedCall& row : kRoutedCalls) {
        ProbeEffect effect;
        effect.dispatcher(row.opcode, row.index, row.value, row.ptr, row.opt);
        const std::vector<std::string> expected =
            *row.expectedCall ? std::vector<std::string>{row.expectedCall} : std::vector<std::string>{};
        EXPECT_EQ(effect.calls, expected) << row.what;
    }
}

TEST(EffectBaseEx, ChunkAndBoolAnswersAreConverted) {
    ProbeEffect effect;
    EXPECT_EQ(effect.dispatcher(effGetChunk, 0, 0, nullptr, 0.0f), 77);
    EXPECT_EQ(effect.dispatcher(effSetChunk, 0, 0, nullptr, 0.0f), 78);
    EXPECT_EQ(effect.dispatcher(effSetViewPosition, 0, 0, nullptr, 0.0f), 1);
    // The host asks whether keys are NOT required.
    EXPECT_EQ(effect.dispatcher(effKeysRequired, 0, 0, nullptr, 0.0f), 0);
    effect.answer = false;
    EXPECT_EQ(effect.dispatcher(effKeysRequired, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(effect.dispatcher(effSetViewPosition, 0, 0, nullptr, 0.0f), 0);
}

TEST(EffectBase, VuIsScaledToSixteenBitsAndTruncated) {
    const struct {
        float vu;
        intptr_t expected;
    } rows[] = {{1.0f, 32767}, {0.5f, 16383}, {-0.5f, -16383}, {0.0f, 0}, {1e30f, 2147483647}};
    for (const auto& row : rows) {
        ProbeEffect effect;
        effect.vu = row.vu;
        EXPECT_EQ(effect.dispatcher(effGetVu, 0, 0, nullptr, 0.0f), row.expected) << row.vu;
    }
}

// Each setter of a number in the record writes its own field and no other.
TEST(EffectBase, FieldSettersTouchOnlyTheirOwnField) {
    using Setter = void (PlainEffect::*)(int32_t);
    const struct {
        Setter set;
        int32_t AEffect::*field;
    } setters[] = {
        {&PlainEffect::setUniqueID, &AEffect::uniqueID},
        {&PlainEffect::setNumInputs, &AEffect::numInputs},
        {&PlainEffect::setNumOutputs, &AEffect::numOutputs},
        {&PlainEffect::setRealQualities, &AEffect::realQualities},
        {&PlainEffect::setOffQualities, &AEffect::offQualities},
        {&PlainEffect::setInitialDelay, &AEffect::initialDelay},
    };
    for (const auto& setter : setters) {
        PlainEffect effect;
        AEffect expected;
        std::memcpy(&expected, effect.record(), sizeof expected);
        expected.*setter.field = -10;
        (effect.*setter.set)(-10);
        EXPECT_EQ(std::memcmp(effect.record(), &expected, sizeof expected), 0) << &setter - setters;
    }
}

TEST(EffectBase, FlagSettersTouchOnlyTheirOwnBit) {
    PlainEffect effect;
    using Setter = void (PlainEffect::*)(bool);
    const struct {
        Setter set;
        int32_t bit;
    } setters[] = {
        {&PlainEffect::setHasVu, 0x4},           {&PlainEffect::setHasClip, 0x2},
        {&PlainEffect::setCanMono, 0x8},         {&PlainEffect::setCanReplacing, 0x10},
        {&PlainEffect::setProgramChunks, 0x20},  {&PlainEffect::setIsSynth, 0x100},
        {&PlainEffect::setNoSoundInStop, 0x200}, {&PlainEffect::setExtIsAsync, 0x400},
        {&PlainEffect::setExtHasBuffer, 0x800},
    };
    for (const auto& setter : setters) {
        effect.record()->flags = 0x18;
        (effect.*setter.set)(true);
        EXPECT_EQ(effect.record()->flags, 0x18 | setter.bit);
        (effect.*setter.set)(false);
        EXPECT_EQ(effect.record()->flags, 0x18 & ~setter.bit);
    }
}

TEST(EffectBaseEx, PlugCategoryFollowsTheSynthFlag) {
    PlainEffect effect;
    EXPECT_EQ(effect.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0.0f), 0);
    effect.setIsSynth(true);
    EXPECT_EQ(effect.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0.0f), 2);
}

TEST(EffectBaseEx, EditorOpcodesReachAnAttachedEditor) {
    std::vector<std::string> log;
    {
        PlainEffect effect;
        effect.editorSlot() = new FakeEditor(log);
        EXPECT_EQ(effect.dispatcher(effEditGetRect, 0, 0, nullptr, 0.0f), 13);
        EXPECT_EQ(effect.dispatcher(effEditOpen, 0, 0, nullptr, 0.0f), 14);
        EXPECT_EQ(effect.dispatcher(effEditClose, 0, 0, nullptr, 0.0f), 0);
        EXPECT_EQ(effect.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f), 0);
        EXPECT_EQ(effect.dispatcher(effEditKeyDown, 65, 0x1234, nullptr, 3.9f), 59);
        EXPECT_EQ(effect.dispatcher(effEditKeyUp, -2, 7, nullptr, 300.0f), 59);
        EXPECT_EQ(effect.dispatcher(effSetEditKnobMode, 0, 2, nullptr, 0.0f), 1002);
        EXPECT_EQ(effect.getEditor(), effect.editorSlot());
    }
    // The key keeps the low 8 bits of value and of the truncated opt; the editor dies with the effect.
    const std::vector<std::string> expected = {"editor close", "editor idle", "down 65 52 3", "up -2 7 44",
                                               "editor destroyed"};
    EXPECT_EQ(log, expected);
}

}  // namespace
