// The real tinvoicer-render executable on files it is given, with the real Tinvoicer module.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "support/signals.h"
#include "support/test_host.h"
#include "tool_runner.h"

namespace {

constexpr int32_t kRateHz = 44100;

/// The module's latency as the record reports it to a host other than the tool.
int32_t moduleLatency() {
    RecordingHost host;
    LoadedModule module;
    PluginInstance plugin(module);
    return plugin.effect()->initialDelay;
}

Sound monoSound(std::vector<float> samples, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    Sound sound;
    sound.samples = std::move(samples);
    sound.format = format;
    return sound;
}

/// Σ n·x[n]² / Σ x[n]² over frames [begin, end): where the sound's energy sits, in frames.
double energyCentre(const std::vector<float>& x, size_t begin, size_t end) {
    double weighted = 0.0;
    double total = 0.0;
    for (size_t n = begin; n < end; ++n) {
        const double energy = static_cast<double>(x[n]) * x[n];
        weighted += static_cast<double>(n) * energy;
        total += energy;
    }
    return weighted / total;
}

class RenderTool : public ::testing::Test {
protected:
    /// Renders `input` (written to in.wav) with `options`; asserts success and returns the output.
    Sound render(const Sound& input, std::vector<std::string> options, const std::string& outName = "out.wav") {
        writeSound(folder.file("in.wav"), input);
        std::vector<std::string> args = {folder.file("in.wav"), "-o", folder.file(outName)};
        args.insert(args.end(), options.begin(), options.end());
        lastRun = runTool(args);
        EXPECT_EQ(lastRun.exitCode, 0) << lastRun.err;
        return readSound(folder.file(outName));
    }

    ScratchFolder folder;
    ToolRun lastRun;
};

TEST_F(RenderTool, NoiseBurstsStayInPlaceWithCompensationAndMoveByTheDelayWithout) {
    // The effect rebuilds every frame from its magnitudes alone, which moves one burst's energy
    // centre by about ±13 frames at random. The mean over 256 bursts moves by under one frame,
    // while a host that misplaces the output by even one block is off by hundreds.
    constexpr size_t kBursts = 256;
    constexpr size_t kBurstFrames = 1024;
    constexpr size_t kSpacing = 4096;  // room for the effect's one-frame spread on both sides
    const int32_t latency = moduleLatency();
    ASSERT_GT(latency, 0);
    ASSERT_LE(latency, 1536);  // the measuring windows below reach this far beyond a burst
    // A spare spacing at the end holds the last burst's window even when shifted by the delay.
    std::vector<float> samples((kBursts + 1) * kSpacing, 0.0f);
    std::vector<size_t> starts;
    for (size_t burst = 0; burst < kBursts; ++burst) {
        // Bursts start at every offset within the effect's 256-frame hop, not only at one.
        starts.push_back(burst * kSpacing + 1536 + (burst * 37) % 256);
        const std::vector<float> noise = test_support::noise(kBurstFrames, 0.1f, static_cast<uint32_t>(burst + 1));
        std::copy(noise.begin(), noise.end(), samples.begin() + static_cast<std::ptrdiff_t>(starts.back()));
    }
    const Sound input = monoSound(samples);
    const Sound aligned = render(input, {});
    const Sound late = render(input, {"--no-latency-compensation"}, "late.wav");
    ASSERT_EQ(aligned.frames(), input.frames());
    ASSERT_EQ(late.frames(), input.frames() + latency);  // the effect's tail comes out too

    const auto meanShift = [&](const Sound& output, size_t windowOffset) {
        double sum = 0.0;
        for (size_t start : starts) {
            const size_t begin = start - 1536;
            const size_t end = start + kBurstFrames + 1536;
            sum += energyCentre(output.samples, begin + windowOffset, end + windowOffset) -
                   energyCentre(input.samples, begin, end);
        }
        return sum / kBursts;
    };
    EXPECT_NEAR(meanShift(aligned, 0), 0.0, 4.0);
    EXPECT_NEAR(meanShift(late, static_cast<size_t>(latency)), latency, 4.0);
    // And the two renders differ by exactly the delay, sample for sample.
    const auto delay = static_cast<std::ptrdiff_t>(latency);
    EXPECT_TRUE(std::equal(aligned.samples.begin(), aligned.samples.end() - delay, late.samples.begin() + delay));
}

struct LengthCase {
    int64_t frames;
    int format;
    const char* blockSize;
    const char* outName = "out.wav";
    int expectedFormat = 0;  ///< 0: the input's
};

void PrintTo(const LengthCase& c, std::ostream* out) {
    *out << c.frames << " frames, format 0x" << std::hex << c.format << std::dec << ", blocks of " << c.blockSize
         << " to " << c.outName;
}

class OutputLength : public RenderTool, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(OutputLength, EqualsTheInputsAndKeepsItsFormat) {
    const LengthCase c = GetParam();
    Sound input = monoSound(test_support::noise(static_cast<size_t>(c.frames), 0.25f, 3), c.format);
    const Sound output = render(input, {"--block-size", c.blockSize}, c.outName);
    EXPECT_EQ(output.frames(), c.frames);
    EXPECT_EQ(output.format, c.expectedFormat != 0 ? c.expectedFormat : c.format);
    EXPECT_EQ(output.rateHz, kRateHz);
    EXPECT_EQ(output.channels, 1);
}

// Lengths below, at and above the delay and the block; 16- and 24-bit PCM and float; MP3 in and out.
INSTANTIATE_TEST_SUITE_P(LengthsFormatsBlocks, OutputLength,
                         ::testing::Values(LengthCase{1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, "512"},
                                           LengthCase{1000, SF_FORMAT_WAV | SF_FORMAT_FLOAT, "1"},
                                           LengthCase{1024, SF_FORMAT_WAV | SF_FORMAT_PCM_24, "1024"},
                                           LengthCase{kRateHz + 17, SF_FORMAT_WAV | SF_FORMAT_PCM_16, "333"},
                                           LengthCase{kRateHz, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, "512",
                                                      "out.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                                           LengthCase{kRateHz, SF_FORMAT_WAV | SF_FORMAT_PCM_16, "512", "out.mp3",
                                                      SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III}));

TEST_F(RenderTool, EachChannelOfAMultiChannelFileGoesThroughItsOwnInstance) {
    constexpr int32_t channels = 3;
    constexpr size_t frames = 20000;
    Sound input;
    input.channels = channels;
    input.samples.resize(frames * channels);
    std::vector<std::vector<float>> planes;
    for (int32_t c = 0; c < channels; ++c) {
        planes.push_back(test_support::noise(frames, 0.3f, static_cast<uint32_t>(11 + c)));
        for (size_t n = 0; n < frames; ++n) {
            input.samples[n * channels + static_cast<size_t>(c)] = planes.back()[n];
        }
    }
    const Sound output = render(input, {});
    ASSERT_EQ(output.channels, channels);
    ASSERT_EQ(output.frames(), static_cast<int64_t>(frames));
    for (int32_t c = 0; c < channels; ++c) {
        const Sound alone = render(monoSound(planes[static_cast<size_t>(c)]), {}, "alone.wav");
        // Instances share nothing, so a channel comes out exactly as it would on its own.
        EXPECT_EQ(output.channel(c), alone.samples) << "channel " << c;
    }
}

TEST_F(RenderTool, ConversionToPcmReportsAndClipsWhatExceedsFullScale) {
    const Sound input = monoSound(test_support::noise(30000, 0.9f, 5));
    const std::vector<std::string> loud = {"--param", "Gain=1"};  // the largest output factor
    const Sound asFloat = render(input, loud, "float.wav");
    ASSERT_TRUE(lastRun.err.empty()) << lastRun.err;
    const long clipped =
        std::count_if(asFloat.samples.begin(), asFloat.samples.end(), [](float s) { return std::fabs(s) > 1.0f; });
    ASSERT_GT(clipped, 0);

    std::vector<std::string> toPcm = loud;
    toPcm.insert(toPcm.end(), {"--sample-format", "16"});
    const Sound asPcm = render(input, toPcm, "pcm.wav");
    EXPECT_EQ(asPcm.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_NE(lastRun.err.find("'" + folder.file("pcm.wav") + "': " + std::to_string(clipped) + " samples clipped"),
              std::string::npos)
        << lastRun.err;
    ASSERT_EQ(asPcm.samples.size(), asFloat.samples.size());
    for (size_t n = 0; n < asPcm.samples.size(); ++n) {
        // Clipped, not wrapped round; elsewhere within 16-bit rounding.
        ASSERT_NEAR(asPcm.samples[n], std::clamp(asFloat.samples[n], -1.0f, 1.0f), 1.0f / 32768) << n;
    }
}

TEST_F(RenderTool, ParameterByNameOrIndexSetsTheSameValue) {
    const Sound input = monoSound(test_support::noise(8000, 0.3f, 6));
    const Sound byName = render(input, {"--param", "  gAIN=0.3"}, "name.wav");
    const Sound byIndex = render(input, {"--param", "0=0.3"}, "index.wav");
    const Sound unchanged = render(input, {}, "default.wav");
    EXPECT_EQ(byName.samples, byIndex.samples);
    EXPECT_NE(byName.samples, unchanged.samples);
}

TEST_F(RenderTool, ListShowsWhatTheRecordAndTheDispatcherTell) {
    RecordingHost host;
    LoadedModule module;
    PluginInstance plugin(module);
    plugin.setParameter(0, 0.75f);
    const ToolRun run = runTool({"--list", "--param", "Gain=0.75", "--program", "2"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const AEffect& record = *plugin.effect();
    const auto idByte = [&](int shift) { return static_cast<char>((record.uniqueID >> shift) & 0xFF); };
    const std::string expectedLines[] = {
        "Name:       " + plugin.text(effGetEffectName),
        "Vendor:     " + plugin.text(effGetVendorString),
        "Product:    " + plugin.text(effGetProductString),
        "Unique id:  " + std::string{idByte(24), idByte(16), idByte(8), idByte(0)},
        "Inputs:     " + std::to_string(record.numInputs),
        "Outputs:    " + std::to_string(record.numOutputs),
        "Latency:    " + std::to_string(record.initialDelay) + " samples",
        "Programs:   " + std::to_string(record.numPrograms),
        "  *   2  ",
        "Parameters: " + std::to_string(record.numParams),
        "0.7500  " +
            plugin.text(effGetParamDisplay, 0).substr(plugin.text(effGetParamDisplay, 0).find_first_not_of(' ')),
    };
    for (const std::string& line : expectedLines) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    }
}

TEST_F(RenderTool, WithoutInputRendersTheDemoVoice) {
    const ToolRun saved = runTool({"--save-demo", folder.file("voice.wav")});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    const ToolRun rendered = runTool({"-o", folder.file("robot.wav")});
    ASSERT_EQ(rendered.exitCode, 0) << rendered.err;
    const Sound voice = readSound(folder.file("voice.wav"));
    const Sound robot = readSound(folder.file("robot.wav"));
    EXPECT_EQ(robot.frames(), voice.frames());
    EXPECT_GE(voice.frames(), 3 * kRateHz);
    EXPECT_GT(*std::max_element(robot.samples.begin(), robot.samples.end()), 0.01f);
    // The demo is the same sound as a file or built in: rendering the file gives the same result.
    const ToolRun fromFile = runTool({folder.file("voice.wav"), "-o", folder.file("robot2.wav")});
    ASSERT_EQ(fromFile.exitCode, 0) << fromFile.err;
    EXPECT_EQ(readSound(folder.file("robot2.wav")).samples, robot.samples);
}

/// One bad command: what it is given, and what its one-line message must contain.
struct BadInput {
    const char* name;
    std::vector<std::string> args;  ///< "@" stands for the scratch folder
    std::string messageFragment;
    bool unprivileged = false;  ///< as a user whom a folder's permissions can refuse
};

void PrintTo(const BadInput& c, std::ostream* out) { *out << c.name; }

std::string inFolder(const std::string& arg, const ScratchFolder& folder) {
    std::string resolved = arg;
    for (size_t at = resolved.find('@'); at != std::string::npos; at = resolved.find('@', at + folder.path.size())) {
        resolved.replace(at, 1, folder.path);
    }
    return resolved;
}

class BadInputs : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputs, GetOneLineNamingTheCauseAndLoseNothing) {
    const BadInput& c = GetParam();
    if (c.unprivileged && !whyNobodyCannotRunTheTool().empty()) {
        GTEST_SKIP() << whyNobodyCannotRunTheTool();
    }
    ScratchFolder folder;
    writeSound(folder.file("in.wav"), monoSound(test_support::noise(4000, 0.2f, 9)));
    writeBytes(folder.file("junk.wav"), "this is not audio\n");
    writeBytes(folder.file("broken.so"), "this is not a module\n");
    writeBytes(folder.file("out.wav"), "an earlier result\n");
    ASSERT_EQ(::link(folder.file("in.wav").c_str(), folder.file("alias.wav").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/full", folder.file("full.flac").c_str()), 0);
    writeSound(folder.file("cut.flac"),
               monoSound(test_support::noise(44100, 0.2f, 9), SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
    ASSERT_EQ(
        ::truncate(folder.file("cut.flac").c_str(), static_cast<off_t>(readBytes(folder.file("cut.flac")).size() / 2)),
        0);
    // A folder that takes no new file, holding a file that anyone may write: for any user.
    ::chmod(folder.path.c_str(), 0755);
    ASSERT_EQ(::mkdir(folder.file("locked").c_str(), 0755), 0);
    writeBytes(folder.file("locked/exists.wav"), "an earlier result\n");
    ::chmod(folder.file("locked/exists.wav").c_str(), 0666);
    ::chmod(folder.file("locked").c_str(), 0555);
    const std::string inputBytes = readBytes(folder.file("in.wav"));
    const std::vector<std::string> namesBefore = folder.names();

    std::vector<std::string> args;
    for (const std::string& arg : c.args) {
        args.push_back(inFolder(arg, folder));
    }
    RunSetup setup;
    setup.unprivileged = c.unprivileged;
    const ToolRun run = runTool(args, setup);
    ::chmod(folder.file("locked").c_str(), 0755);

    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.signalNumber, 0);
    EXPECT_NE(run.err.find(inFolder(c.messageFragment, folder)), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("tinvoicer-render: ", 0), 0u) << run.err;
    EXPECT_EQ(folder.names(), namesBefore) << "a file was left behind or removed";
    EXPECT_EQ(readBytes(folder.file("out.wav")), "an earlier result\n");
    EXPECT_EQ(readBytes(folder.file("in.wav")), inputBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadInputs,
    ::testing::Values(
        BadInput{"MissingInput", {"@/nothing.wav", "-o", "@/out.wav"}, "'@/nothing.wav': cannot read: No such file"},
        BadInput{"InputIsAFolder", {"@", "-o", "@/out.wav"}, "'@': cannot read: is a folder"},
        BadInput{"UnreadableFormat", {"@/junk.wav", "-o", "@/out.wav"}, "'@/junk.wav': cannot read: "},
        BadInput{"OutputFolderMissing", {"@/in.wav", "-o", "@/no/out.wav"}, "'@/no/out.wav': cannot write: No such"},
        BadInput{"OutputIsAFolder", {"@/in.wav", "-o", "@"}, "'@': cannot write: is a folder"},
        BadInput{"OutputFolderTakesNoNewFile",
                 {"@/in.wav", "-o", "@/locked/exists.wav"},
                 "'@/locked/exists.wav': cannot write into its folder '@/locked': Permission denied",
                 true},
        BadInput{"OutputIsTheInput", {"@/in.wav", "-o", "@/in.wav"}, "'@/in.wav': is the input file"},
        BadInput{"OutputIsTheInputByAnotherName", {"@/in.wav", "-o", "@/./in.wav"}, "'@/./in.wav': is the input file"},
        BadInput{"OutputIsAHardLinkToTheInput", {"@/in.wav", "-o", "@/alias.wav"}, "'@/alias.wav': is the input file"},
        BadInput{"ModuleMissing",
                 {"@/in.wav", "-o", "@/out.wav", "--plugin", "@/none.so"},
                 "'@/none.so': cannot load module: No such file"},
        BadInput{"ModuleDoesNotLoad",
                 {"@/in.wav", "-o", "@/out.wav", "--plugin", "@/broken.so"},
                 "'@/broken.so': cannot load module: "},
        BadInput{"ModuleHasNoMain",
                 {"@/in.wav", "-o", "@/out.wav", "--plugin", FAULT_NO_ENTRY_PATH},
                 "'" FAULT_NO_ENTRY_PATH "': not a VST 2 module: exports neither VSTPluginMain nor main"},
        BadInput{"MainReturnsNull",
                 {"@/in.wav", "-o", "@/out.wav", "--plugin", FAULT_NULL_RECORD_PATH},
                 "'" FAULT_NULL_RECORD_PATH "': the module's main returned no effect"},
        BadInput{"WrongMagic",
                 {"@/in.wav", "-o", "@/out.wav", "--plugin", FAULT_WRONG_MAGIC_PATH},
                 "'" FAULT_WRONG_MAGIC_PATH "': not a VST 2 effect: magic 0x4E6F7065 instead of 0x56737450"},
        BadInput{"NoOutputs",
                 {"@/in.wav", "-o", "@/out.wav", "--plugin", FAULT_NO_OUTPUTS_PATH},
                 "'" FAULT_NO_OUTPUTS_PATH "': the effect has no outputs"},
        BadInput{"UnknownParameter",
                 {"@/in.wav", "-o", "@/out.wav", "--param", "Volume=0.5"},
                 "--param Volume: no parameter of that name (the effect has: Gain, Depth)"},
        BadInput{"ParameterIndexOutOfRange",
                 {"@/in.wav", "-o", "@/out.wav", "--param", "7=0.5"},
                 "--param 7: the effect has parameters 0 to 1"},
        BadInput{"UnknownProgram",
                 {"@/in.wav", "-o", "@/out.wav", "--program", "Opera"},
                 "--program Opera: no program of that name"},
        BadInput{"ProgramIndexOutOfRange",
                 {"@/in.wav", "-o", "@/out.wav", "--program", "4"},
                 "--program 4: the effect has programs 0 to 3"},
        BadInput{"ValueAboveOne",
                 {"@/in.wav", "-o", "@/out.wav", "--param", "Gain=1.01"},
                 "--param Gain=1.01: value 1.01 is outside 0 to 1"},
        BadInput{"ValueBelowZero",
                 {"@/in.wav", "-o", "@/out.wav", "--param", "Depth=-1"},
                 "--param Depth=-1: value -1 is outside 0 to 1"},
        BadInput{"OptionAfterDoubleDash", {"--", "@/in.wav", "-o", "@/out.wav"}, "'-o' comes after '--', which ends"},
        BadInput{"SampleFormatTheContainerLacks",
                 {"@/in.wav", "-o", "@/out.flac", "--sample-format", "float"},
                 "'@/out.flac': FLAC (Free Lossless Audio Codec) cannot hold 32 bit float samples"}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

/// An output that is not a plain new file: what the test makes at its path, and what must be
/// there after a successful render.
struct OutputTarget {
    const char* name;
    std::string output;  ///< "@" stands for the scratch folder
    std::function<void(const ScratchFolder&)> prepare;
    std::function<void(const ScratchFolder&, const ToolRun&, const Sound& input)> check;
};

void PrintTo(const OutputTarget& c, std::ostream* out) { *out << c.name; }

mode_t modeOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return status.st_mode;
}

void expectRendered(const std::string& path, const Sound& input) {
    EXPECT_EQ(readSound(path).samples, input.samples) << path;
}

class OutputTargets : public ::testing::TestWithParam<OutputTarget> {};

TEST_P(OutputTargets, AreWrittenWithoutReplacingWhatIsNotARegularFile) {
    const OutputTarget& c = GetParam();
    ScratchFolder folder;
    const Sound input = monoSound(test_support::noise(3000, 0.2f, 4));
    writeSound(folder.file("in.wav"), input);
    c.prepare(folder);
    const ToolRun run =
        runTool({folder.file("in.wav"), "-o", inFolder(c.output, folder), "--plugin", FAULT_RAISE_IN_PROCESS_PATH});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    c.check(folder, run, input);
    for (const std::string& name : folder.names()) {
        EXPECT_NE(name.rfind(".tinvoicer-render-", 0), 0u) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, OutputTargets,
    ::testing::Values(
        OutputTarget{"ReadOnlyFileKeepsItsMode", "@/out.wav",
                     [](const ScratchFolder& f) {
                         writeBytes(f.file("out.wav"), "old");
                         ::chmod(f.file("out.wav").c_str(), 0400);
                     },
                     [](const ScratchFolder& f, const ToolRun&, const Sound& input) {
                         EXPECT_EQ(modeOf(f.file("out.wav")) & 07777, 0400u);
                         expectRendered(f.file("out.wav"), input);
                     }},
        OutputTarget{"GroupFileKeepsItsMode", "@/out.wav",
                     [](const ScratchFolder& f) {
                         writeBytes(f.file("out.wav"), "old");
                         ::chmod(f.file("out.wav").c_str(), 0750);
                     },
                     [](const ScratchFolder& f, const ToolRun&, const Sound&) {
                         EXPECT_EQ(modeOf(f.file("out.wav")) & 07777, 0750u);
                     }},
        OutputTarget{"SymlinkWritesItsTarget", "@/link.wav",
                     [](const ScratchFolder& f) {
                         ::mkdir(f.file("elsewhere").c_str(), 0700);
                         writeBytes(f.file("elsewhere/target.wav"), "old");
                         ::symlink("elsewhere/target.wav", f.file("link.wav").c_str());
                     },
                     [](const ScratchFolder& f, const ToolRun&, const Sound& input) {
                         EXPECT_TRUE(S_ISLNK(modeOf(f.file("link.wav"))));
                         expectRendered(f.file("elsewhere/target.wav"), input);
                         EXPECT_EQ(f.names(), (std::vector<std::string>{"elsewhere", "in.wav", "link.wav"}));
                     }},
        OutputTarget{"SymlinkToADeviceWritesTheDevice", "@/null.wav",
                     [](const ScratchFolder& f) { ::symlink("/dev/null", f.file("null.wav").c_str()); },
                     [](const ScratchFolder& f, const ToolRun&, const Sound&) {
                         EXPECT_TRUE(S_ISLNK(modeOf(f.file("null.wav"))));
                         EXPECT_TRUE(S_ISCHR(modeOf("/dev/null")));
                     }},
        // /dev/fd/1 rather than /dev/stdout: both lead through /proc, but a tool that renamed over
        // this one would fail for want of permission instead of replacing a system link.
        OutputTarget{"StandardOutputIsWrittenThrough", "/dev/fd/1", [](const ScratchFolder&) {},
                     [](const ScratchFolder& f, const ToolRun& run, const Sound& input) {
                         writeBytes(f.file("captured.wav"), run.out);
                         expectRendered(f.file("captured.wav"), input);
                     }},
        OutputTarget{"NameOf240Characters", "@/" + std::string(236, 'n') + ".wav", [](const ScratchFolder&) {},
                     [](const ScratchFolder& f, const ToolRun&, const Sound& input) {
                         expectRendered(f.file(std::string(236, 'n') + ".wav"), input);
                     }}),
    [](const ::testing::TestParamInfo<OutputTarget>& info) { return std::string(info.param.name); });

TEST(OutputTargets, AFifoGetsAStreamThatNeedsNoSeeking) {
    ScratchFolder folder;
    const Sound input = monoSound(test_support::noise(3000, 0.2f, 4));
    writeSound(folder.file("in.wav"), input);
    ASSERT_EQ(::mkfifo(folder.file("fifo").c_str(), 0600), 0);
    // A writer of the test's own, held until the tool is done, so that the reader below neither
    // blocks in open nor sees the end of the stream before the tool has written it.
    const int holder = ::open(folder.file("fifo").c_str(), O_RDWR);
    ASSERT_GE(holder, 0);
    ToolRun run;
    std::thread tool([&] {
        run = runTool({folder.file("in.wav"), "-o", folder.file("fifo"), "--plugin", FAULT_RAISE_IN_PROCESS_PATH});
        ::close(holder);
    });
    const std::string streamed = readBytes(folder.file("fifo"));
    tool.join();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(S_ISFIFO(modeOf(folder.file("fifo"))));
    writeBytes(folder.file("streamed.au"), streamed);
    const Sound output = readSound(folder.file("streamed.au"));
    EXPECT_EQ(output.format, SF_FORMAT_AU | SF_FORMAT_FLOAT);  // the input's WAV cannot be streamed
    EXPECT_EQ(output.samples, input.samples);
}

TEST_F(RenderTool, NonFiniteSamplesBecomeZeroAndAreCounted) {
    std::vector<float> samples = test_support::noise(20000, 0.2f, 8);
    std::fill(samples.begin() + 5000, samples.begin() + 5010, std::numeric_limits<float>::quiet_NaN());
    const Sound output = render(monoSound(samples), {"--sample-format", "16"}, "out.flac");
    // The effect spreads a NaN over the frames that hold it, so only the line says how many.
    EXPECT_TRUE(std::all_of(output.samples.begin(), output.samples.end(), [](float s) { return std::isfinite(s); }));
    EXPECT_NE(lastRun.err.find("non-finite samples (NaN or infinity) written as 0"), std::string::npos) << lastRun.err;
    EXPECT_EQ(output.frames(), 20000);
}

TEST(StandardOutput, AFailedWriteOfTheHelpOrTheListingIsAnError) {
    for (const char* option : {"--help", "--list"}) {
        RunSetup setup;
        setup.stdoutPath = "/dev/full";
        const ToolRun run = runTool({option}, setup);
        EXPECT_EQ(run.exitCode, 1) << option;
        EXPECT_EQ(run.err, "tinvoicer-render: standard output: write failed: No space left on device\n") << option;
    }
}

/// One run in a hostile environment: a module that crashes or raises a signal mid-render, signals
/// inherited as ignored, a file-size limit. The output may only be complete or untouched.
struct HostileRun {
    const char* name;
    const char* module;  ///< a fault module, or nullptr for Tinvoicer
    int raisedSignal;    ///< raised by the module during the render; 0: none
    std::vector<int> ignoredSignals;
    long fileSizeLimitBytes;
    int expectedSignal;  ///< the signal the tool dies of, or 0 when it exits
    int expectedExitCode;
    std::string message;  ///< the one line on stderr; empty: nothing
};

void PrintTo(const HostileRun& c, std::ostream* out) { *out << c.name; }

class HostileEnvironment : public ::testing::TestWithParam<HostileRun> {};

TEST_P(HostileEnvironment, EndsWithOneLineAndTheOutputCompleteOrUntouched) {
    const HostileRun& c = GetParam();
    ScratchFolder folder;
    const Sound input = monoSound(test_support::noise(20 * 512, 0.2f, 9));
    writeSound(folder.file("in.wav"), input);
    writeBytes(folder.file("out.wav"), "an earlier result\n");
    const std::vector<std::string> namesBefore = folder.names();
    RunSetup setup;
    if (c.raisedSignal != 0) {
        setup.environment.emplace_back("TINVOICER_FAULT_SIGNAL", std::to_string(c.raisedSignal));
    }
    setup.ignoredSignals = c.ignoredSignals;
    setup.fileSizeLimitBytes = c.fileSizeLimitBytes;
    std::vector<std::string> args = {folder.file("in.wav"), "-o", folder.file("out.wav")};
    if (c.module != nullptr) {
        args.insert(args.end(), {"--plugin", c.module});
    }
    const ToolRun run = runTool(args, setup);

    EXPECT_EQ(run.signalNumber, c.expectedSignal) << run.err;
    EXPECT_EQ(run.exitCode, c.expectedExitCode) << run.err;
    EXPECT_EQ(folder.names(), namesBefore) << "a temporary file was left behind";
    if (c.expectedExitCode == 0) {
        EXPECT_EQ(readSound(folder.file("out.wav")).samples, input.samples);
        EXPECT_EQ(run.err, "");
        return;
    }
    EXPECT_EQ(readBytes(folder.file("out.wav")), "an earlier result\n");
    EXPECT_EQ(run.err, c.message.empty() ? "" : "tinvoicer-render: " + inFolder(c.message, folder) + "\n");
}

std::string crashLine(const std::string& modulePath, const std::string& step, const char* signalName) {
    return "'" + modulePath + "' crashed in " + step + " (" + signalName + ")";
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostileEnvironment,
    ::testing::Values(HostileRun{"CrashInMain",
                                 FAULT_CRASH_IN_MAIN_PATH,
                                 0,
                                 {},
                                 0,
                                 SIGABRT,
                                 -1,
                                 crashLine(FAULT_CRASH_IN_MAIN_PATH, "main", "SIGABRT")},
                      HostileRun{"CrashInDispatcher",
                                 FAULT_CRASH_IN_DISPATCHER_PATH,
                                 0,
                                 {},
                                 0,
                                 SIGFPE,
                                 -1,
                                 crashLine(FAULT_CRASH_IN_DISPATCHER_PATH, "the dispatcher (opcode 12)", "SIGFPE")},
                      HostileRun{"CrashInProcessing",
                                 FAULT_CRASH_IN_PROCESS_PATH,
                                 0,
                                 {},
                                 0,
                                 SIGSEGV,
                                 -1,
                                 crashLine(FAULT_CRASH_IN_PROCESS_PATH, "processReplacing", "SIGSEGV")},
                      HostileRun{"Hangup", FAULT_RAISE_IN_PROCESS_PATH, SIGHUP, {}, 0, SIGHUP, -1, ""},
                      HostileRun{"Interrupt", FAULT_RAISE_IN_PROCESS_PATH, SIGINT, {}, 0, SIGINT, -1, ""},
                      HostileRun{"Quit", FAULT_RAISE_IN_PROCESS_PATH, SIGQUIT, {}, 0, SIGQUIT, -1, ""},
                      HostileRun{"Terminate", FAULT_RAISE_IN_PROCESS_PATH, SIGTERM, {}, 0, SIGTERM, -1, ""},
                      HostileRun{"User1", FAULT_RAISE_IN_PROCESS_PATH, SIGUSR1, {}, 0, SIGUSR1, -1, ""},
                      HostileRun{"User2", FAULT_RAISE_IN_PROCESS_PATH, SIGUSR2, {}, 0, SIGUSR2, -1, ""},
                      HostileRun{"BrokenPipe", FAULT_RAISE_IN_PROCESS_PATH, SIGPIPE, {}, 0, SIGPIPE, -1, ""},
                      HostileRun{"Alarm", FAULT_RAISE_IN_PROCESS_PATH, SIGALRM, {}, 0, SIGALRM, -1, ""},
                      HostileRun{"VirtualAlarm", FAULT_RAISE_IN_PROCESS_PATH, SIGVTALRM, {}, 0, SIGVTALRM, -1, ""},
                      HostileRun{"Profiling", FAULT_RAISE_IN_PROCESS_PATH, SIGPROF, {}, 0, SIGPROF, -1, ""},
                      HostileRun{"FileSizeSignal", FAULT_RAISE_IN_PROCESS_PATH, SIGXFSZ, {}, 0, 0, 0, ""},
                      // nohup, and a background job's interrupt key: an inherited "ignore" is kept.
                      HostileRun{"HangupUnderNohup", FAULT_RAISE_IN_PROCESS_PATH, SIGHUP, {SIGHUP}, 0, 0, 0, ""},
                      HostileRun{"InterruptInBackground", FAULT_RAISE_IN_PROCESS_PATH, SIGINT, {SIGINT}, 0, 0, 0, ""},
                      // ulimit -f: the write fails and says so, where SIGXFSZ would have killed the tool silently.
                      HostileRun{"FileSizeLimit",
                                 FAULT_RAISE_IN_PROCESS_PATH,
                                 0,
                                 {},
                                 16384,
                                 0,
                                 1,
                                 "'@/out.wav': write failed: File too large"}),
    [](const ::testing::TestParamInfo<HostileRun>& info) { return std::string(info.param.name); });

}  // namespace
