#include "spectral/kernel_passes.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "reference.h"
#include "spectral/spectral_processor.h"

namespace {

using spectral::kernelPasses;
using spectral::KernelPasses;
using spectral::RealFft;
using spectral::SpectralBin;

const KernelPasses& scalarPasses() { return kernelPasses(RealFft::Kernel::Scalar); }

// Noise bins with some whose squares leave the float range (the sum is in double, so they must
// not overflow) and some below it, in a count that is not a multiple of any vector width.
std::vector<SpectralBin> testBins() {
    reference::Noise noise(31);
    std::vector<SpectralBin> bins(513);
    for (std::size_t k = 0; k < bins.size(); ++k) {
        const float scale = (k % 7 == 0) ? 3e30f : (k % 11 == 0) ? 3e-30f : 100.0f;
        bins[k] = {scale * noise.next(), scale * noise.next()};
    }
    bins[1] = {0.0f, 0.0f};
    bins[2] = {-0.0f, -0.0f};
    bins[3] = {FLT_MAX, FLT_MAX};
    return bins;
}

template <class T>
bool sameBits(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

TEST(KernelPasses, MagnitudesAreExactOnSmallValuesAndTouchOnlyTheirBins) {
    std::vector<SpectralBin> bins{{9.0f, 9.0f}, {3.0f, 4.0f},  {3.0f, -4.0f}, {-2.0f, 0.0f},
                                  {0.0f, 0.0f}, {0.0f, -1.5f}, {9.0f, 9.0f}};
    scalarPasses().magnitudes(bins.data() + 1, 5);
    const float expected[] = {9.0f, 5.0f, 5.0f, 2.0f, 0.0f, 1.5f, 9.0f};
    for (std::size_t k = 0; k < bins.size(); ++k) {
        EXPECT_EQ(bins[k].re, expected[k]) << "bin " << k;  // exact: small integers and halves
        EXPECT_EQ(bins[k].im, (k == 0 || k == 6) ? 9.0f : 0.0f) << "bin " << k;
    }
}

TEST(KernelPasses, MagnitudesSumAndRootInDoubleWithOneRoundingToFloat) {
    const std::vector<SpectralBin> in = testBins();
    std::vector<SpectralBin> bins = in;
    scalarPasses().magnitudes(bins.data(), static_cast<int32_t>(bins.size()));
    for (std::size_t k = 0; k < bins.size(); ++k) {
        const double re = in[k].re;
        const double im = in[k].im;
        EXPECT_EQ(bins[k].re, static_cast<float>(std::sqrt(re * re + im * im))) << "bin " << k;
        EXPECT_EQ(bins[k].im, 0.0f) << "bin " << k;
    }
    // A float sum would overflow here; the double one does not.
    EXPECT_TRUE(std::isinf(bins[3].re)) << "sqrt(2) * FLT_MAX rounds to infinity as a float";
    EXPECT_FALSE(std::isinf(bins[7].re));
}

// Every kernel's build of each elementwise pass gives the scalar build's bits, on lengths and
// ring positions that are no multiple of any vector width.
TEST(KernelPasses, EveryKernelsFramePassesGiveTheScalarBits) {
    constexpr int32_t n = 1024;
    constexpr int32_t hop = n / 4;
    reference::Noise noise(32);
    const std::vector<float> window = noise.block(n);
    const std::vector<float> ring = noise.block(n);
    const std::vector<float> spectrum = noise.block(n);
    const std::vector<float> accum = noise.block(n);
    const std::vector<SpectralBin> bins = testBins();
    const KernelPasses& scalar = scalarPasses();
    for (RealFft::Kernel kernel : {RealFft::Kernel::Sse2, RealFft::Kernel::Avx2, RealFft::Kernel::Avx512}) {
        if (!RealFft::supports(kernel)) continue;
        const KernelPasses& wide = kernelPasses(kernel);
        ASSERT_EQ(wide.kernel, kernel);
        for (int32_t firstRun : {0, 3, 256, 511, n - hop}) {
            const int32_t writePos = n - firstRun == n ? 0 : n - firstRun;
            std::vector<float> expected(n);
            std::vector<float> actual(n);
            scalar.windowFromRing(expected.data(), window.data(), ring.data(), writePos, firstRun, n);
            wide.windowFromRing(actual.data(), window.data(), ring.data(), writePos, firstRun, n);
            EXPECT_TRUE(sameBits(actual, expected)) << "window, first run " << firstRun;
            expected = accum;
            actual = accum;
            scalar.overlapAdd(expected.data(), window.data(), spectrum.data(), writePos, firstRun, hop, n);
            wide.overlapAdd(actual.data(), window.data(), spectrum.data(), writePos, firstRun, hop, n);
            EXPECT_TRUE(sameBits(actual, expected)) << "overlap-add, first run " << firstRun;
        }
        std::vector<SpectralBin> expectedBins(n / 2 + 1);
        std::vector<SpectralBin> actualBins(n / 2 + 1);
        scalar.spectrumToBins(expectedBins.data(), spectrum.data(), n / 2);
        wide.spectrumToBins(actualBins.data(), spectrum.data(), n / 2);
        EXPECT_TRUE(sameBits(actualBins, expectedBins)) << "unpack";
        std::vector<float> expected(n);
        std::vector<float> actual(n);
        scalar.binsToSpectrum(expected.data(), bins.data(), n / 2);
        wide.binsToSpectrum(actual.data(), bins.data(), n / 2);
        EXPECT_TRUE(sameBits(actual, expected)) << "pack";
        expectedBins = bins;
        actualBins = bins;
        scalar.magnitudes(expectedBins.data(), static_cast<int32_t>(bins.size()));
        wide.magnitudes(actualBins.data(), static_cast<int32_t>(bins.size()));
        EXPECT_TRUE(sameBits(actualBins, expectedBins)) << "magnitudes";
    }
}

}  // namespace
