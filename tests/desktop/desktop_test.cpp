// The shipped PipeWire microphone in a private desktop, run as a user runs it: the daemon's drop-in
// makes the source "Tinvoicer microphone", and the command of the shipped systemd unit runs the
// voice that feeds it. The source gives what the VST 2 module renders offline, bit for bit; the
// microphone is opened only for a recording; a plug-in that fails, and a voice that stops, never
// stop the daemon nor hand a recording program the real microphone. The recipe is first proven
// on a peer LV2 plug-in.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "desktop_fixtures.h"
#include "live/live_fixtures.h"
#include "support/signals.h"

namespace {

using namespace desktop_test;
namespace fs = std::filesystem;

constexpr const char* kSourcePort = "Tinvoicer microphone:capture_MONO";
constexpr const char* kFeedPort = "Tinvoicer microphone feed:input_MONO";
constexpr const char* kVoiceInputPort = "Tinvoicer microphone input:input_MONO";
constexpr const char* kVoiceOutputPort = "Tinvoicer microphone voice:output_MONO";
constexpr const char* kRecorderPort = "pw-record:input_MONO";
constexpr const char* kMicrophoneInput = "Test microphone:input_MONO";
const std::string kShippedFolder = TINVOICER_PIPEWIRE_DIR;
const std::string kPeerBundle = "/usr/lib/lv2/nodelay.lv2";

std::string shippedText(const std::string& name) {
    std::ifstream file(kShippedFolder + "/" + name);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

/// `text` with each `from` replaced by its `to`; empty when one is missing.
std::string replaced(std::string text, const std::vector<std::pair<std::string, std::string>>& replacements) {
    for (const auto& [from, to] : replacements) {
        const size_t at = text.find(from);
        if (at == std::string::npos) {
            return {};
        }
        text.replace(at, from.size(), to);
    }
    return text;
}

/// The command of the shipped systemd unit's ExecStart, split at blanks.
std::vector<std::string> unitCommand() {
    std::istringstream unit(shippedText("systemd/tinvoicer-microphone.service"));
    std::vector<std::string> words;
    for (std::string line; std::getline(unit, line);) {
        if (line.rfind("ExecStart=", 0) == 0) {
            std::istringstream command(line.substr(10));
            for (std::string word; command >> word;) {
                words.push_back(word);
            }
        }
    }
    return words;
}

/// The folder of the LV2 bundle this build makes, or empty when it makes none.
std::string builtBundle() {
#ifdef TINVOICER_LV2_BUNDLE
    return TINVOICER_LV2_BUNDLE;
#else
    return {};
#endif
}

/// The smallest lag at which `recording[n + lag]` equals `expected[n]` bit for bit wherever both
/// have samples, or -1 when no lag up to `maxLag` does.
long exactLag(const std::vector<float>& recording, const std::vector<float>& expected, size_t maxLag) {
    for (size_t lag = 0; lag <= maxLag && lag < recording.size(); ++lag) {
        const size_t common = std::min(recording.size() - lag, expected.size());
        const std::vector<float> shifted(recording.begin() + long(lag), recording.begin() + long(lag + common));
        if (test_support::firstBitDifference(shifted, {expected.begin(), expected.begin() + long(common)}) == -1) {
            return long(lag);
        }
    }
    return -1;
}

/// Plays `signal` into `inputPort` from the start of a cycle and records the source from that same
/// cycle on. Only a path that stays in one driver's cycles (not through the test microphone, which
/// drives itself) gives data to compare bit for bit.
std::vector<float> playAndRecordTheSource(const std::vector<float>& signal, const std::string& inputPort,
                                          bool exact = true) {
    live_test::PlayerAndRecorder clients(signal, signal.size());
    clients.connectThrough(inputPort, kSourcePort);
    // PipeWire makes links and starts the voice's nodes (activating the plug-in, which clears its
    // history) a few cycles after the connection requests return.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    clients.start();
    while (clients.framesRecorded() < signal.size()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(!exact || clients.clockGaps.load() == 0) << "cycles were lost; the data cannot match";
    return clients.recording;
}

bool allZero(const std::vector<float>& samples) {
    return std::all_of(samples.begin(), samples.end(), [](float sample) { return sample == 0.0f; });
}

/// The desktop with the shipped drop-in, and the voice as the shipped unit runs it.
class RobotMicrophone : public PrivateDesktop {
protected:
    void startDesktop(const std::string& lv2Path) {
        start(shippedText("tinvoicer-microphone.conf"), lv2Path);
        ASSERT_TRUE(waitForPort(kSourcePort)) << "no \"Tinvoicer microphone\"";
    }
    /// The unit's command, with `configuration` (a file's path) instead of the shipped one when given.
    pid_t startVoice(const std::string& lv2Path, const std::string& configuration = {}) {
        std::vector<std::string> command = unitCommand();
        EXPECT_GE(command.size(), 3u) << "the unit runs no `pipewire -c FILE`";
        if (!configuration.empty() && !command.empty()) {
            command.back() = configuration;
        }
        return startClient(command, lv2Path, "voice.log");
    }
    bool voiceFeedsTheSource() { return waitForLink(kFeedPort, kVoiceOutputPort); }
    pid_t startRecording(const std::string& lv2Path) {
        const pid_t recorder =
            startClient({"pw-record", "--target", "tinvoicer_microphone", root + "/recorded.wav"}, lv2Path);
        EXPECT_TRUE(waitForLink(kRecorderPort, kSourcePort)) << "pw-record is not recording the source";
        return recorder;
    }
    void skipWithoutBuiltBundle() {
        if (builtBundle().empty()) {
            GTEST_SKIP() << "skipped: this build makes no LV2 edition (scripts/setup lv2 installs its headers)";
        }
    }
};

TEST_F(RobotMicrophone, PeerPluginComesThroughBitForBitAtItsDelay) {
    if (!fs::exists(kPeerBundle)) {
        GTEST_SKIP() << "skipped: x42's nodelay is not installed (scripts/setup desktop)";
    }
    const std::string peer =
        replaced(shippedText("tinvoicer-voice.conf"),
                 {{"plugin = \"urn:vexa:tinvoicer\"", "plugin = \"http://gareus.org/oss/lv2/nodelay\""},
                  {"\"gain\" = 0.0", "\"delay\" = 100"}});
    ASSERT_FALSE(peer.empty()) << "the shipped voice names no Tinvoicer plug-in at 0 dB";
    const std::string lv2Path = lv2PathWith({kPeerBundle});
    startDesktop(lv2Path);
    std::ofstream(root + "/peer-voice.conf") << peer;
    startVoice(lv2Path, root + "/peer-voice.conf");
    ASSERT_TRUE(voiceFeedsTheSource());
    plugInMicrophone();
    ASSERT_TRUE(waitForLink(kVoiceInputPort, kMicrophoneOutput));

    const std::vector<float> signal = live_test::whiteNoise(size_t(live_test::kRateHz), 0.25f);
    EXPECT_EQ(exactLag(playAndRecordTheSource(signal, kVoiceInputPort), signal, 4096), 100);
}

TEST_F(RobotMicrophone, GivesTheOfflineRenderOpensTheMicrophoneOnlyToRecordAndNeverFeedsOnItself) {
    skipWithoutBuiltBundle();
    const std::string lv2Path = lv2PathWith({builtBundle()});
    startDesktop(lv2Path);
    const std::string source = commandOutput("pw-cli info tinvoicer_microphone");
    EXPECT_NE(source.find("media.class = \"Audio/Source\""), std::string::npos) << source;
    EXPECT_NE(source.find("audio.position = \"[ MONO ]\""), std::string::npos) << source;
    startVoice(lv2Path);
    ASSERT_TRUE(voiceFeedsTheSource()) << "the voice does not play into the source";

    // With no microphone, the source is the only one: the session manager must leave the voice's
    // input unlinked. Plugging one in makes it decide again, with both in view.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(linksOf(kVoiceInputPort).empty());
    plugInMicrophone();
    ASSERT_TRUE(waitForLink(kVoiceInputPort, kMicrophoneOutput)) << "the voice did not take the microphone";
    EXPECT_EQ(linksOf(kVoiceInputPort), std::vector<std::string>{kMicrophoneOutput});

    // The microphone runs only while a program records the source.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_NE(nodeState("test-microphone"), "running") << "the microphone is open with nobody recording";
    pid_t recorder = startRecording(lv2Path);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(nodeState("test-microphone"), "running") << "a recording does not reach the microphone";
    stopClient(recorder);

    const std::vector<float> signal = live_test::whiteNoise(size_t(live_test::kRateHz), 0.25f);
    int32_t latencyFrames = 0;
    const std::vector<float> reference = live_test::offlineRender(signal, latencyFrames);
    ASSERT_EQ(latencyFrames, 1024);
    // The reference carries the module's delay, so lag 0 means: late by exactly the latency reported.
    EXPECT_EQ(exactLag(playAndRecordTheSource(signal, kVoiceInputPort), reference, 4096), 0);
    EXPECT_EQ(logText("voice.log").find("can not be set"), std::string::npos) << "a control the plug-in lacks";

    unplugMicrophone();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(linksOf(kVoiceInputPort).empty()) << "after the microphone went, the voice records its own source";
}

/// A copy of the built bundle in a folder of its own, which the test may damage or copy over.
std::string copiedBundleFolder(const std::string& root) {
    const std::string folder = root + "/copied-lv2";
    fs::create_directories(folder);
    fs::copy(builtBundle(), folder + "/tinvoicer.lv2", fs::copy_options::recursive);
    return folder;
}

TEST_F(RobotMicrophone, APlugInThatFailsInUseEndsOnlyTheVoiceAndTheSourceStays) {
    skipWithoutBuiltBundle();
    const struct {
        const char* name;
        bool damagedBeforeStart;  ///< the shared object cut short, as an interrupted copy leaves it
        bool copiedOverInUse;     ///< the README's `cp -r build/tinvoicer.lv2 ~/.lv2/` while recording
    } cases[] = {{"DamagedCopy", true, false}, {"CopiedOverWhileRecording", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string lv2Path = copiedBundleFolder(root);
        const std::string sharedObject = lv2Path + "/tinvoicer.lv2/tinvoicer.so";
        if (c.damagedBeforeStart) {
            fs::resize_file(sharedObject, fs::file_size(sharedObject) / 2);
        }
        startDesktop(lv2Path);
        pid_t voice = startVoice(lv2Path);
        ASSERT_TRUE(voiceFeedsTheSource());
        plugInMicrophone();
        const pid_t recorder = startRecording(lv2Path);
        if (c.copiedOverInUse) {
            commandOutput("cp -r '" + builtBundle() + "' '" + lv2Path + "/'");
        }
        std::this_thread::sleep_for(std::chrono::seconds(2));

        EXPECT_TRUE(stillRunning(pipewire)) << "the daemon died: every sound on the desktop stopped";
        EXPECT_EQ(nodesNamed("tinvoicer_microphone"), 1);
        EXPECT_EQ(linksOf(kRecorderPort), std::vector<std::string>{kSourcePort});
        int status = 0;
        if (c.damagedBeforeStart) {
            ASSERT_TRUE(endsWithin(voice, std::chrono::seconds(5), status)) << "the damaged plug-in runs";
            EXPECT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) != 0) << "a failure that the unit does not restart";
        }
        // The unit starts a failed voice again; with the plug-in whole, the voice is back.
        stopClient(voice);
        fs::remove_all(lv2Path);
        copiedBundleFolder(root);
        startVoice(lv2Path);
        EXPECT_TRUE(voiceFeedsTheSource()) << "a voice started again does not feed the source";
        EXPECT_EQ(linksOf(kRecorderPort), std::vector<std::string>{kSourcePort});
        stopClient(recorder);
        TearDown();
        SetUp();
    }
}

TEST_F(RobotMicrophone, AVoiceThatStopsLeavesRecordingsOnTheSilentSourceNeverOnTheMicrophone) {
    skipWithoutBuiltBundle();
    const std::string lv2Path = lv2PathWith({builtBundle()});
    startDesktop(lv2Path);
    pid_t voice = startVoice(lv2Path);
    ASSERT_TRUE(voiceFeedsTheSource());
    plugInMicrophone();
    const pid_t recorder = startRecording(lv2Path);
    const std::vector<float> speech = live_test::whiteNoise(size_t(live_test::kRateHz / 2), 0.25f);
    ASSERT_FALSE(allZero(playAndRecordTheSource(speech, kMicrophoneInput, false))) << "the voice gives nothing";

    // Ctrl-C in a terminal, or the unit stopped; a crash is the test above.
    stopClient(voice, SIGINT);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(linksOf(kRecorderPort), std::vector<std::string>{kSourcePort}) << "the recording was moved";
    EXPECT_TRUE(allZero(playAndRecordTheSource(speech, kMicrophoneInput, false)))
        << "the source lets the microphone through";
    stopClient(recorder);
}

TEST_F(RobotMicrophone, AVoiceThatCannotRunEndsWithItsReasonAndTheSourceStaysOne) {
    skipWithoutBuiltBundle();
    const struct {
        const char* name;
        bool withPlugIn;
        bool anotherVoiceRuns;
        std::string logLine;
    } cases[] = {
        {"NoPlugIn", false, false, "can't load plugin urn:vexa:tinvoicer"},
        {"SecondVoice", true, true, "unable to lock lockfile"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string lv2Path =
            lv2PathWith(c.withPlugIn ? std::vector<std::string>{builtBundle()} : std::vector<std::string>{});
        startDesktop(lv2Path);
        if (c.anotherVoiceRuns) {
            startClient(unitCommand(), lv2Path, "first-voice.log");
            ASSERT_TRUE(voiceFeedsTheSource());
        }
        pid_t voice = startVoice(lv2Path);
        int status = 0;
        EXPECT_TRUE(endsWithin(voice, std::chrono::seconds(10), status)) << "the voice runs on, offering nothing";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << "status " << status;
        EXPECT_NE(logText("voice.log").find(c.logLine), std::string::npos);
        EXPECT_TRUE(stillRunning(pipewire));
        EXPECT_EQ(nodesNamed("tinvoicer_microphone"), 1);
        EXPECT_EQ(linksOf(kFeedPort).size(), c.anotherVoiceRuns ? 1u : 0u);
        TearDown();
        SetUp();
    }
}

TEST_F(RobotMicrophone, UnitIsOneSystemdReadsAndRestartsTheVoiceOnFailure) {
    const std::string unit = kShippedFolder + "/systemd/tinvoicer-microphone.service";
    EXPECT_NE(shippedText("systemd/tinvoicer-microphone.service").find("\nRestart=on-failure\n"), std::string::npos);
    if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "skipped: no systemd-analyze";
    }
    // systemd-analyze says nothing about a unit it reads without fault (its runtime folder is the
    // desktop's own).
    const std::string said = commandOutput("systemd-analyze --user verify '" + unit + "' 2>&1");
    EXPECT_EQ(said, "");
}

}  // namespace
