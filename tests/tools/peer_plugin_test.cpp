// The tool hosting VST 2 effects that nobody here wrote: Debian's DPF and LSP plug-in builds.
// Skipped where they are not installed; `scripts/setup peers` installs them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/signals.h"
#include "tool_runner.h"

namespace {

const char* const kModuleFolders[] = {"/usr/lib/vst", "/usr/local/lib/vst", "/usr/lib/x86_64-linux-gnu/vst"};

struct Peer {
    const char* name;
    const char* file;  ///< relative to a module folder
};

void PrintTo(const Peer& peer, std::ostream* out) { *out << peer.file; }

std::string findPeer(const Peer& peer) {
    for (const char* folder : kModuleFolders) {
        const std::string path = std::string(folder) + "/" + peer.file;
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0) {
            return path;
        }
    }
    return {};
}

/// Leaks inside modules written elsewhere are not this project's to find: in a sanitizer build the
/// tool is told to ignore leaks while it hosts them (the tests with our own module still check).
class IgnoreLeaksOfPeers : public ::testing::Environment {
public:
    void SetUp() override {
        const char* options = std::getenv("ASAN_OPTIONS");
        const std::string combined = std::string(options != nullptr ? options : "") + ":detect_leaks=0";
        ::setenv("ASAN_OPTIONS", combined.c_str(), 1);
    }
};
const ::testing::Environment* const ignoreLeaksOfPeers = ::testing::AddGlobalTestEnvironment(new IgnoreLeaksOfPeers);

Sound noise(int32_t channels, size_t frames) {
    Sound sound;
    sound.channels = channels;
    sound.samples = test_support::noise(frames * static_cast<size_t>(channels), 0.3f, 21);
    return sound;
}

class PeerPlugin : public ::testing::TestWithParam<Peer> {
protected:
    void SetUp() override {
        modulePath = findPeer(GetParam());
        if (modulePath.empty()) {
            GTEST_SKIP() << GetParam().file << " is not installed (scripts/setup peers installs "
                         << "dpf-plugins-vst and lsp-plugins-vst)";
        }
    }
    std::string modulePath;
    ScratchFolder folder;
};

TEST_P(PeerPlugin, IsListedWithItsIdentityAndParameters) {
    const ToolRun run = runTool({"--list", "--plugin", modulePath});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    for (const char* heading : {"Name:       ", "Unique id:  ", "Outputs:    ", "Parameters: "}) {
        EXPECT_NE(run.out.find(heading), std::string::npos) << heading << "\n" << run.out;
    }
    EXPECT_EQ(run.out.find("Name:       \n"), std::string::npos) << "the effect gave no name\n" << run.out;
}

TEST_P(PeerPlugin, RendersMonoAndStereoFilesToTheirFullLength) {
    for (int32_t channels : {1, 2}) {
        SCOPED_TRACE(std::to_string(channels) + " channels");
        const Sound input = noise(channels, 2 * 44100 + 123);
        writeSound(folder.file("in.wav"), input);
        const ToolRun run = runTool({folder.file("in.wav"), "-o", folder.file("out.wav"), "--plugin", modulePath});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const Sound output = readSound(folder.file("out.wav"));
        EXPECT_EQ(output.channels, channels);
        EXPECT_EQ(output.frames(), input.frames());
        EXPECT_TRUE(
            std::all_of(output.samples.begin(), output.samples.end(), [](float s) { return std::isfinite(s); }));
        EXPECT_TRUE(std::any_of(output.samples.begin(), output.samples.end(), [](float s) { return s != 0.0f; }))
            << "the effect gave only silence";
    }
}

// Two DPF builds and three LSP builds: stereo in and out, mono in and out, and one with a side chain
// input beyond the file's channels.
INSTANTIATE_TEST_SUITE_P(Debian, PeerPlugin,
                         ::testing::Values(Peer{"DpfMVerb", "MVerb-vst.so"}, Peer{"Dpf3BandEq", "3BandEQ-vst.so"},
                                           Peer{"LspCompressorStereo", "lsp-plugins/compressor-stereo.so"},
                                           Peer{"LspParaEqualizerMono", "lsp-plugins/para-equalizer-x16-mono.so"},
                                           Peer{"LspSidechainCompressorMono", "lsp-plugins/sc-compressor-mono.so"}),
                         [](const ::testing::TestParamInfo<Peer>& info) { return std::string(info.param.name); });

/// The first frame whose magnitude exceeds `threshold`, or the length when none does.
size_t onset(const std::vector<float>& x, float threshold) {
    return static_cast<size_t>(std::find_if(x.begin(), x.end(), [&](float s) { return std::fabs(s) > threshold; }) -
                               x.begin());
}

// LSP's limiter looks ahead (5 ms by default) but sets initialDelay only once it has processed
// audio: the tool's compensation has to find that delay all the same.
TEST(PeerLatency, LookaheadThatAppearsOnceRunningIsCompensated) {
    const std::string modulePath = findPeer(Peer{"LspLimiterMono", "lsp-plugins/limiter-mono.so"});
    if (modulePath.empty()) {
        GTEST_SKIP() << "lsp-plugins/limiter-mono.so is not installed (scripts/setup peers installs lsp-plugins-vst)";
    }
    ScratchFolder folder;
    Sound input;
    input.samples.assign(44100, 0.0f);
    for (int n = 0; n < 22050; ++n) {
        // A quiet tone, far below the limiter's threshold, so only its delay acts on it.
        input.samples.push_back(0.1f * static_cast<float>(std::sin(2.0 * 3.14159265358979 * 440.0 * n / 44100)));
    }
    writeSound(folder.file("in.wav"), input);
    const std::vector<std::string> common = {folder.file("in.wav"), "--plugin", modulePath, "-o"};
    std::vector<std::string> aligned = common;
    aligned.push_back(folder.file("aligned.wav"));
    std::vector<std::string> late = aligned;
    late.back() = folder.file("late.wav");
    late.push_back("--no-latency-compensation");
    for (const std::vector<std::string>& args : {aligned, late}) {
        const ToolRun run = runTool(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }

    const size_t inputOnset = onset(input.samples, 0.01f);
    EXPECT_EQ(onset(readSound(folder.file("aligned.wav")).samples, 0.01f), inputOnset);
    EXPECT_GT(onset(readSound(folder.file("late.wav")).samples, 0.01f), inputOnset + 100) << "no lookahead delay";
}

}  // namespace
