#include "spectral/real_fft.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "reference.h"
#include "support/allocation_probe.h"
#include "support/kernel_name.h"
#include "support/signals.h"

namespace {

using spectral::BitReverseTable;
using spectral::RealFft;
using spectral::TwiddleTable;

std::vector<float> forwardOf(const std::vector<float>& in) {
    RealFft fft(static_cast<int32_t>(in.size()));
    std::vector<float> out(in.size());
    fft.forward(out.data(), in.data());
    return out;
}

std::vector<float> inverseOf(const std::vector<float>& spec) {
    RealFft fft(static_cast<int32_t>(spec.size()));
    std::vector<float> out(spec.size());
    fft.inverse(out.data(), spec.data());
    return out;
}

// Norm of a half-complex spectrum as the norm of the full N-bin complex spectrum it stands for:
// bins 1..h-1 appear twice there (as m and N - m).
double fullSpectrumNorm(const std::vector<double>& spec) {
    const std::size_t n = spec.size();
    if (n < 2) return std::fabs(spec[0]);
    const std::size_t h = n / 2;
    double sum = spec[0] * spec[0] + spec[h] * spec[h];
    for (std::size_t m = 1; m < h; ++m) sum += 2.0 * (spec[m] * spec[m] + spec[h + m] * spec[h + m]);
    return std::sqrt(sum);
}

double signalNorm(const std::vector<double>& v) {
    double sum = 0.0;
    for (double s : v) sum += s * s;
    return std::sqrt(sum);
}

// Error bound of a radix-2 FFT in float (Higham, Accuracy and Stability of Numerical Algorithms,
// 2nd ed., Thm. 24.2): ||error||_2 <= k * eta / (1 - k * eta) * ||exact||_2 with
// eta = mu + gamma_4 * (sqrt(2) + mu), u = 2^-24 the unit roundoff and mu <= u the error of a
// stored twiddle, so eta is about 6.7u. The real stages here are not literally that complex
// algorithm, so the test allows 11u; the errors measured are an order of magnitude below.
double fftErrorBound(int32_t bits, double exactNorm) {
    const double eta = 11.0 * (FLT_EPSILON / 2.0);
    const double k = bits < 1 ? 1.0 : bits;
    return k * eta / (1.0 - k * eta) * exactNorm;
}

class RealFftBySize : public ::testing::TestWithParam<int32_t> {
protected:
    int32_t bits() const { return GetParam(); }
    int32_t length() const { return int32_t{1} << GetParam(); }
};

TEST_P(RealFftBySize, ForwardMatchesDoubleDft) {
    reference::Noise noise(1000u + static_cast<uint32_t>(bits()));
    const std::vector<float> in = noise.block(static_cast<std::size_t>(length()));
    const std::vector<float> out = forwardOf(in);
    const std::vector<double> exact = reference::halfComplexDft(reference::toDouble(in));

    std::vector<double> error(exact.size());
    for (std::size_t i = 0; i < exact.size(); ++i) error[i] = out[i] - exact[i];
    EXPECT_LE(fullSpectrumNorm(error), fftErrorBound(bits(), fullSpectrumNorm(exact)));
    // A wrong slot or sign is an error of the order of the values themselves, far above the bound.
}

TEST_P(RealFftBySize, InverseMatchesClosedForm) {
    reference::Noise noise(2000u + static_cast<uint32_t>(bits()));
    const std::vector<float> spec = noise.block(static_cast<std::size_t>(length()));
    const std::vector<float> out = inverseOf(spec);
    const std::vector<double> exact = reference::halfComplexSynthesis(reference::toDouble(spec));

    std::vector<double> error(exact.size());
    for (std::size_t i = 0; i < exact.size(); ++i) error[i] = out[i] - exact[i];
    EXPECT_LE(signalNorm(error), fftErrorBound(bits(), signalNorm(exact)));
}

TEST_P(RealFftBySize, UnitImpulseGivesOnesInTheRealSlots) {
    std::vector<float> in(static_cast<std::size_t>(length()), 0.0f);
    in[0] = 1.0f;
    const std::vector<float> out = forwardOf(in);
    const int32_t h = length() / 2;
    for (int32_t i = 0; i < length(); ++i) {
        // Every product with the impulse's zeros is exactly 0: the result is exact.
        EXPECT_EQ(out[i], (i <= h || length() == 1) ? 1.0f : 0.0f) << "slot " << i;
    }
}

TEST_P(RealFftBySize, ConstantGivesLengthInTheDcSlot) {
    const std::vector<float> out = forwardOf(std::vector<float>(static_cast<std::size_t>(length()), 1.0f));
    for (int32_t i = 0; i < length(); ++i) {
        // Integer partial sums and products with exact zeros: exact.
        EXPECT_EQ(out[i], i == 0 ? static_cast<float>(length()) : 0.0f) << "slot " << i;
    }
}

TEST_P(RealFftBySize, AlternatingSignsGiveLengthInTheNyquistSlot) {
    if (length() < 2) GTEST_SKIP() << "no Nyquist slot";
    std::vector<float> in(static_cast<std::size_t>(length()));
    for (int32_t t = 0; t < length(); ++t) in[t] = (t & 1) ? -1.0f : 1.0f;
    const std::vector<float> out = forwardOf(in);
    for (int32_t i = 0; i < length(); ++i) {
        EXPECT_EQ(out[i], i == length() / 2 ? static_cast<float>(length()) : 0.0f) << "slot " << i;
    }
}

TEST_P(RealFftBySize, RoundTripReturnsTheInput) {
    reference::Noise noise(3000u + static_cast<uint32_t>(bits()));
    const std::vector<float> in = noise.block(static_cast<std::size_t>(length()));
    RealFft fft(length());
    std::vector<float> spec(in.size());
    std::vector<float> back(in.size());
    fft.forward(spec.data(), in.data());
    fft.inverse(back.data(), spec.data());
    fft.rescale(back.data());
    ASSERT_EQ(fft.size(), length());  // the length the round trip used
    for (std::size_t t = 0; t < in.size(); ++t) {
        // About k float roundings on each way, relative to values of order 1: well under 1e-6.
        EXPECT_NEAR(back[t], in[t], 1e-6) << "sample " << t;
    }
}

TEST_P(RealFftBySize, TransformsLeaveTheirSourceUnchanged) {
    reference::Noise noise(4000u + static_cast<uint32_t>(bits()));
    const std::vector<float> in = noise.block(static_cast<std::size_t>(length()));
    const std::vector<float> spec = noise.block(static_cast<std::size_t>(length()));
    std::vector<float> inCopy = in;
    std::vector<float> specCopy = spec;
    RealFft fft(length());
    std::vector<float> out(in.size());
    fft.forward(out.data(), inCopy.data());
    fft.inverse(out.data(), specCopy.data());
    EXPECT_EQ(inCopy, in);
    EXPECT_EQ(specCopy, spec);
}

TEST_P(RealFftBySize, TransformsAllocateNothing) {
    RealFft fft(length());
    std::vector<float> a(static_cast<std::size_t>(length()), 0.5f);
    std::vector<float> b(a.size());
    AllocationProbe probe;
    fft.forward(b.data(), a.data());
    fft.inverse(a.data(), b.data());
    fft.rescale(a.data());
    const int allocations = probe.count();
    EXPECT_EQ(allocations, 0);
}

INSTANTIATE_TEST_SUITE_P(KFrom0To11, RealFftBySize, ::testing::Range(0, 12),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                             return "N" + std::to_string(1 << info.param);
                         });

// A cosine of bin m (1 <= m < h) lands as h in slot m; a sine of bin m lands as +h in slot h + m
// (the sign of the sine sum, the opposite of the e^(-i...) convention).
TEST(RealFft, SingleToneLandsInItsOwnSlotWithThePositiveSineSign) {
    constexpr int32_t n = 64;
    constexpr int32_t h = n / 2;
    for (int32_t m = 1; m < h; ++m) {
        for (bool sine : {false, true}) {
            std::vector<float> in(n);
            for (int32_t t = 0; t < n; ++t) {
                in[t] = static_cast<float>(sine ? reference::sinTurn(m, t, n) : reference::cosTurn(m, t, n));
            }
            const std::vector<float> out = forwardOf(in);
            const int32_t slot = sine ? h + m : m;
            for (int32_t i = 0; i < n; ++i) {
                // Float inputs and k = 6 stages of roundings on sums of up to 64 terms of order 1.
                EXPECT_NEAR(out[i], i == slot ? static_cast<float>(h) : 0.0f, 2e-5)
                    << (sine ? "sin" : "cos") << " bin " << m << " slot " << i;
            }
        }
    }
}

struct SmallCase {
    const char* name;
    std::vector<float> input;
    std::vector<float> spectrum;  // forward of input
    std::vector<float> inverse;   // inverse of spectrum: length times the input
};

class RealFftSmall : public ::testing::TestWithParam<SmallCase> {};

TEST_P(RealFftSmall, ForwardGivesTheKnownSpectrum) {
    const SmallCase& c = GetParam();
    const std::vector<float> out = forwardOf(c.input);
    ASSERT_EQ(out.size(), c.spectrum.size());
    // Small integer sums are exact; the irrational slots of N = 8 carry one rounding of sqrt(2)/2.
    for (std::size_t i = 0; i < out.size(); ++i) EXPECT_FLOAT_EQ(out[i], c.spectrum[i]) << "slot " << i;
}

TEST_P(RealFftSmall, InverseGivesLengthTimesTheInput) {
    const SmallCase& c = GetParam();
    const std::vector<float> out = inverseOf(c.spectrum);
    for (std::size_t i = 0; i < out.size(); ++i) EXPECT_FLOAT_EQ(out[i], c.inverse[i]) << "sample " << i;
}

const double root2 = std::sqrt(2.0);

INSTANTIATE_TEST_SUITE_P(KnownValues, RealFftSmall,
                         ::testing::Values(SmallCase{"N1", {0.375f}, {0.375f}, {0.375f}},
                                           SmallCase{"N2", {3.0f, 5.0f}, {8.0f, -2.0f}, {6.0f, 10.0f}},
                                           SmallCase{"N4", {1, 2, 3, 4}, {10, -2, -2, -2}, {4, 8, 12, 16}},
                                           SmallCase{"N8",
                                                     {1, 2, 3, 4, 5, 6, 7, 8},
                                                     {36, -4, -4, -4, -4, static_cast<float>(-4 * (1 + root2)), -4,
                                                      static_cast<float>(-4 * (root2 - 1))},
                                                     {8, 16, 24, 32, 40, 48, 56, 64}}),
                         [](const ::testing::TestParamInfo<SmallCase>& info) { return std::string(info.param.name); });

// A change detector of the platform's cos (which fills the twiddle table), not a correctness test:
// the exact bits of both transforms on fixed noise. Every float32 rounding, and so every bit,
// follows from the order of the stages and of the operations inside each butterfly; the values
// below were recorded from the scalar stages (checked against the double references above) with
// glibc's cos, and are the same at -O0, -O3 and -O3 -march=native. A reordered sum, a fused
// multiply-add or a vectorised variant that rounds differently changes them.
TEST(RealFft, ChangeDetectorOfThePlatformsCosGivesTheRecordedBits) {
    struct Case {
        int32_t length;
        uint64_t forwardBits;
        uint64_t inverseBits;
    };
    const Case cases[] = {
        {8, 0x31ef4c625cb8bf0full, 0xe79e07a96b492c00ull},
        {16, 0x2e7a641fb03eb200ull, 0x5eeb2cee5a138404ull},
        {1024, 0xe5d8139eb35886efull, 0x41392d64ca310986ull},
        {2048, 0x0bcecf725e5600e7ull, 0x111091d1cf089761ull},
    };
    for (const Case& c : cases) {
        reference::Noise noise(6000u + static_cast<uint32_t>(c.length));
        const std::vector<float> in = noise.block(static_cast<std::size_t>(c.length));
        const std::vector<float> spec = noise.block(static_cast<std::size_t>(c.length));
        RealFft fft(c.length);
        std::vector<float> forwardOut(in.size());
        std::vector<float> inverseOut(in.size());
        fft.forward(forwardOut.data(), in.data());
        fft.inverse(inverseOut.data(), spec.data());
        EXPECT_EQ(reference::bitFingerprint(forwardOut), c.forwardBits) << "N " << c.length;
        EXPECT_EQ(reference::bitFingerprint(inverseOut), c.inverseBits) << "N " << c.length;
    }
}

using test_support::firstBitDifference;
using test_support::kernelName;

// Each vector kernel and the shortest length its lanes fill: 16-point blocks in every lane of its
// first pass.
struct KernelCase {
    RealFft::Kernel kernel;
    int32_t minBits;
};
const KernelCase vectorKernels[] = {
    {RealFft::Kernel::Sse2, 6}, {RealFft::Kernel::Avx2, 7}, {RealFft::Kernel::Avx512, 8}};

std::vector<std::tuple<RealFft::Kernel, int32_t>> kernelLengths() {
    std::vector<std::tuple<RealFft::Kernel, int32_t>> cases;
    for (const KernelCase& c : vectorKernels) {
        for (int32_t bits = c.minBits; bits <= 11; ++bits) cases.emplace_back(c.kernel, bits);
    }
    return cases;
}

class RealFftKernel : public ::testing::TestWithParam<std::tuple<RealFft::Kernel, int32_t>> {
protected:
    RealFft::Kernel kernel() const { return std::get<0>(GetParam()); }
    int32_t bits() const { return std::get<1>(GetParam()); }
    int32_t length() const { return int32_t{1} << bits(); }
};

// A vector kernel runs the scalar butterflies several at a time; any change in the order of the
// float operations inside a butterfly, a fused multiply-add, a wrong lane, a wrong twiddle or a
// missed slot shows as a differing bit on random data.
TEST_P(RealFftKernel, GivesTheBitsOfTheScalarStages) {
    if (!RealFft::supports(kernel())) GTEST_SKIP() << kernelName(kernel()) << " is not in this build or on this CPU";
    RealFft scalar(length(), RealFft::Kernel::Scalar);
    RealFft fast(length(), kernel());
    ASSERT_EQ(fast.kernel(), kernel());
    reference::Noise noise(9000u + static_cast<uint32_t>(bits()));
    const std::size_t n = static_cast<std::size_t>(length());
    std::vector<float> expected(n);
    std::vector<float> actual(n);
    // Several inputs through one object: nothing may carry over from one call to the next. The
    // last carries denormals, infinities and a NaN into the butterflies. A NaN result's payload
    // and sign are not kept by the compiler (it may swap the operands of a sum), so NaNs are
    // compared as "a NaN here", every other value bit for bit.
    const float specials[] = {1e-40f, -1e-42f, INFINITY, -INFINITY, NAN, -0.0f};
    auto anyNanAsOne = [](std::vector<float>& v) {
        for (float& x : v) x = std::isnan(x) ? NAN : x;
    };
    for (int trial = 0; trial < 4; ++trial) {
        std::vector<float> in = noise.block(n);
        std::vector<float> spec = noise.block(n);
        if (trial == 3) {
            for (std::size_t i = 0; i < 6; ++i) in[(i * 37) % n] = spec[(i * 53 + 1) % n] = specials[i];
        }
        scalar.forward(expected.data(), in.data());
        fast.forward(actual.data(), in.data());
        anyNanAsOne(expected);
        anyNanAsOne(actual);
        EXPECT_EQ(firstBitDifference(actual, expected), -1) << "forward, trial " << trial;
        scalar.inverse(expected.data(), spec.data());
        fast.inverse(actual.data(), spec.data());
        anyNanAsOne(expected);
        anyNanAsOne(actual);
        EXPECT_EQ(firstBitDifference(actual, expected), -1) << "inverse, trial " << trial;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKernelUpToK11, RealFftKernel, ::testing::ValuesIn(kernelLengths()),
                         [](const ::testing::TestParamInfo<std::tuple<RealFft::Kernel, int32_t>>& info) {
                             return std::string(kernelName(std::get<0>(info.param))) + "_N" +
                                    std::to_string(1 << std::get<1>(info.param));
                         });

// kernel() tells the code that runs: a length too short for a kernel's lanes runs the widest
// narrower one that fills them, and a kernel this CPU lacks is never reported.
TEST(RealFft, ReportsTheKernelThatRuns) {
    EXPECT_EQ(RealFft(1024).kernel(), RealFft::fastestKernel());
    EXPECT_TRUE(RealFft::supports(RealFft::fastestKernel()));
    for (int32_t bits = 0; bits <= 11; ++bits) {
        EXPECT_EQ(RealFft(1 << bits, RealFft::Kernel::Scalar).kernel(), RealFft::Kernel::Scalar) << "N " << (1 << bits);
    }
    for (const KernelCase& c : vectorKernels) {
        if (!RealFft::supports(c.kernel)) {
            EXPECT_NE(RealFft(1 << 11, c.kernel).kernel(), c.kernel) << kernelName(c.kernel);
            continue;
        }
        for (int32_t bits = 0; bits <= 11; ++bits) {
            RealFft::Kernel expected = RealFft::Kernel::Scalar;
            for (const KernelCase& narrower : vectorKernels) {
                if (narrower.kernel <= c.kernel && RealFft::supports(narrower.kernel) && bits >= narrower.minBits) {
                    expected = narrower.kernel;
                }
            }
            EXPECT_EQ(RealFft(1 << bits, c.kernel).kernel(), expected) << kernelName(c.kernel) << " N " << (1 << bits);
        }
    }
}

TEST(RealFft, RescaleMultipliesByTheFloatReciprocalInPlace) {
    for (int32_t n : {1, 1024}) {
        RealFft fft(n);
        reference::Noise noise(5);
        std::vector<float> values = noise.block(static_cast<std::size_t>(n));
        const std::vector<float> before = values;
        EXPECT_EQ(fft.rescale(values.data()), values.data());
        const float scale = static_cast<float>(1.0 / n);
        for (int32_t i = 0; i < n; ++i) EXPECT_EQ(values[i], scale * before[i]) << "N " << n << " value " << i;
    }
}

TEST(BitReverseTable, ReversesTheLowBits) {
    const BitReverseTable three(3);
    const std::vector<int32_t> expected{0, 4, 2, 6, 1, 5, 3, 7};
    EXPECT_EQ(std::vector<int32_t>(three.indices.get(), three.indices.get() + 8), expected);

    for (int32_t k = 0; k <= 11; ++k) {
        const BitReverseTable table(k);
        for (int32_t i = 0; i < (1 << k); ++i) {
            int32_t reversed = 0;
            for (int32_t bit = 0; bit < k; ++bit) reversed |= ((i >> bit) & 1) << (k - 1 - bit);
            ASSERT_EQ(table.indices[i], reversed) << "k " << k << " entry " << i;
        }
    }
}

TEST(TwiddleTable, HoldsOneCosineSectionPerStage) {
    const TwiddleTable table(10);
    for (int32_t p = 3; p <= 9; ++p) {
        const int32_t q = 1 << (p - 1);
        for (int32_t j = 0; j < q; ++j) {
            const float expected = static_cast<float>(std::cos(j * reference::pi / (2 * q)));
            // Computed in double and rounded once; a different double path may differ by an ulp.
            EXPECT_NEAR(table.cosines[q - 4 + j], expected, FLT_EPSILON) << "p " << p << " j " << j;
            // Read backwards, a section gives the sines.
            if (j > 0) {
                EXPECT_NEAR(table.cosines[q - 4 + q - j], std::sin(j * reference::pi / (2 * q)), FLT_EPSILON);
            }
        }
    }
    EXPECT_EQ(table.cosines[0], 1.0f);
    EXPECT_EQ(table.cosines[507], static_cast<float>(std::cos(255 * reference::pi / 512)));
}

// The tables and the work array, by their byte sizes in the order they are built. The work array
// has 15 floats (60 bytes) more, to start on a 64-byte boundary wherever the allocator puts it.
TEST(RealFft, AllocatesItsTablesAndWorkArrayOnly) {
    struct Case {
        int32_t length;
        std::vector<std::size_t> bytes;
    };
    const std::vector<Case> cases{
        {1, {4}},
        {4, {16}},                        // no cosines, no work array
        {8, {32, 32 + 60}},               // no cosines up to N = 8
        {16, {64, 16, 64 + 60}},          // section 3 only
        {1024, {4096, 2032, 4096 + 60}},  // 1024 indices, 508 cosines, 1024 work floats
    };
    for (const Case& c : cases) {
        std::vector<std::size_t> sizes;
        {
            AllocationProbe probe;
            RealFft fft(c.length);
            sizes = probe.sizes();
        }
        EXPECT_EQ(sizes, c.bytes) << "N " << c.length;
    }
}

TEST(RealFft, AdjustsLengthsThatAreNotAPowerOfTwo) {
    struct Case {
        int32_t requested;
        int32_t used;
    };
    const Case cases[] = {
        {INT32_MIN, 1},
        {-1024, 1},
        {-1, 1},
        {0, 1},
        {1, 1},
        {2, 2},
        {3, 4},
        {5, 8},
        {1000, 1024},
        {1024, 1024},
        {1025, 2048},
        {RealFft::maxLength - 1, RealFft::maxLength},
        {RealFft::maxLength, RealFft::maxLength},
        {RealFft::maxLength + 1, RealFft::maxLength},
        {INT32_MAX, RealFft::maxLength},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RealFft::lengthFor(c.requested), c.used) << "requested " << c.requested;
    }
    for (const Case& c : cases) {
        if (c.used > 2048) continue;  // the DFT below is O(N^2)
        RealFft fft(c.requested);
        ASSERT_EQ(fft.size(), c.used) << "requested " << c.requested;
        // The object is a valid transform of the length it reports.
        reference::Noise noise(7);
        const std::vector<float> in = noise.block(static_cast<std::size_t>(c.used));
        std::vector<float> out(in.size());
        fft.forward(out.data(), in.data());
        const std::vector<double> exact = reference::halfComplexDft(reference::toDouble(in));
        std::vector<double> error(exact.size());
        for (std::size_t i = 0; i < exact.size(); ++i) error[i] = out[i] - exact[i];
        EXPECT_LE(fullSpectrumNorm(error),
                  fftErrorBound(static_cast<int32_t>(std::log2(c.used)), fullSpectrumNorm(exact)))
            << "requested " << c.requested;
    }
}

TEST(RealFft, LargestLengthRoundTrips) {
    RealFft fft(INT32_MAX);
    ASSERT_EQ(fft.size(), RealFft::maxLength);
    reference::Noise noise(8);
    const std::vector<float> in = noise.block(RealFft::maxLength);
    std::vector<float> spec(in.size());
    std::vector<float> back(in.size());
    fft.forward(spec.data(), in.data());
    fft.inverse(back.data(), spec.data());
    fft.rescale(back.data());
    double worst = 0.0;
    for (std::size_t t = 0; t < in.size(); ++t) worst = std::fmax(worst, std::fabs(back[t] - in[t]));
    // Twice as many stages as at N = 1024: the round-trip error roughly doubles.
    EXPECT_LT(worst, 4e-6);
}

}  // namespace
