// Seeded test signals and bit-exact comparison, shared by the tests of every layer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace test_support {

/// Reproducible uniform noise in [-1, 1], the same on every platform (the standard library's
/// distributions are not).
class Noise {
public:
    explicit Noise(uint32_t seed) : engine(seed) {}
    float next() { return static_cast<float>(engine() / 4294967295.0 * 2.0 - 1.0); }
    std::vector<float> block(std::size_t length, float amplitude = 1.0f) {
        std::vector<float> samples(length);
        for (float& sample : samples) sample = amplitude * next();
        return samples;
    }

private:
    std::mt19937 engine;
};

/// `length` samples of Noise(seed), scaled to [-amplitude, amplitude].
inline std::vector<float> noise(std::size_t length, float amplitude, uint32_t seed) {
    return Noise(seed).block(length, amplitude);
}

/// Index of the first sample whose bits differ (+0 and -0 differ too), or -1 when none does.
/// Vectors of different lengths differ at the shorter length.
inline long firstBitDifference(const std::vector<float>& a, const std::vector<float>& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<long>(i);
    }
    return a.size() == b.size() ? -1 : static_cast<long>(common);
}

}  // namespace test_support
