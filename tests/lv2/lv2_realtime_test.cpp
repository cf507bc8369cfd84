// What the LV2 shared object promises a real-time host: instantiate allocates everything, and
// returns no instance (leaking nothing) when any allocation fails; run allocates nothing, takes no
// lock and evaluates no trigonometry. This binary links the real-time probe (see its header).
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "lv2/lv2_host.h"
#include "support/realtime_probe.h"
#include "support/signals.h"

namespace {

using realtime_probe::Counts;

TEST(Lv2RealTime, InstantiateGivesNoInstanceAndKeepsNothingWhenAnyAllocationFails) {
    if (!realtime_probe::available()) {
        GTEST_SKIP() << "the sanitizer's allocator cannot be interposed";
    }
    const Lv2Module module;
    const LV2_Descriptor* descriptor = module.descriptor();
    const LV2_Feature* const noFeatures[] = {nullptr};
    const auto instantiateRefusing = [&](int granted, Counts& counts) {
        realtime_probe::beginWatch();
        realtime_probe::refuseAllocationAfter(granted);
        LV2_Handle handle = descriptor->instantiate(descriptor, 44100.0, "/nonexistent/", noFeatures);
        counts = realtime_probe::endWatch();
        return handle;
    };
    // The first exception a thread sees also allocates the C++ runtime's state for the thread,
    // which lives as long as the thread: that failure is not counted.
    Counts counts;
    ASSERT_EQ(instantiateRefusing(0, counts), nullptr);
    // Refuse the first allocation, then the second, and so on, until none is left to refuse.
    for (int granted = 0;; ++granted) {
        SCOPED_TRACE(testing::Message() << granted << " allocations granted");
        ASSERT_LT(granted, 1000) << "instantiate never gets past the refusal";
        LV2_Handle handle = instantiateRefusing(granted, counts);
        if (handle != nullptr) {
            EXPECT_EQ(counts.allocations, granted) << "no allocation was left to refuse";
            std::printf("instantiate makes %d allocations; each one refused gave no instance\n", granted);
            descriptor->cleanup(handle);
            break;
        }
        // Every allocation but the refused one is given back (the exception's own block, freed
        // when it is caught, among them).
        EXPECT_EQ(counts.releases, counts.allocations - 1) << counts.allocations << " allocations";
    }
}

TEST(Lv2RealTime, RunAllocatesNothingLocksNothingAndComputesNoTrigonometry) {
    if (!realtime_probe::available()) {
        GTEST_SKIP() << "the sanitizer's allocator cannot be interposed";
    }
    const Lv2Module module;
    Lv2Instance plugin(module);
    const std::vector<float> input = test_support::noise(8192, 0.5f, 3);
    std::vector<float> output(input.size());
    const Counts counts = realtime_probe::whileWatching([&] {
        // Every control moving, so that the ramps and the tuned frames run too.
        for (std::size_t start = 0; start < input.size(); start += 333) {
            plugin.gainDb = start % 2 == 0 ? -7.0f : 12.5f;
            plugin.pitch = start % 3 == 0 ? 0.0f : -13.5f + static_cast<float>(start % 25);
            plugin.mix = start % 5 == 0 ? 100.0f : static_cast<float>(start % 101);
            const auto frames = static_cast<uint32_t>(std::min<std::size_t>(333, input.size() - start));
            plugin.run(input.data() + start, output.data() + start, frames);
        }
        plugin.restart();
        plugin.run(input.data(), output.data(), 0);
    });
    EXPECT_EQ(counts.allocations, 0);
    EXPECT_EQ(counts.releases, 0);
    EXPECT_EQ(counts.locks, 0);
    EXPECT_EQ(counts.trigonometry, 0);
}

}  // namespace
