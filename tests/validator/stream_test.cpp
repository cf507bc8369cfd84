// One stream of audio, delivered the way hosts deliver it: any block size, any sample rate, both
// processing entries in turn, parameters and programs changed between blocks, suspended and
// resumed in the middle, parameter values nobody should send.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "validator/validator_support.h"

namespace validator {
namespace {

class Stream : public testing::Test {
protected:
    LoadedModule module;
};

struct Cutting {
    const char* name;
    std::vector<int32_t> blockSizes;
};

std::vector<int32_t> randomSizes(uint32_t seed, int count) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int32_t> size(0, 4096);
    std::vector<int32_t> sizes(static_cast<std::size_t>(count));
    for (int32_t& s : sizes) s = size(generator);
    return sizes;
}

TEST_F(Stream, OutputDoesNotDependOnHowTheStreamIsCutIntoBlocks) {
    const std::vector<float> input = noise(40000, 0.5f, 11);
    const std::vector<float> oneBlock = renderFresh(module, input, {static_cast<int32_t>(input.size())});
    const Cutting cuttings[] = {
        {"single samples", {1}},
        {"irregular", {1, 5, 400, 10, 300, 0, 2048, 3}},
        {"largest", {4096}},
        {"odd", {3, 7, 31, 127, 257, 1023, 1025, 4095}},
        {"around the hop", {255, 256, 257, 0, 1024}},
        {"random 0 to 4096", randomSizes(12, 64)},
    };
    for (const Cutting& cutting : cuttings) {
        EXPECT_EQ(firstBitDifference(renderFresh(module, input, cutting.blockSizes), oneBlock), -1) << cutting.name;
    }
}

TEST_F(Stream, SampleRatesFrom8000To192000ChangeNothingInTheAudio) {
    const std::vector<float> input = noise(12000, 0.5f, 21);
    const std::vector<float> reference = renderFresh(module, input);
    for (float rate : {8000.0f, 11025.0f, 16000.0f, 22050.0f, 32000.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f,
                       176400.0f, 192000.0f}) {
        PluginInstance plugin(module);
        plugin.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        plugin.dispatch(effSetBlockSize, 0, 512);
        AudioThread audio(plugin);
        audio.resume();
        EXPECT_EQ(firstBitDifference(render(audio, input), reference), -1) << rate << " Hz";
    }
}

TEST_F(Stream, ProcessAndProcessReplacingInTurnFeedOneStream) {
    const std::vector<float> input = noise(20000, 0.5f, 31);
    const std::vector<int32_t> sizes = {100, 1, 512, 33, 0, 4096, 257};
    // The chain's own output y: at gain 0.5 the factor is exactly 1.
    const std::vector<float> chain = renderFresh(module, input, sizes);
    const std::vector<float> bus = noise(input.size(), 0.25f, 32);  // what the host's buffer already holds

    for (float gain : {0.5f, 0.8f}) {
        PluginInstance plugin(module);
        AudioThread audio(plugin);
        audio.setParameter(0, gain);
        audio.resume();
        const double factor = outputFactorOf(gain);
        std::vector<float> output = bus;
        std::vector<float> expected(input.size());
        std::size_t done = 0;
        for (std::size_t turn = 0; done < input.size(); ++turn) {
            const std::size_t frames = std::min<std::size_t>(sizes[turn % sizes.size()], input.size() - done);
            const Entry entry = turn % 2 == 0 ? Entry::replacing : Entry::accumulating;
            for (std::size_t i = done; i < done + frames; ++i) {
                // Replacing overwrites with y * g; accumulating adds y * g to what is there, the
                // product and the sum formed in double and rounded once.
                expected[i] = entry == Entry::replacing ? static_cast<float>(chain[i] * factor)
                                                        : static_cast<float>(bus[i] + chain[i] * factor);
            }
            audio.processWith(entry, input.data() + done, output.data() + done, static_cast<int32_t>(frames));
            done += frames;
        }
        EXPECT_EQ(firstValueDifference(output, expected), -1) << "gain " << gain;
    }
}

// The state a host expects after its calls: each program keeps its own values.
struct ProgramModel {
    std::vector<float> gains;
    std::vector<float> depths;
    int current = 0;
};

TEST_F(Stream, AutomationAndProgramChangesBetweenEveryBlockApplyFromTheNextBlockOn) {
    const std::vector<float> input = noise(60000, 0.5f, 41);
    const std::vector<int32_t> sizes = randomSizes(42, 97);
    const std::vector<float> chain = renderFresh(module, input, {4096});  // gain 0.5: factor 1

    PluginInstance plugin(module);
    AudioThread audio(plugin);
    const auto programs = static_cast<int>(plugin.effect()->numPrograms);
    ASSERT_GE(programs, 2);
    ProgramModel model;
    for (int p = 0; p < programs; ++p) {  // the programs as the effect starts them
        audio.setProgram(p);
        model.gains.push_back(audio.getParameter(0));
        model.depths.push_back(audio.getParameter(1));
    }
    audio.setProgram(0);
    audio.resume();

    std::mt19937 generator(43);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> action(0, 4);
    std::uniform_int_distribution<int> program(-2, programs + 1);  // some out of range: ignored
    std::vector<float> output(input.size());
    std::vector<float> expected(input.size());
    std::size_t done = 0;
    for (std::size_t turn = 0; done < input.size(); ++turn) {
        switch (action(generator)) {
            case 0:
            case 1: {
                const float value = unit(generator);
                audio.setParameter(0, value);
                model.gains[static_cast<std::size_t>(model.current)] = value;
                break;
            }
            case 2: {
                const float value = unit(generator);
                audio.setParameter(1, value);
                model.depths[static_cast<std::size_t>(model.current)] = value;
                break;
            }
            default: {
                const int p = program(generator);
                audio.setProgram(p);
                if (p >= 0 && p < programs) model.current = p;
                break;
            }
        }
        const auto current = static_cast<std::size_t>(model.current);
        ASSERT_EQ(plugin.dispatch(effGetProgram), model.current);
        ASSERT_EQ(audio.getParameter(0), model.gains[current]);
        ASSERT_EQ(audio.getParameter(1), model.depths[current]);
        const std::size_t frames = std::min<std::size_t>(sizes[turn % sizes.size()], input.size() - done);
        audio.processReplacing(input.data() + done, output.data() + done, static_cast<int32_t>(frames));
        const float factor = outputFactorOf(model.gains[current]);  // Depth changes nothing
        for (std::size_t i = done; i < done + frames; ++i) expected[i] = chain[i] * factor;
        done += frames;
    }
    EXPECT_EQ(firstBitDifference(output, expected), -1);
}

TEST_F(Stream, SuspendAndResumeMidStreamStartTheStreamAfresh) {
    const std::vector<float> input = noise(30000, 0.5f, 51);
    PluginInstance plugin(module);
    AudioThread audio(plugin);
    audio.resume();
    std::size_t at = 0;
    for (std::size_t cut : {1u, 255u, 256u, 1000u, 1024u, 5001u, 3u}) {
        // Run past the cut, then a host stops and restarts the effect (announcing its settings
        // again while it is stopped, as hosts do).
        const std::vector<float> before(input.begin() + static_cast<long>(at),
                                        input.begin() + static_cast<long>(at + cut));
        render(audio, before, {97});
        audio.suspend();
        plugin.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
        plugin.dispatch(effSetBlockSize, 0, 1024);
        audio.resume();
        at += cut;
        const std::vector<float> after(input.begin() + static_cast<long>(at),
                                       input.begin() + static_cast<long>(at + 3000));
        EXPECT_EQ(firstBitDifference(render(audio, after, {333}), renderFresh(module, after, {333})), -1)
            << "after a suspend " << at << " samples in";
        at += after.size();
    }
}

// Values outside 0 to 1 are stored as given; indexes outside the two are ignored (they read 0). Either
// way the display text fits the buffer and, once the value is back to neutral, the stream is the
// reference's.
TEST_F(Stream, HostileParameterValuesAndIndexesDoNoLastingHarm) {
    const std::vector<float> input = noise(8192, 0.5f, 61);
    const std::vector<float> reference = renderFresh(module, input, {1024});
    const float hostile[] = {-1.0f,
                             -0.5f,
                             1.5f,
                             2.0f,
                             10.0f,
                             20.0f,
                             1000.0f,
                             1e30f,
                             -1e30f,
                             FLT_MAX,
                             -FLT_MAX,
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::denorm_min(),
                             -0.0f};
    for (int32_t index : {0, 1, -1, 2, 1000, INT_MAX, INT_MIN}) {
        const bool known = index == 0 || index == 1;
        for (float value : hostile) {
            SCOPED_TRACE(testing::Message() << "parameter " << index << " = " << value);
            PluginInstance plugin(module);
            AudioThread audio(plugin);
            audio.resume();
            std::vector<float> output(input.size());
            audio.processReplacing(input.data(), output.data(), 1024);

            audio.setParameter(index, value);
            const float stored = audio.getParameter(index);
            const float expected = known ? value : 0.0f;
            EXPECT_EQ(std::memcmp(&stored, &expected, sizeof value), 0) << "read back as " << stored;
            if (!known) {  // and the two parameters keep their values
                EXPECT_EQ(audio.getParameter(0), 0.5f);
                EXPECT_EQ(audio.getParameter(1), 0.5f);
            }
            char text[64];
            std::memset(text, 0x7f, sizeof text);
            plugin.dispatch(effGetParamDisplay, index, 0, text);
            EXPECT_EQ(std::memchr(text, '\0', kDisplayTextBytes) != nullptr, known);
            EXPECT_TRUE(std::all_of(text + kDisplayTextBytes, text + sizeof text, [](char c) { return c == 0x7f; }));
            audio.processReplacing(input.data() + 1024, output.data() + 1024, 1024);

            audio.setParameter(index, 0.5f);
            audio.processReplacing(input.data() + 2048, output.data() + 2048,
                                   static_cast<int32_t>(input.size() - 2048));
            const std::vector<float> tail(output.begin() + 2048, output.end());
            EXPECT_EQ(firstBitDifference(tail, std::vector<float>(reference.begin() + 2048, reference.end())), -1);
        }
    }
}

}  // namespace
}  // namespace validator
