// Every block size a host may use, from 1 to 4096 samples, each once in a shuffled order, with empty
// calls between them: 8.4 million samples. Its own binary, labelled slow, so that the sanitizer run
// (where it would take a minute) leaves it out; the stream tests there cut streams at random sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "validator/validator_support.h"

namespace validator {
namespace {

TEST(BlockSizes, EveryBlockSizeFromOneTo4096WritesExactlyItsBlockAndContinuesTheStream) {
    LoadedModule module;
    std::vector<int32_t> sizes(4096);
    std::iota(sizes.begin(), sizes.end(), 1);
    std::shuffle(sizes.begin(), sizes.end(), std::mt19937(13));
    const std::size_t total = std::accumulate(sizes.begin(), sizes.end(), std::size_t{0});
    const std::vector<float> input = noise(total, 0.5f, 14);
    const std::vector<float> reference = renderFresh(module, input, {4096});

    PluginInstance plugin(module);
    AudioThread audio(plugin);
    audio.resume();
    constexpr float kGuard = 12345.0f;  // stands in the buffer past the block; must still stand after it
    constexpr std::size_t kGuardSamples = 16;
    std::vector<float> output(total);
    std::vector<float> block(4096 + kGuardSamples);
    std::size_t done = 0;
    long blocksWithStrayWrites = 0;
    for (int32_t size : sizes) {
        std::fill(block.begin(), block.end(), kGuard);
        audio.processReplacing(input.data() + done, block.data(), size);
        audio.processReplacing(input.data() + done, block.data(), 0);  // an empty call between blocks
        blocksWithStrayWrites += std::any_of(block.begin() + size, block.end(), [](float s) { return s != kGuard; });
        std::copy(block.begin(), block.begin() + size, output.begin() + static_cast<long>(done));
        done += static_cast<std::size_t>(size);
    }
    EXPECT_EQ(blocksWithStrayWrites, 0) << "samples written past the block";
    EXPECT_EQ(firstBitDifference(output, reference), -1);
}

}  // namespace
}  // namespace validator
