// The render tool's pure parts: the command line, the choice of output format, the demo voice.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "command_line.h"
#include "demo_voice.h"
#include "sound_file.h"
#include "tool_error.h"

namespace {

struct RefusedCommand {
    std::vector<std::string> args;
    std::string message;
};

TEST(CommandLine, RefusesWhatItCannotActOnNamingTheArgument) {
    const RefusedCommand cases[] = {
        {{"in.wav", "-o", "out.wav", "--param", "Gain=1.5"}, "--param Gain=1.5: value 1.5 is outside 0 to 1"},
        {{"-o", "out.wav", "--param=Gain=-0.01"}, "--param Gain=-0.01: value -0.01 is outside 0 to 1"},
        {{"-o", "out.wav", "--param", "Gain=loud"}, "--param Gain=loud: 'loud' is not a number"},
        {{"-o", "out.wav", "--param", "Gain=nan"}, "--param Gain=nan: 'nan' is not a number"},
        {{"-o", "out.wav", "--param", "Gain=0.5x"}, "--param Gain=0.5x: '0.5x' is not a number"},
        {{"-o", "out.wav", "--param", "Gain="}, "--param Gain=: '' is not a number"},
        {{"-o", "out.wav", "--param", "Gain"}, "--param Gain: expected NAME=VALUE or INDEX=VALUE"},
        {{"-o", "out.wav", "--param", "=0.5"}, "--param =0.5: expected NAME=VALUE or INDEX=VALUE"},
        {{"-o", "out.wav", "--block-size", "0"}, "--block-size 0: expected a whole number from 1 to 65536"},
        {{"-o", "out.wav", "--block-size", "12k"}, "--block-size 12k: expected a whole number from 1 to 65536"},
        {{"-o", "out.wav", "--sample-format", "32"}, "--sample-format 32: expected float, 16 or 24"},
        {{"-o", "out.wav", "--volume", "3"}, "--volume: unknown option (see --help)"},
        {{"-o"}, "-o: needs a value"},
        {{"a.wav", "b.wav", "-o", "c.wav"}, "b.wav: only one input file may be given (the output goes after -o)"},
        {{"in.wav"}, "no output file: give one with -o FILE"},
        {{"--list", "in.wav"}, "--list takes no input file and no -o"},
        {{"--save-demo", "d.wav", "-o", "x.wav"}, "--save-demo takes no input file and no -o"},
        {{"--list", "--save-demo", "d.wav"}, "--list and --save-demo cannot be combined"},
        {{"--list=yes"}, "--list: takes no value"},
    };
    for (const RefusedCommand& c : cases) {
        try {
            parseCommandLine(c.args);
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const UsageError& error) {
            EXPECT_EQ(std::string(error.what()), c.message);
        }
    }
}

TEST(CommandLine, ReadsEveryOptionInEitherSpelling) {
    const RenderOptions options = parseCommandLine(
        {"--plugin=/x/fx.so", "in.flac", "--output", "out.wav", "--program", "Robot", "--param", "0=0",
         "--param= Depth=1", "--sample-format=24", "--block-size", "64", "--no-latency-compensation"});
    EXPECT_EQ(options.inputPath, "in.flac");
    EXPECT_EQ(options.outputPath, "out.wav");
    EXPECT_EQ(options.pluginPath, "/x/fx.so");
    EXPECT_EQ(options.program, std::optional<std::string>("Robot"));
    ASSERT_EQ(options.parameters.size(), 2u);
    EXPECT_EQ(options.parameters[0].target, "0");
    EXPECT_EQ(options.parameters[0].normalizedValue, 0.0f);
    EXPECT_EQ(options.parameters[1].target, " Depth");
    EXPECT_EQ(options.parameters[1].normalizedValue, 1.0f);
    EXPECT_EQ(options.sampleFormat, SampleFormat::pcm24);
    EXPECT_EQ(options.blockFrames, 64);
    EXPECT_FALSE(options.compensateLatency);
}

TEST(CommandLine, DemoVoiceNeedsOnlyAnOutputAndDashesEndOptions) {
    EXPECT_TRUE(parseCommandLine({"-o", "robot.wav"}).inputPath.empty());
    const RenderOptions options = parseCommandLine({"-o", "out.wav", "--", "-odd name.wav"});
    EXPECT_EQ(options.inputPath, "-odd name.wav");
}

struct FormatCase {
    const char* outputPath;
    int inputFormat;
    SampleFormat requested;
    int expected;  ///< 0: refused
};

TEST(OutputFormat, FollowsTheNameThenTheInputAndRefusesWhatTheContainerCannotHold) {
    const FormatCase cases[] = {
        {"out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, SampleFormat::keep, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"out.FLAC", SF_FORMAT_WAV | SF_FORMAT_PCM_24, SampleFormat::keep, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"out.aif", SF_FORMAT_WAV | SF_FORMAT_PCM_16, SampleFormat::keep, SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        {"dir.v2/out", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, SampleFormat::keep, SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"out.unknown", SF_FORMAT_AU | SF_FORMAT_PCM_24, SampleFormat::keep, SF_FORMAT_AU | SF_FORMAT_PCM_24},
        // A sample format the new container lacks falls back to float.
        {"out.wav", SF_FORMAT_OGG | SF_FORMAT_VORBIS, SampleFormat::keep, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"out.flac", SF_FORMAT_WAV | SF_FORMAT_FLOAT, SampleFormat::keep, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"out.ogg", SF_FORMAT_WAV | SF_FORMAT_PCM_16, SampleFormat::keep, SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        // Byte order is the input's only within the input's own container.
        {"out.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, SampleFormat::keep,
         SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE},
        {"out.wav", SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, SampleFormat::keep,
         SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, SampleFormat::float32, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"out.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, SampleFormat::pcm16, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"out.flac", SF_FORMAT_WAV | SF_FORMAT_FLOAT, SampleFormat::pcm24, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"out.flac", SF_FORMAT_WAV | SF_FORMAT_PCM_16, SampleFormat::float32, 0},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.outputPath);
        if (c.expected == 0) {
            EXPECT_THROW(chooseOutputFormat(c.outputPath, c.inputFormat, c.requested, 2, 44100), ToolError);
        } else {
            EXPECT_EQ(chooseOutputFormat(c.outputPath, c.inputFormat, c.requested, 2, 44100), c.expected);
        }
    }
}

/// The strongest period, in frames, of `frames` samples from `start`, searched over 80..400 Hz:
/// the demo's range and no lower, so that twice the period cannot win.
int strongestPeriod(const std::vector<float>& x, size_t start, size_t frames, int32_t rateHz) {
    int best = 0;
    double bestScore = -1.0;
    for (int lag = rateHz / 400; lag <= rateHz / 80; ++lag) {
        double score = 0.0;
        for (size_t n = start; n < start + frames; ++n) {
            score += static_cast<double>(x[n]) * x[n + static_cast<size_t>(lag)];
        }
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

TEST(DemoVoice, IsAFewSecondsOfVoicedSoundWhosePitchMoves) {
    const int32_t rate = kDemoVoiceSampleRateHz;
    const std::vector<float> voice = makeDemoVoice(rate);
    EXPECT_GE(voice.size(), static_cast<size_t>(3 * rate));
    EXPECT_LE(voice.size(), static_cast<size_t>(6 * rate));
    float peak = 0.0f;
    for (float sample : voice) {
        ASSERT_TRUE(std::isfinite(sample));
        peak = std::max(peak, std::fabs(sample));
    }
    EXPECT_NEAR(peak, 0.5f, 1e-6f);  // normalised in double, rounded once to float
    // Pitch in two syllables, near the rise's top (0.9 s, about 136 Hz) and the fall's bottom
    // (1.9 s, about 100 Hz): a monotone source gives one period for both. 40 ms windows hold
    // several periods; the tolerance covers the 1.5 % vibrato and the glide within a window.
    const size_t window = static_cast<size_t>(rate) / 25;
    const auto pitchAt = [&](double seconds) {
        const auto start = static_cast<size_t>(seconds * rate);
        return static_cast<double>(rate) / strongestPeriod(voice, start, window, rate);
    };
    EXPECT_NEAR(pitchAt(0.9), 136.0, 6.0);
    EXPECT_NEAR(pitchAt(1.9), 100.0, 6.0);
    EXPECT_EQ(makeDemoVoice(rate), voice);
}

}  // namespace
