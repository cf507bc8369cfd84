// The render tool's parts below the executable: the command line, the choice of output format,
// the sound files' reading and writing, and the demo voice.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "kit/tool_error.h"
#include "render/command_line.h"
#include "render/demo_voice.h"
#include "render/sound_file.h"

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
        {{"a.wav", "b.wav", "-o", "c.wav"}, "'b.wav': only one input file may be given (the output goes after -o)"},
        {{"in.wav"}, "no output file: give one with -o FILE"},
        {{"--list", "in.wav"}, "--list takes no input file and no -o"},
        {{"--save-demo", "d.wav", "-o", "x.wav"}, "--save-demo takes no input file and no -o"},
        {{"--list", "--save-demo", "d.wav"}, "--list and --save-demo cannot be combined"},
        {{"--list=yes"}, "--list: takes no value"},
        {{"-o", "a.wav", "--output", "b.wav"}, "--output: given more than once"},
        {{"-o", "a.wav", "--sample-format", "16", "--sample-format=24"}, "--sample-format: given more than once"},
        {{"-o", "a.wav", "--plugin", "x.so", "--plugin", "x.so"}, "--plugin: given more than once"},
        {{"-o", "out.wav", "--param", "Gain=1e99"}, "--param Gain=1e99: value 1e99 is outside 0 to 1"},
        {{"a.wav", "b\nc.wav", "-o", "c.wav"},
         "'b\\nc.wav': only one input file may be given (the output goes after -o)"},
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
    const RenderOptions options =
        parseCommandLine({"--plugin=/x/fx.so", "in.flac", "--output", "out.wav", "--program", "Robot", "--param", "0=0",
                          "--param= Depth=1", "--sample-format=24", "--block-size", "64", "--no-latency-compensation",
                          "--param", "Gain=1e-45", "--param", "Gain= 0.5 "});
    EXPECT_EQ(options.inputPath, "in.flac");
    EXPECT_EQ(options.outputPath, "out.wav");
    EXPECT_EQ(options.pluginPath, "/x/fx.so");
    EXPECT_EQ(options.program, std::optional<std::string>("Robot"));
    ASSERT_EQ(options.parameters.size(), 4u);
    EXPECT_EQ(options.parameters[0].target, "0");
    EXPECT_EQ(options.parameters[0].normalizedValue, 0.0f);
    EXPECT_EQ(options.parameters[1].target, " Depth");
    EXPECT_EQ(options.parameters[1].normalizedValue, 1.0f);
    EXPECT_EQ(options.parameters[2].normalizedValue, 1e-45f);  // a subnormal float, yet a number
    EXPECT_EQ(options.parameters[3].normalizedValue, 0.5f);    // blanks on either side of the value
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
    int32_t rateHz = 44100;
};

TEST(OutputFormat, FollowsTheNameThenTheInputAndRefusesWhatTheContainerCannotHold) {
    const FormatCase cases[] = {
        {"out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, SampleFormat::keep, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"out.FLAC", SF_FORMAT_WAV | SF_FORMAT_PCM_24, SampleFormat::keep, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"out.aif", SF_FORMAT_WAV | SF_FORMAT_PCM_16, SampleFormat::keep, SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        {"dir.v2/out", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, SampleFormat::keep, SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        // Extensions that name no writable container are refused, not given the input's container.
        {"out.unknown", SF_FORMAT_AU | SF_FORMAT_PCM_24, SampleFormat::keep, 0},
        {"out.m4a", SF_FORMAT_WAV | SF_FORMAT_PCM_16, SampleFormat::keep, 0},
        {"out.txt", SF_FORMAT_WAV | SF_FORMAT_PCM_16, SampleFormat::keep, 0},
        {"out.mp3", SF_FORMAT_WAV | SF_FORMAT_FLOAT, SampleFormat::keep, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
        {"out.opus", SF_FORMAT_WAV | SF_FORMAT_PCM_16, SampleFormat::keep, SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000},
        {"out.opus", SF_FORMAT_WAV | SF_FORMAT_PCM_16, SampleFormat::keep, 0},  // Opus has no 44.1 kHz
        {"out.mp3", SF_FORMAT_WAV | SF_FORMAT_FLOAT, SampleFormat::pcm16, 0},
        // A codec stays in its own container; elsewhere the container's natural encoding takes over.
        {"out.wav", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, SampleFormat::keep, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"out.aiff", SF_FORMAT_OGG | SF_FORMAT_OPUS, SampleFormat::keep, SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"out", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, SampleFormat::keep,
         SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
        {"out.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, SampleFormat::keep, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM},
        {"out.flac", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, SampleFormat::keep, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
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
            EXPECT_THROW(chooseOutputFormat(c.outputPath, c.inputFormat, c.requested, 2, c.rateHz), ToolError);
        } else {
            EXPECT_EQ(chooseOutputFormat(c.outputPath, c.inputFormat, c.requested, 2, c.rateHz), c.expected);
        }
    }
}

TEST(OutputFormat, ForAPipeIsOneThatStreamsOrAnErrorNamingWhy) {
    // The format chosen by name, and the one written to a pipe named without an extension.
    const int cases[][2] = {
        {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {SF_FORMAT_AU | SF_FORMAT_FLOAT, SF_FORMAT_AU | SF_FORMAT_FLOAT},
        {SF_FORMAT_OGG | SF_FORMAT_VORBIS, SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_24, SF_FORMAT_AU | SF_FORMAT_PCM_24},  // a name without extension
        {SF_FORMAT_AIFF | SF_FORMAT_FLOAT, SF_FORMAT_AU | SF_FORMAT_FLOAT},
    };
    for (const auto& [chosen, streamed] : cases) {
        EXPECT_EQ(streamableFormat("/dev/stdout", chosen, 2, 44100), streamed) << std::hex << chosen;
    }
    try {
        streamableFormat("fifo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100);
        ADD_FAILURE() << "a WAV stream was accepted";
    } catch (const ToolError& error) {
        EXPECT_NE(std::string(error.what()).find("'fifo.wav': WAV (Microsoft) cannot be streamed"), std::string::npos)
            << error.what();
    }
}

TEST(OutputFormat, TurnsALongWavIntoRf64AndRefusesWhatOverflowsOtherContainers) {
    struct SizeCase {
        int format;
        int32_t channels;
        int64_t frames;
        int expected;  ///< 0: refused before the render
    };
    constexpr int64_t kUnknown = std::numeric_limits<int64_t>::max();  // a pipe's length
    const SizeCase cases[] = {
        // 8 channels of float, 140 M frames: 4.48 GB.
        {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 8, 140'000'000, SF_FORMAT_RF64 | SF_FORMAT_FLOAT},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100 * 60, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kUnknown, SF_FORMAT_RF64 | SF_FORMAT_PCM_16},
        {SF_FORMAT_W64 | SF_FORMAT_FLOAT, 8, 140'000'000, SF_FORMAT_W64 | SF_FORMAT_FLOAT},
        {SF_FORMAT_CAF | SF_FORMAT_FLOAT, 8, 140'000'000, SF_FORMAT_CAF | SF_FORMAT_FLOAT},
        {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 8, 140'000'000, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 8, 140'000'000, 0},
        {SF_FORMAT_AU | SF_FORMAT_PCM_16, 8, 140'000'000, SF_FORMAT_AU | SF_FORMAT_PCM_16},  // 2.24 GB
        {SF_FORMAT_AU | SF_FORMAT_PCM_24, 8, 190'000'000, 0},                                // 4.56 GB
        {SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 2, kUnknown, SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.format << std::dec << ", " << c.frames << " frames");
        if (c.expected == 0) {
            EXPECT_THROW(formatForLength("big", c.format, c.channels, c.frames), ToolError);
        } else {
            EXPECT_EQ(formatForLength("big", c.format, c.channels, c.frames), c.expected);
        }
    }
}

/// A file in the system's temporary folder, removed at the end of the test.
struct TemporaryFile {
    explicit TemporaryFile(const char* suffix) {
        path = ::testing::TempDir() + "render-parts-" + std::to_string(::getpid()) + suffix;
    }
    ~TemporaryFile() { std::remove(path.c_str()); }
    std::string path;
};

/// Writes `samples` (mono, 44.1 kHz) through SoundFileWriter; returns the writer's counts.
struct WrittenFile {
    int64_t clipped;
    int64_t nonFinite;
    int64_t frames;
};

WrittenFile writeThroughWriter(const std::string& path, int format, const std::vector<float>& samples) {
    std::FILE* file = std::fopen(path.c_str(), "w+b");
    SoundFileWriter writer(fileno(file), path, format, 1, 44100);
    writer.write(samples.data(), static_cast<int64_t>(samples.size()));
    writer.close();
    std::fclose(file);
    return {writer.clippedSamples(), writer.nonFiniteSamples(), writer.frameCount()};
}

std::vector<float> readBack(const std::string& path, SF_INFO& info) {
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(static_cast<size_t>(info.frames * info.channels));
    if (file != nullptr) {
        sf_readf_float(file, samples.data(), info.frames);
        sf_close(file);
    }
    return samples;
}

TEST(SoundFileWriter, WritesNonFiniteSamplesAsZeroAndCountsThemApartFromClipping) {
    std::vector<float> samples(3000, 0.25f);
    samples[10] = std::numeric_limits<float>::quiet_NaN();
    samples[11] = std::numeric_limits<float>::infinity();
    samples[2000] = -std::numeric_limits<float>::infinity();
    samples[2500] = 1.5f;
    for (int format :
         {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, SF_FORMAT_WAV | SF_FORMAT_FLOAT}) {
        const TemporaryFile file(".snd");
        const WrittenFile written = writeThroughWriter(file.path, format, samples);
        const bool integer = (format & SF_FORMAT_SUBMASK) != SF_FORMAT_FLOAT;
        EXPECT_EQ(written.nonFinite, 3) << std::hex << format;
        EXPECT_EQ(written.clipped, integer ? 1 : 0) << std::hex << format;
        SF_INFO info{};
        const std::vector<float> back = readBack(file.path, info);
        ASSERT_EQ(back.size(), samples.size()) << std::hex << format;
        for (size_t n : {10, 11, 2000}) {
            EXPECT_EQ(back[n], 0.0f) << n;
        }
        EXPECT_NEAR(back[12], 0.25f, 1.0f / 32768);  // 16-bit rounding
    }
}

TEST(SoundFileReader, ReportsAFileThatEndsBeforeItsHeaderSays) {
    struct ShortCase {
        const char* name;
        int format;
        bool truncatedWhileOpen;  ///< else cut before it is opened
    };
    // A WAV cut before opening is not among them: libsndfile then takes the length the file has.
    const ShortCase cases[] = {{"flac cut short", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, false},
                               {"flac truncated while read", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, true},
                               {"wav truncated while read", SF_FORMAT_WAV | SF_FORMAT_FLOAT, true}};
    constexpr int64_t kFrames = 44100;
    std::vector<float> noise(kFrames);
    uint32_t state = 1;
    for (float& sample : noise) {
        state = state * 1664525u + 1013904223u;
        sample = static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
    }
    for (const ShortCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TemporaryFile file(".snd");
        writeThroughWriter(file.path, c.format, noise);
        const auto cut = [&] {
            const auto bytes = static_cast<off_t>(std::filesystem::file_size(file.path));
            ASSERT_EQ(::truncate(file.path.c_str(), bytes * 6 / 10), 0);
        };
        if (!c.truncatedWhileOpen) {
            cut();
        }
        SoundFileReader reader(file.path);
        ASSERT_EQ(reader.frameCount(), kFrames);
        if (c.truncatedWhileOpen) {
            cut();
        }
        std::vector<float> block(512);
        try {
            while (reader.read(block.data(), 512) == 512) {
            }
            ADD_FAILURE() << "the short file was read without complaint";
        } catch (const ToolError& error) {
            EXPECT_NE(std::string(error.what()).find(" of the 44100 frames its header promises"), std::string::npos)
                << error.what();
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

TEST(Quoted, KeepsAPathOnOneLineAndMarksWhereItEnds) {
    const std::pair<const char*, const char*> cases[] = {
        {"out.wav", "'out.wav'"},
        {"my song's.wav", "'my song\\'s.wav'"},
        {"two\nlines.wav", "'two\\nlines.wav'"},
        {"tab\tand\x1b", "'tab\\tand\\x1B'"},
        {"caf\xC3\xA9.wav", "'caf\xC3\xA9.wav'"},  // UTF-8 passes unchanged
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(quoted(path), expected);
    }
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
