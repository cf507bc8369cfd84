// Several instances, each created, processed and closed on a thread of its own at the same time.
// Instances share no mutable state: each thread's output must equal the same work done alone,
// and the ThreadSanitizer build of this binary (scripts/tsan) must report nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "validator/validator_support.h"

namespace validator {
namespace {

constexpr int kThreads = 4;
constexpr std::size_t kSamples = 64 * kFrameSamples;

// One thread's work: its own input and gain, automation every block, a suspend half-way.
std::vector<float> work(const LoadedModule& module, int which) {
    const std::vector<float> input = noise(kSamples, 0.5f, 200 + static_cast<uint32_t>(which));
    const int32_t block = 64 + 100 * which;
    PluginInstance plugin(module);
    AudioThread audio(plugin);
    audio.resume();
    std::vector<float> output(kSamples);
    std::size_t done = 0;
    for (int turn = 0; done < kSamples; ++turn) {
        audio.setParameter(0, static_cast<float>((turn + which) % 11) / 10.0f);
        audio.setParameter(1, static_cast<float>(turn % 5) / 4.0f);
        if (turn == 40) {
            audio.suspend();
            audio.resume();
        }
        const std::size_t frames = std::min<std::size_t>(static_cast<std::size_t>(block), kSamples - done);
        audio.processWith(turn % 3 == 0 ? Entry::accumulating : Entry::replacing, input.data() + done,
                          output.data() + done, static_cast<int32_t>(frames));
        done += frames;
    }
    return output;
}

TEST(Concurrency, InstancesOnTheirOwnThreadsGiveWhatTheSameWorkGivesAlone) {
    LoadedModule module;
    std::vector<std::vector<float>> alone;
    for (int which = 0; which < kThreads; ++which) {
        alone.push_back(work(module, which));
    }

    std::vector<std::vector<float>> together(kThreads);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int which = 0; which < kThreads; ++which) {
        threads.emplace_back([&, which] {
            // Start together, so that creation, processing and closing overlap.
            ready.fetch_add(1);
            while (ready.load() < kThreads) {
                std::this_thread::yield();
            }
            together[static_cast<std::size_t>(which)] = work(module, which);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int which = 0; which < kThreads; ++which) {
        EXPECT_EQ(firstBitDifference(together[static_cast<std::size_t>(which)], alone[static_cast<std::size_t>(which)]),
                  -1)
            << "thread " << which;
    }
}

// What a host's interface or automation thread does while its audio thread processes: any call
// but processing, drawn at random.
void interfaceCall(const PluginInstance& plugin, std::mt19937& random) {
    char name[kProgramNameBytes] = "Renamed";
    const auto pick = [&](uint32_t count) { return static_cast<int32_t>(random() % count); };
    switch (pick(8)) {
        case 0:
        case 6:
        case 7: plugin.dispatch(effMainsChanged, 0, pick(2)); break;
        case 1: plugin.setParameter(pick(2), static_cast<float>(pick(11)) / 10.0f); break;
        case 2: plugin.dispatch(effSetProgram, 0, pick(4)); break;
        case 3: plugin.dispatch(effSetProgramName, 0, 0, name); break;
        case 4: plugin.text(effGetParamDisplay + pick(3), pick(2)); break;
        default: plugin.text(pick(2) == 0 ? effGetProgramName : effGetProgramNameIndexed, pick(4)); break;
    }
}

// A host that breaks the one-thread rule: its interface thread suspends, resumes, automates,
// switches and renames programs and reads every text while the audio thread is inside
// processReplacing. A spoiled block during the race is allowed; touching memory outside the
// effect's buffers is not (the sanitizer builds of this test see that). Once the interface thread
// is done, the output is finite, and after one more suspend the effect gives what a new one gives.
TEST(Concurrency, CallsFromAnInterfaceThreadDuringProcessingCorruptNothing) {
    constexpr long kInterfaceCalls = 300000;
    constexpr long kOverlappingBlocks = 100;
    LoadedModule module;
    PluginInstance plugin(module);
    plugin.dispatch(effMainsChanged, 0, 1);
    std::atomic<bool> audioStarted{false};
    std::atomic<bool> interfaceDone{false};
    std::atomic<long> blocks{0};
    // The calls go on until the audio thread has processed its share of blocks beside them, so the
    // two always overlap: under an emulator the transforms slow down far more than these calls.
    std::thread interface([&] {
        std::mt19937 random(11);
        while (!audioStarted.load()) std::this_thread::yield();
        for (long call = 0; call < kInterfaceCalls || blocks.load() <= kOverlappingBlocks; ++call) {
            interfaceCall(plugin, random);
        }
        interfaceDone = true;
    });

    const std::vector<float> input = noise(16 * kFrameSamples, 0.5f, 3);
    std::vector<float> output(input.size());
    AudioThread audio(plugin);
    std::mt19937 random(5);
    std::uniform_int_distribution<int32_t> blockSize(1, 2048);
    audioStarted = true;
    for (std::size_t position = 0; !interfaceDone.load(); ++blocks) {
        const auto frames = static_cast<std::size_t>(blockSize(random));
        if (position + frames > input.size()) position = 0;
        audio.processReplacing(input.data() + position, output.data() + position, static_cast<int32_t>(frames));
        position += frames;
    }
    interface.join();

    const std::vector<float> after = render(audio, input);
    for (std::size_t i = 2 * kFrameSamples; i < after.size(); ++i) {
        ASSERT_TRUE(std::isfinite(after[i])) << "sample " << i << " two frames after the race";
    }
    audio.setProgram(0);
    audio.setParameter(0, 0.5f);
    audio.suspend();
    audio.resume();
    EXPECT_EQ(firstBitDifference(render(audio, input), renderFresh(module, input)), -1);
}

}  // namespace
}  // namespace validator
