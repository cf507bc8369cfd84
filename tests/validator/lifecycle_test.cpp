// Instances come and go as a host makes them: a thousand in a row, fifty at once, closed in any
// order. Nothing may leak, and no instance may notice the others.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "validator/validator_support.h"

namespace validator {
namespace {

TEST(Lifecycle, AThousandInstancesOpenedAndClosedInARowLeaveNoBlockBehind) {
    LoadedModule module;
    const PluginMainProc entry = module.entry();
    const std::vector<float> input = noise(600, 0.5f, 1);  // two frames computed: past the 513th call
    std::vector<float> output(input.size());
    float* inputs[] = {const_cast<float*>(input.data())};
    float* outputs[] = {output.data()};
    auto openUseAndClose = [&] {
        // The host callback answers the version query without recording it, so the host side
        // allocates nothing while the probe watches.
        AEffect* effect = entry(RecordingHost::callback);
        ASSERT_NE(effect, nullptr);
        effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
        effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
        effect->processReplacing(effect, inputs, outputs, static_cast<int32_t>(input.size()));
        effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
        EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
    };
    openUseAndClose();  // anything the runtime sets up once on first use is not a leak

    const realtime_probe::Counts counts = realtime_probe::whileWatching([&] {
        for (int i = 0; i < 1000; ++i) {
            openUseAndClose();
        }
    });
    if (realtime_probe::available()) {
        EXPECT_GE(counts.allocations, 1000) << "each instance allocates its buffers: the probe must see them";
    }
    EXPECT_EQ(counts.allocations, counts.releases) << "blocks allocated and never released";
}

// Hosts load a module, ask it who it is and unload it again, on every scan. The module carries its
// own C++ runtime: whatever that sets up when the module is loaded must go when it is unloaded.
TEST(Lifecycle, LoadingAndUnloadingTheModuleLeavesNoBlockBehind) {
    auto loadAskAndUnload = [] {
        LoadedModule module;
        PluginInstance plugin(module);
        EXPECT_EQ(plugin.text(effGetEffectName), "Tinvoicer");
    };
    // The dynamic loader keeps a block of its own over each of the first two loads: what it sets
    // up once per process is no leak. From then on every cycle must give back all it took.
    for (int i = 0; i < 3; ++i) {
        loadAskAndUnload();
    }
    const realtime_probe::Counts counts = realtime_probe::whileWatching([&] {
        for (int i = 0; i < 20; ++i) {
            loadAskAndUnload();
        }
    });
    EXPECT_EQ(counts.allocations, counts.releases) << "blocks allocated and never released";
}

TEST(Lifecycle, FiftyInstancesSideBySideKeepTheirOwnStreamsWhileOthersClose) {
    constexpr int kInstances = 50;
    constexpr int32_t kBlock = 300;  // not a divisor of the hop: blocks and frames drift apart
    constexpr int kBlocks = 40;
    LoadedModule module;

    std::vector<std::vector<float>> inputs;
    std::vector<float> gains;
    for (int i = 0; i < kInstances; ++i) {
        inputs.push_back(noise(kBlock * kBlocks, 0.5f, 100 + static_cast<uint32_t>(i)));
        gains.push_back(static_cast<float>(i) / (kInstances - 1));
    }

    std::vector<std::unique_ptr<PluginInstance>> plugins;
    std::vector<std::unique_ptr<AudioThread>> threads;
    for (int i = 0; i < kInstances; ++i) {
        plugins.push_back(std::make_unique<PluginInstance>(module));
        threads.push_back(std::make_unique<AudioThread>(*plugins.back()));
        threads.back()->setParameter(0, gains[i]);
        threads.back()->resume();
    }

    // Half of them close, in shuffled order, one after each round of blocks half-way through.
    std::vector<int> closing(kInstances);
    for (int i = 0; i < kInstances; ++i) closing[i] = i;
    std::shuffle(closing.begin(), closing.end(), std::mt19937(7));
    closing.resize(kInstances / 2);

    std::vector<std::vector<float>> outputs(kInstances, std::vector<float>(kBlock * kBlocks, 0.0f));
    for (int block = 0; block < kBlocks; ++block) {
        for (int i = 0; i < kInstances; ++i) {
            if (threads[i] != nullptr) {
                const std::size_t at = static_cast<std::size_t>(block) * kBlock;
                threads[i]->processReplacing(inputs[i].data() + at, outputs[i].data() + at, kBlock);
            }
        }
        const int round = block - kBlocks / 4;
        if (round >= 0 && round < static_cast<int>(closing.size())) {
            const int victim = closing[static_cast<std::size_t>(round)];
            threads[victim].reset();
            EXPECT_EQ(plugins[victim]->close(), 1);
            plugins[victim].reset();
        }
    }

    for (int i = 0; i < kInstances; ++i) {
        if (plugins[i] == nullptr) continue;
        PluginInstance alone(module);
        AudioThread audio(alone);
        audio.setParameter(0, gains[i]);
        audio.resume();
        EXPECT_EQ(firstBitDifference(outputs[i], render(audio, inputs[i], {kBlock})), -1)
            << "instance " << i << " differs from the same work done alone";
    }
}

}  // namespace
}  // namespace validator
