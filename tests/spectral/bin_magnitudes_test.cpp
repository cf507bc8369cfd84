#include "spectral/bin_magnitudes.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "reference.h"

namespace {

using spectral::replaceByMagnitudes;
using spectral::replaceByMagnitudesAvx2;
using spectral::replaceByMagnitudesBaseline;
using spectral::SpectralBin;

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

bool sameBits(const SpectralBin& a, const SpectralBin& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(BinMagnitudes, TurnsEachBinIntoItsMagnitudeWithZeroImaginaryPart) {
    std::vector<SpectralBin> bins{{3.0f, 4.0f}, {3.0f, -4.0f}, {-2.0f, 0.0f}, {0.0f, 0.0f}, {0.0f, -1.5f}};
    replaceByMagnitudes(bins.data(), static_cast<int32_t>(bins.size()));
    const float expected[] = {5.0f, 5.0f, 2.0f, 0.0f, 1.5f};
    for (std::size_t k = 0; k < bins.size(); ++k) {
        EXPECT_EQ(bins[k].re, expected[k]) << "bin " << k;  // exact: small integers and halves
        EXPECT_EQ(bins[k].im, 0.0f) << "bin " << k;
    }
}

TEST(BinMagnitudes, SumsAndRootsInDoubleWithOneRoundingToFloat) {
    const std::vector<SpectralBin> in = testBins();
    std::vector<SpectralBin> bins = in;
    replaceByMagnitudesBaseline(bins.data(), static_cast<int32_t>(bins.size()));
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

TEST(BinMagnitudes, Avx2BuildGivesTheBaselineBits) {
    const std::vector<SpectralBin> in = testBins();
    std::vector<SpectralBin> expected = in;
    replaceByMagnitudesBaseline(expected.data(), static_cast<int32_t>(expected.size()));
    std::vector<SpectralBin> actual = in;
    if (!replaceByMagnitudesAvx2(actual.data(), static_cast<int32_t>(actual.size()))) {
        GTEST_SKIP() << "no AVX2 in this build or on this CPU";
    }
    for (std::size_t k = 0; k < in.size(); ++k) EXPECT_TRUE(sameBits(actual[k], expected[k])) << "bin " << k;
}

TEST(BinMagnitudes, TouchesOnlyTheBinsItIsGiven) {
    std::vector<SpectralBin> bins(9, SpectralBin{3.0f, 4.0f});
    replaceByMagnitudes(bins.data() + 1, 7);
    EXPECT_EQ(bins[0].re, 3.0f);
    EXPECT_EQ(bins[0].im, 4.0f);
    EXPECT_EQ(bins[8].re, 3.0f);
    EXPECT_EQ(bins[8].im, 4.0f);
    EXPECT_EQ(bins[7].re, 5.0f);
}

}  // namespace
