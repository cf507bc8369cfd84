// Input no microphone delivers but a broken upstream plug-in does: not-a-number, infinities,
// denormals, values near the float limit. The effect must not crash, must get back to finite
// output soon after such samples leave its frame window, and must keep no trace of them.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "validator/validator_support.h"

namespace validator {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct HostileValue {
    const char* name;
    std::vector<float> cycle;  ///< the burst repeats these samples
    bool staysFinite;          ///< the output is finite throughout (derived below)
};

// Values whose output stays finite: a frame of 1024 samples of magnitude 1e30 gives spectrum
// values of at most 1024 * 1e30, and the output at most 2 * sqrt(1024) * 1e30 (the long-run
// test derives this bound): both far below FLT_MAX (3.4e38). Denormals are small numbers.
const HostileValue kHostileValues[] = {
    {"NaN", {kNaN}, false},
    {"+Inf", {kInf}, false},
    {"-Inf", {-kInf}, false},
    {"FLT_MAX", {FLT_MAX}, false},
    {"-FLT_MAX", {-FLT_MAX}, false},
    {"1e30", {1e30f}, true},
    {"-1e30", {-1e30f}, true},
    {"denormals", {1e-40f, -1e-39f, std::numeric_limits<float>::denorm_min()}, true},
    {"mixed", {kNaN, 1e30f, -kInf, 1e-40f, FLT_MAX, 0.25f}, false},
};

constexpr int32_t kBurstLengths[] = {1, 100, kFrameSamples, 5000};
constexpr int32_t kPhases[] = {0, 1, kHopSamples / 2, kHopSamples - 1};  // where the burst starts against the hop
// Two frames of noise before the burst fill the chain; three after it cover the two frames the
// burst can reach and one more.
constexpr std::size_t kBurstStart = 2 * kFrameSamples;
constexpr std::size_t kAfterBurst = 3 * kFrameSamples;

struct Outcome {
    long lastNonFinite = -1;  ///< output index, or -1
    bool traceLeft = false;   ///< the output differs from the clean stream where it must not
};

Outcome run(const LoadedModule& module, const HostileValue& value, int32_t length, int32_t phase) {
    const std::size_t start = kBurstStart + static_cast<std::size_t>(phase);
    const std::size_t last = start + static_cast<std::size_t>(length) - 1;
    std::vector<float> clean = noise(last + 1 + kAfterBurst, 0.5f, 71);
    std::vector<float> input = clean;
    for (std::size_t i = start; i <= last; ++i) {
        input[i] = value.cycle[(i - start) % value.cycle.size()];
        clean[i] = 0.0f;
    }
    const std::vector<float> output = renderFresh(module, input, {512});
    const std::vector<float> reference = renderFresh(module, clean, {512});

    Outcome outcome;
    for (std::size_t i = 0; i < output.size(); ++i) {
        if (!std::isfinite(output[i])) outcome.lastNonFinite = static_cast<long>(i);
    }
    // Output p is made of the frames taken at calls p-1023 .. p, which hold the samples
    // p-2047 .. p-1: from p = last + 2 frames on, none of them saw the burst.
    const std::size_t untouched = last + 2 * kFrameSamples;
    outcome.traceLeft =
        firstBitDifference(std::vector<float>(output.begin() + static_cast<long>(untouched), output.end()),
                           std::vector<float>(reference.begin() + static_cast<long>(untouched), reference.end())) != -1;
    return outcome;
}

TEST(HostileAudio, OutputIsFiniteAgainWithinOneFrameOfTheLastHostileSampleLeavingTheWindow) {
    LoadedModule module;
    long worstRecovery = 0;
    for (const HostileValue& value : kHostileValues) {
        for (int32_t length : kBurstLengths) {
            for (int32_t phase : kPhases) {
                SCOPED_TRACE(testing::Message() << value.name << ", burst of " << length << " at phase " << phase);
                const Outcome outcome = run(module, value, length, phase);
                const long last = static_cast<long>(kBurstStart) + phase + length - 1;
                // The frame taken at call c holds the samples c-1024 .. c-1: the last hostile
                // sample has left the window from call last + 1025 on.
                const long leftWindow = last + kFrameSamples + 1;
                const long recovery = std::max(0L, outcome.lastNonFinite + 1 - leftWindow);
                worstRecovery = std::max(worstRecovery, recovery);
                if (value.staysFinite) {
                    EXPECT_EQ(outcome.lastNonFinite, -1);
                } else if (std::isnan(value.cycle[0]) || std::isinf(value.cycle[0])) {
                    EXPECT_GE(outcome.lastNonFinite, static_cast<long>(kBurstStart))
                        << "the measurement must see the burst";
                }
                // A frame taken at call c writes the outputs of calls c .. c+1023, and the last
                // frame holding the burst is taken no later than call last + 1024: the output
                // is finite again at most 1023 samples after the burst left the window, well
                // inside the two frames a host may be promised.
                EXPECT_LE(recovery, kFrameSamples - 1);
                EXPECT_FALSE(outcome.traceLeft) << "the output still differs from the clean stream two frames on";
            }
        }
    }
    RecordProperty("worst_recovery_samples", static_cast<int>(worstRecovery));
    std::printf("worst recovery after the hostile samples left the frame window: %ld samples\n", worstRecovery);
}

// The gain is applied after the frame processor, once per call: a gain whose factor overflows to
// infinity (or is not a number) spoils the calls made with it and nothing after them.
TEST(HostileAudio, NonFiniteGainSpoilsOnlyTheCallsThatUseIt) {
    LoadedModule module;
    const std::vector<float> input = noise(6 * kFrameSamples, 0.5f, 81);
    const std::vector<float> reference = renderFresh(module, input, {kFrameSamples});
    const auto part = [](const std::vector<float>& samples, int32_t from, int32_t to) {
        return std::vector<float>(samples.begin() + from, samples.begin() + to);
    };
    for (float gain : {20.0f, 1e6f, kInf, -kInf, kNaN}) {
        SCOPED_TRACE(testing::Message() << "gain " << gain);
        PluginInstance plugin(module);
        AudioThread audio(plugin);
        audio.resume();
        std::vector<float> output(input.size());
        audio.processReplacing(input.data(), output.data(), 2 * kFrameSamples);
        audio.setParameter(0, gain);
        audio.processReplacing(input.data() + 2 * kFrameSamples, output.data() + 2 * kFrameSamples, 2 * kFrameSamples);
        audio.setParameter(0, 0.5f);
        audio.processReplacing(input.data() + 4 * kFrameSamples, output.data() + 4 * kFrameSamples, 2 * kFrameSamples);
        EXPECT_EQ(firstBitDifference(part(output, 0, 2 * kFrameSamples), part(reference, 0, 2 * kFrameSamples)), -1);
        EXPECT_EQ(firstBitDifference(part(output, 4 * kFrameSamples, 6 * kFrameSamples),
                                     part(reference, 4 * kFrameSamples, 6 * kFrameSamples)),
                  -1);
    }
}

}  // namespace
}  // namespace validator
