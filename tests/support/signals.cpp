#include "support/signals.h"

#include <algorithm>
#include <cstring>

namespace test_support {

std::vector<float> Noise::block(std::size_t length) {
    std::vector<float> samples(length);
    for (float& sample : samples) {
        sample = next();
    }
    return samples;
}

std::vector<float> noise(std::size_t length, float amplitude, uint32_t seed) {
    std::vector<float> samples = Noise(seed).block(length);
    for (float& sample : samples) {
        sample *= amplitude;
    }
    return samples;
}

long firstBitDifference(const std::vector<float>& a, const std::vector<float>& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) {
            return static_cast<long>(i);
        }
    }
    return a.size() == b.size() ? -1 : static_cast<long>(common);
}

}  // namespace test_support
