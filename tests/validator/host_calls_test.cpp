// Dispatcher calls as careless hosts make them: no buffer where a text belongs, indexes and values
// out of range, text buffers exactly as large as hosts make them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "support/text_opcodes.h"
#include "validator/validator_support.h"

namespace validator {
namespace {

class HostCalls : public testing::Test {
protected:
    LoadedModule module;
};

// The audio and texts of an instance after the calls under test, against a fresh one's.
void expectStillWorking(const LoadedModule& module, const PluginInstance& plugin) {
    const std::vector<float> input = noise(4 * kFrameSamples, 0.5f, 91);
    AudioThread audio(plugin);
    audio.setProgram(0);
    audio.setParameter(0, 0.5f);
    audio.setParameter(1, 0.5f);
    audio.suspend();
    audio.resume();
    EXPECT_EQ(firstBitDifference(render(audio, input), renderFresh(module, input)), -1);
    PluginInstance fresh(module);
    for (int32_t opcode : {effGetEffectName, effGetVendorString, effGetProductString}) {
        EXPECT_EQ(plugin.text(opcode), fresh.text(opcode)) << opcode;
    }
    EXPECT_EQ(plugin.text(effGetParamDisplay, 0), fresh.text(effGetParamDisplay, 0));
}

TEST_F(HostCalls, TextOpcodesWithoutABufferAnswerZeroAndChangeNothing) {
    PluginInstance plugin(module);
    const std::string programName = plugin.text(effGetProgramName);
    for (const TextOpcode& text : kTextOpcodes) {
        for (int32_t index : {0, 1, -1}) {
            for (intptr_t value : {intptr_t{0}, intptr_t{1}}) {
                EXPECT_EQ(plugin.dispatch(text.opcode, index, value, nullptr, 0.0f), 0)
                    << text.name << " index " << index << " value " << value;
            }
        }
    }
    EXPECT_EQ(plugin.text(effGetProgramName), programName);
    expectStillWorking(module, plugin);
}

TEST_F(HostCalls, EveryOpcodeWithoutAPointerAndWithExtremeArgumentsLeavesTheEffectWorking) {
    const int32_t indexes[] = {0, 1, -1, 2, INT_MAX, INT_MIN};
    const intptr_t values[] = {0, 1, -1, 4, INTPTR_MAX, INTPTR_MIN};
    const float opts[] = {
        0.0f,   1.0f, -1.0f, 1e30f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
        FLT_MAX};
    PluginInstance plugin(module);
    for (int32_t opcode = -3; opcode <= effEndSetProgram + 10; ++opcode) {
        if (opcode == effClose) continue;  // ends the effect: the lifecycle tests cover it
        for (int32_t index : indexes) {
            for (intptr_t value : values) {
                for (float opt : opts) {
                    plugin.dispatch(opcode, index, value, nullptr, opt);
                }
            }
        }
    }
    for (int32_t opcode : {INT_MIN, -1000, 1000, INT_MAX}) {
        EXPECT_EQ(plugin.dispatch(opcode, 0, 0, nullptr, 0.0f), 0) << opcode;
    }
    expectStillWorking(module, plugin);
}

// A buffer of exactly the host's size, followed by guard bytes the effect must not touch.
class HostBuffer {
public:
    explicit HostBuffer(std::size_t bytes, const char* content = "") : size(bytes), bytes(bytes + kGuard, kFill) {
        std::strncpy(this->bytes.data(), content, bytes - 1);
        this->bytes[bytes - 1] = '\0';
    }
    char* data() { return bytes.data(); }
    bool terminated() const {
        return std::find(bytes.begin(), bytes.begin() + static_cast<long>(size), '\0') !=
               bytes.begin() + static_cast<long>(size);
    }
    bool guardIntact() const {
        return std::all_of(bytes.begin() + static_cast<long>(size), bytes.end(), [](char c) { return c == kFill; });
    }

private:
    static constexpr std::size_t kGuard = 64;
    static constexpr char kFill = 0x7f;
    std::size_t size;
    std::vector<char> bytes;
};

TEST_F(HostCalls, EveryTextFitsTheBufferSizeHostsUseForIt) {
    const std::string longName(200, 'x');
    const float parameterValues[] = {0.0f,
                                     0.5f,
                                     1.0f,
                                     -1e30f,
                                     1e30f,
                                     std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(),
                                     std::numeric_limits<float>::quiet_NaN(),
                                     -0.000001f,
                                     123456.0f};
    PluginInstance plugin(module);
    for (int32_t program = 0; program < plugin.effect()->numPrograms; ++program) {
        plugin.dispatch(effSetProgram, 0, program);
        for (const char* name : {"Init", longName.c_str(), ""}) {
            HostBuffer given(longName.size() + 1, name);
            plugin.dispatch(effSetProgramName, 0, 0, given.data());
            for (float value : parameterValues) {
                plugin.setParameter(0, value);
                plugin.setParameter(1, value);
                for (const TextOpcode& text : kTextOpcodes) {
                    if (text.opcode == effSetProgramName) continue;
                    for (int32_t index : {-1, 0, 1, 2, program}) {
                        HostBuffer buffer(text.hostBytes, text.opcode == effCanDo ? "receiveVstEvents" : "");
                        plugin.dispatch(text.opcode, index, index, buffer.data());
                        EXPECT_TRUE(buffer.terminated()) << text.name << " index " << index << " value " << value;
                        EXPECT_TRUE(buffer.guardIntact()) << text.name << " index " << index << " value " << value;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace validator
