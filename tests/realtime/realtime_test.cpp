// The audio path must not allocate, lock or evaluate trigonometry. This binary links the real-time
// probe, which interposes the C library's allocator, the mutex lock and the trigonometric
// functions, counts the calls made while the real module processes audio, and expects none.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "support/realtime_probe.h"
#include "support/test_host.h"

namespace {

using realtime_probe::Counts;
using realtime_probe::whileWatching;

TEST(RealTime, TheCountersSeeWhatTheyAreMeantToSee) {
    if (!realtime_probe::available()) {
        GTEST_SKIP() << "the sanitizer's allocator cannot be interposed";
    }
    volatile double angle = 0.5;
    // Called through volatile pointers so the compiler cannot fold the calls away.
    void* (*volatile allocate)(size_t) = malloc;
    void (*volatile release)(void*) = free;
    const Counts counts = whileWatching([&] {
        release(allocate(100));
        pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
        pthread_mutex_lock(&mutex);
        pthread_mutex_unlock(&mutex);
        angle = std::sin(angle) + std::cos(angle);
    });
    EXPECT_GE(counts.allocations, 1);
    EXPECT_GE(counts.releases, 1);
    EXPECT_GE(counts.locks, 1);
    EXPECT_GE(counts.trigonometry, 2);
}

TEST(RealTime, ProcessingAllocatesNothingLocksNothingAndComputesNoTrigonometry) {
    if (!realtime_probe::available()) {
        GTEST_SKIP() << "the sanitizer's allocator cannot be interposed";
    }
    RecordingHost host;
    LoadedModule module;
    PluginInstance plugin(module);
    plugin.dispatch(effMainsChanged, 0, 1);
    std::vector<float> input(8192);
    for (size_t i = 0; i < input.size(); ++i) {
        input[i] = static_cast<float>((i * 7919 % 1000) / 1000.0 - 0.5);  // no trigonometry here either
    }
    std::vector<float> output(input.size());

    const Counts counts = whileWatching([&] {
        for (int32_t block : {1, 64, 100, 256, 4096}) {
            plugin.processReplacing(input.data(), output.data(), block);
            plugin.process(input.data(), output.data(), block);
            plugin.setParameter(0, 0.3f);  // a parameter change between blocks is on the audio thread too
        }
        plugin.dispatch(effMainsChanged, 0, 0);
        plugin.dispatch(effMainsChanged, 0, 1);
        plugin.processReplacing(input.data(), output.data(), static_cast<int32_t>(input.size()));
    });
    EXPECT_EQ(counts.allocations, 0);
    EXPECT_EQ(counts.locks, 0);
    EXPECT_EQ(counts.trigonometry, 0);
}

}  // namespace
