// Several instances, each created, processed and closed on a thread of its own at the same time.
// Instances share no mutable state: each thread's output must equal the same work done alone,
// and the ThreadSanitizer build of this binary (scripts/tsan) must report nothing.
#include <gtest/gtest.h>

#include <atomic>
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
        EXPECT_EQ(firstBitDifference(together[static_cast<std::size_t>(which)], alone[static_cast<std::size_t>(which)]), -1)
            << "thread " << which;
    }
}

}  // namespace
}  // namespace validator
