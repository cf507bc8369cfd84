#include "spectral/spectral_processor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "reference.h"
#include "support/allocation_probe.h"

namespace {

using spectral::RaisedCosine;
using spectral::RealFft;
using spectral::Rectangular;
using spectral::SineCycle;
using spectral::SpectralBin;
using spectral::SpectralProcessor;

constexpr int32_t frameLength = 1024;
constexpr int32_t hopLength = frameLength / 4;
// What float arithmetic leaves of a zero result: sums of products of order 1 through two
// transforms, rounded at about 1e-7 each, and far below 1e-5 of the input level.
constexpr double noiseLevel = 1e-5;
// Float round trip of one sample through two transforms and two window products.
constexpr double chainTolerance = 2e-6;

std::vector<float> run(SpectralProcessor& processor, const std::vector<float>& in) {
    std::vector<float> out(in.size());
    for (std::size_t s = 0; s < in.size(); ++s) out[s] = processor.processSample(in[s]);
    return out;
}

std::vector<float> impulseAt(std::size_t position, std::size_t length) {
    std::vector<float> in(length, 0.0f);
    in[position] = 1.0f;
    return in;
}

double windowValue(int32_t type, int32_t i, int32_t n) {
    const double phase = 2.0 * reference::pi * i / (n - 1);
    switch (type) {
        case RaisedCosine: return 0.5 * (1.0 - std::cos(phase));
        case Rectangular: return 1.0;
        default: return std::sin(phase);
    }
}

// Gain of the unchanged chain at offset m within the hop: the sum of the four squared window
// values that meet at one output sample.
double chainGain(int32_t m, int32_t n = frameLength, int32_t type = SineCycle) {
    double sum = 0.0;
    for (int32_t j = 0; j < 4; ++j) {
        const double w = windowValue(type, m + j * n / 4, n);
        sum += w * w;
    }
    return sum;
}

class CountingProcessor : public SpectralProcessor {
public:
    using SpectralProcessor::SpectralProcessor;
    int frames = 0;

protected:
    void processSpectrum() override { ++frames; }
};

// Leaves garbage in the two imaginary parts that have no slot in the spectrum.
class EdgeImaginaryWriter : public SpectralProcessor {
public:
    using SpectralProcessor::SpectralProcessor;

protected:
    void processSpectrum() override {
        bins[0].im = 12345.0f;
        bins[size / 2].im = -0.75f;
    }
};

class HalvingProcessor : public SpectralProcessor {
public:
    using SpectralProcessor::SpectralProcessor;

protected:
    void processSpectrum() override {
        for (int32_t m = 0; m <= size / 2; ++m) {
            bins[m].re *= 0.5f;
            bins[m].im *= 0.5f;
        }
    }
};

class FirstFrameCapture : public SpectralProcessor {
public:
    using SpectralProcessor::SpectralProcessor;
    std::vector<SpectralBin> firstBins;

protected:
    void processSpectrum() override {
        if (firstBins.empty()) firstBins.assign(bins.get(), bins.get() + size / 2 + 1);
    }
};

// The published gains G(0) and G(100), rounded to 7 digits, and the chain gain recomputed here.
TEST(SpectralProcessor, ImpulseComesBackOneFrameLaterWithTheGainOfItsHopOffset) {
    struct Case {
        std::size_t position;
        double publishedGain;
    };
    for (const Case c : {Case{0, 1.999986}, Case{100, 1.997102}}) {
        SpectralProcessor processor(frameLength);
        const std::vector<float> out = run(processor, impulseAt(c.position, 3 * frameLength));
        const std::size_t echo = c.position + frameLength;
        for (std::size_t s = 0; s < out.size(); ++s) {
            if (s != echo) {
                EXPECT_NEAR(out[s], 0.0, noiseLevel) << "impulse " << c.position << " sample " << s;
            }
        }
        EXPECT_NEAR(out[echo], c.publishedGain, 5e-7);
        EXPECT_NEAR(out[echo], chainGain(static_cast<int32_t>(c.position)), chainTolerance);
    }
}

TEST(SpectralProcessor, ConstantInputRipplesWithTheHopPeriod) {
    SpectralProcessor processor(frameLength);
    const std::vector<float> out = run(processor, std::vector<float>(6 * frameLength, 1.0f));
    for (int32_t s = 0; s < frameLength; ++s) EXPECT_NEAR(out[s], 0.0, noiseLevel) << "sample " << s;
    EXPECT_NEAR(out[frameLength], 1.999986, 5e-7);
    float least = out[frameLength];
    float most = out[frameLength];
    for (std::size_t s = frameLength; s < out.size(); ++s) {
        least = std::fmin(least, out[s]);
        most = std::fmax(most, out[s]);
        EXPECT_NEAR(out[s], chainGain(static_cast<int32_t>(s % hopLength)), chainTolerance) << "sample " << s;
        if (s + hopLength < out.size()) {
            EXPECT_NEAR(out[s + hopLength], out[s], chainTolerance) << "sample " << s;
        }
    }
    EXPECT_NEAR(least, 1.996929, 5e-7 + chainTolerance);
    EXPECT_NEAR(most, 1.999986, 5e-7 + chainTolerance);
}

TEST(SpectralProcessor, ArbitraryInputComesBackScaledByTheChainGain) {
    SpectralProcessor processor(frameLength);
    reference::Noise noise(11);
    const std::vector<float> in = noise.block(5 * frameLength);
    const std::vector<float> out = run(processor, in);
    for (std::size_t s = 0; s < out.size(); ++s) {
        const double expected =
            s < frameLength ? 0.0 : in[s - frameLength] * chainGain(static_cast<int32_t>(s % hopLength));
        // Each result is a sum of four frames, each carrying the round-trip error of a whole
        // frame of noise (about 1e-7 of its rms, times the window).
        EXPECT_NEAR(out[s], expected, noiseLevel) << "sample " << s;
    }
}

TEST(SpectralProcessor, FirstFrameComesWithThe257thCallThenEveryHop) {
    CountingProcessor processor(frameLength);
    for (int call = 1; call <= 5 * frameLength; ++call) {
        processor.processSample(0.25f);
        const int expected = call <= hopLength ? 0 : (call - 1) / hopLength;
        ASSERT_EQ(processor.frames, expected) << "call " << call;
    }
}

TEST(SpectralProcessor, ResetInMidStreamStartsAfresh) {
    reference::Noise noise(12);
    const std::vector<float> before = noise.block(2 * frameLength + 77);
    const std::vector<float> after = noise.block(3 * frameLength);

    CountingProcessor used(frameLength);
    run(used, before);
    used.reset();
    used.frames = 0;
    const std::vector<float> out = run(used, after);

    CountingProcessor fresh(frameLength);
    const std::vector<float> expected = run(fresh, after);
    for (int32_t s = 0; s < frameLength; ++s) EXPECT_NEAR(out[s], 0.0, noiseLevel) << "sample " << s;
    EXPECT_EQ(out, expected);  // bit for bit: nothing of the old stream survives
    EXPECT_EQ(used.frames, fresh.frames);
}

// A window number that names no window leaves the window that was selected before.
TEST(SpectralProcessor, WindowNumbersThatNameNoWindowChangeNothing) {
    reference::Noise noise(13);
    const std::vector<float> in = noise.block(3 * frameLength);
    for (int32_t selected : {int32_t{SineCycle}, int32_t{RaisedCosine}, int32_t{Rectangular}}) {
        SpectralProcessor plain(frameLength);
        plain.setWindow(selected);
        const std::vector<float> expected = run(plain, in);
        for (int32_t unnamed : {1, 2, 5, -1, 99}) {
            SpectralProcessor processor(frameLength);
            processor.setWindow(selected);
            processor.setWindow(unnamed);
            EXPECT_EQ(run(processor, in), expected) << "window " << selected << " then " << unnamed;
        }
    }
}

TEST(SpectralProcessor, WindowsSetTheChainGain) {
    for (int32_t type : {int32_t{SineCycle}, int32_t{RaisedCosine}, int32_t{Rectangular}}) {
        SpectralProcessor processor(frameLength);
        processor.setWindow(type);
        const std::vector<float> out = run(processor, std::vector<float>(3 * frameLength, 1.0f));
        for (int32_t s = frameLength; s < 3 * frameLength; ++s) {
            EXPECT_NEAR(out[s], chainGain(s % hopLength, frameLength, type), chainTolerance)
                << "window " << type << " sample " << s;
        }
    }
}

TEST(SpectralProcessor, ImaginaryPartsOfDcAndNyquistBinsAreIgnored) {
    reference::Noise noise(14);
    const std::vector<float> in = noise.block(4 * frameLength);
    SpectralProcessor plain(frameLength);
    EdgeImaginaryWriter writer(frameLength);
    EXPECT_EQ(run(writer, in), run(plain, in));
}

TEST(SpectralProcessor, DepthChangesNoResult) {
    reference::Noise noise(15);
    const std::vector<float> in = noise.block(4 * frameLength);
    SpectralProcessor plain(frameLength);
    const std::vector<float> expected = run(plain, in);
    EXPECT_EQ(plain.depth, 0.5f);
    for (float depth : {0.0f, 1.0f, -3.0f, 1e30f}) {
        SpectralProcessor processor(frameLength);
        processor.depth = depth;
        std::vector<float> out(in.size());
        for (std::size_t s = 0; s < in.size(); ++s) {
            if (s == in.size() / 2) processor.depth = 0.25f;  // a change in mid-stream, too
            out[s] = processor.processSample(in[s]);
        }
        EXPECT_EQ(out, expected) << "depth " << depth;
    }
}

TEST(SpectralProcessor, SpectralOperationReachesTheOutput) {
    reference::Noise noise(16);
    const std::vector<float> in = noise.block(4 * frameLength);
    SpectralProcessor plain(frameLength);
    HalvingProcessor halving(frameLength);
    const std::vector<float> expected = run(plain, in);
    const std::vector<float> out = run(halving, in);
    // Halving every bin halves each frame; scaling by a power of two rounds nowhere.
    for (std::size_t s = 0; s < out.size(); ++s) EXPECT_EQ(out[s], 0.5f * expected[s]) << "sample " << s;
}

// The first frame after a reset is the windowed history: 768 zeros, then the first 256 samples.
TEST(SpectralProcessor, BinsHoldTheSpectrumOfTheWindowedFrame) {
    reference::Noise noise(17);
    const std::vector<float> in = noise.block(hopLength + 1);
    FirstFrameCapture processor(frameLength);
    run(processor, in);
    ASSERT_EQ(processor.firstBins.size(), static_cast<std::size_t>(frameLength / 2 + 1));

    std::vector<double> windowed(frameLength, 0.0);
    for (int32_t i = frameLength - hopLength; i < frameLength; ++i) {
        windowed[i] = static_cast<float>(windowValue(SineCycle, i, frameLength)) * in[i - (frameLength - hopLength)];
    }
    const std::vector<double> exact = reference::halfComplexDft(windowed);
    const int32_t h = frameLength / 2;
    for (int32_t m = 0; m <= h; ++m) {
        const SpectralBin bin = processor.firstBins[m];
        // Sums of 256 float products of order 1 through ten stages.
        EXPECT_NEAR(bin.re, exact[m], 1e-4) << "bin " << m;
        EXPECT_NEAR(bin.im, (m == 0 || m == h) ? 0.0 : exact[h + m], 1e-4) << "bin " << m;
    }
}

// A change detector of the platform's sin and cos, which fill the window and the twiddle table: the
// exact bits of 4096 results on fixed noise, recorded from the scalar chain (see
// RealFft.ChangeDetectorOfThePlatformsCosGivesTheRecordedBits): windows, transforms and overlap-add each round
// in one fixed order. (Assumes glibc's sin and cos for the window and the table.)
TEST(SpectralProcessor, ChangeDetectorOfThePlatformsCosGivesTheRecordedBits) {
    SpectralProcessor processor(frameLength);
    reference::Noise noise(6100);
    EXPECT_EQ(reference::bitFingerprint(run(processor, noise.block(4 * frameLength))), 0x772e468fee3ece67ull);
}

// Blocks that start and end anywhere relative to the frames, empty and negative counts included,
// with separate output and in place (each run of input is read before its output is written).
TEST(SpectralProcessor, IrregularBlocksGiveTheBitsOfOneSampleAtATime) {
    reference::Noise noise(6200);
    const std::vector<float> in = noise.block(4 * frameLength + 123);
    SpectralProcessor sampleBySample(frameLength);
    const std::vector<float> expected = run(sampleBySample, in);

    for (bool inPlace : {false, true}) {
        SpectralProcessor blocks(frameLength);
        std::vector<float> out = inPlace ? in : std::vector<float>(in.size(), -99.0f);
        const float* source = inPlace ? out.data() : in.data();
        const int32_t sizes[] = {1, 5, 400, 10, 0, 300, -3, 255, 256, 257, 1, 1024, 2000};
        std::size_t start = 0;
        for (std::size_t b = 0; start < in.size(); ++b) {
            const int32_t wanted = sizes[b % (sizeof sizes / sizeof sizes[0])];
            const int32_t count =
                static_cast<int32_t>(std::min<std::size_t>(wanted < 0 ? 0 : wanted, in.size() - start));
            blocks.processBlock(source + start, out.data() + start, wanted < 0 ? wanted : count);
            start += static_cast<std::size_t>(wanted < 0 ? 0 : count);
        }
        for (std::size_t s = 0; s < in.size(); ++s) {
            EXPECT_EQ(std::memcmp(&out[s], &expected[s], sizeof(float)), 0)
                << (inPlace ? "in place, " : "") << "sample " << s;
        }
    }
}

// A kernel runs the transforms and the frame's other passes; every kernel's chain must give the
// scalar chain's bits.
TEST(SpectralProcessor, EveryTransformKernelGivesTheScalarChainsBits) {
    reference::Noise noise(6400);
    const std::vector<float> in = noise.block(4 * frameLength + 77);
    SpectralProcessor scalar(frameLength, RealFft::Kernel::Scalar);
    const std::vector<float> expected = run(scalar, in);
    for (RealFft::Kernel kernel : {RealFft::Kernel::Sse2, RealFft::Kernel::Avx2, RealFft::Kernel::Avx512}) {
        if (!RealFft::supports(kernel)) continue;
        SpectralProcessor processor(frameLength, kernel);
        const std::vector<float> out = run(processor, in);
        for (std::size_t s = 0; s < in.size(); ++s) {
            ASSERT_EQ(std::memcmp(&out[s], &expected[s], sizeof(float)), 0)
                << "kernel " << static_cast<int>(kernel) << " sample " << s;
        }
    }
}

TEST(SpectralProcessor, ProcessingAndResetAllocateNothing) {
    SpectralProcessor processor(frameLength);
    std::vector<float> block(700, 0.25f);
    AllocationProbe probe;
    for (int32_t s = 0; s < 3 * frameLength; ++s) processor.processSample(0.5f);
    processor.reset();
    for (int32_t s = 0; s < frameLength; ++s) processor.processSample(-0.5f);
    processor.processBlock(block.data(), block.data(), static_cast<int32_t>(block.size()));
    const int allocations = probe.count();
    EXPECT_EQ(allocations, 0);
}

struct LengthCase {
    int32_t requested;
    int32_t used;
};

class SpectralProcessorLength : public ::testing::TestWithParam<LengthCase> {};

// Requests that are not a power of two of at least 4 get the nearest valid length above (at most
// RealFft::maxLength); the processor then behaves as one built for that length.
TEST_P(SpectralProcessorLength, AdjustsTheFrameLengthAndKeepsItsLatency) {
    const LengthCase c = GetParam();
    SpectralProcessor processor(c.requested);
    ASSERT_EQ(processor.frameSize(), c.used);
    if (c.used > 4096) return;  // the length is all there is to check; the run would be long
    const int32_t n = c.used;
    const int32_t position = n / 4 + 1;
    const std::vector<float> out = run(processor, impulseAt(position, 3 * n + 7));
    for (std::size_t s = 0; s < out.size(); ++s) {
        const double expected = s == static_cast<std::size_t>(position + n) ? chainGain(position % (n / 4), n) : 0.0;
        EXPECT_NEAR(out[s], expected, noiseLevel) << "sample " << s;
    }
}

INSTANTIATE_TEST_SUITE_P(Requests, SpectralProcessorLength,
                         ::testing::Values(LengthCase{INT32_MIN, 4}, LengthCase{-1024, 4}, LengthCase{-1, 4},
                                           LengthCase{0, 4}, LengthCase{1, 4}, LengthCase{2, 4}, LengthCase{3, 4},
                                           LengthCase{4, 4}, LengthCase{5, 8}, LengthCase{8, 8}, LengthCase{100, 128},
                                           LengthCase{1000, 1024}, LengthCase{1024, 1024}, LengthCase{2048, 2048},
                                           LengthCase{RealFft::maxLength + 1, RealFft::maxLength},
                                           LengthCase{INT32_MAX, RealFft::maxLength}),
                         [](const ::testing::TestParamInfo<LengthCase>& info) {
                             const int32_t r = info.param.requested;
                             return (r < 0 ? "minus" + std::to_string(-static_cast<int64_t>(r)) : std::to_string(r));
                         });

}  // namespace
