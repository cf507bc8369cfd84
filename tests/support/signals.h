// Seeded test signals and bit-exact comparison, shared by the tests of every layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace test_support {

/// Reproducible uniform noise in [-1, 1], the same on every platform (the standard library's
/// distributions are not).
class Noise {
public:
    explicit Noise(uint32_t seed) : engine(seed) {}
    float next() { return static_cast<float>(engine() / 4294967295.0 * 2.0 - 1.0); }
    std::vector<float> block(std::size_t length);

private:
    std::mt19937 engine;
};

/// `length` samples of Noise(seed), scaled to [-amplitude, amplitude].
std::vector<float> noise(std::size_t length, float amplitude, uint32_t seed);

/// Index of the first sample whose bits differ (+0 and -0 differ too), or -1 when none does.
/// Vectors of different lengths differ at the shorter length.
long firstBitDifference(const std::vector<float>& a, const std::vector<float>& b);

}  // namespace test_support
