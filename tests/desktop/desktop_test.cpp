// The shipped PipeWire configuration in a private desktop: "Tinvoicer microphone" gives what the
// VST 2 module renders offline, bit for bit, never feeds on its own output, and a missing plug-in
// leaves the desktop's sound running. The recipe is first proven on a peer LV2 plug-in.
// The voice runs apart from the daemon, by the command of the shipped systemd unit: whatever befalls
// it, the daemon runs on and a recording gets silence, never the real microphone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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

constexpr const char* kSourcePort = "Tinvoicer microphone:capture_MONO";
constexpr const char* kFilterInputPort = "Tinvoicer microphone input:input_MONO";
constexpr const char* kFeedPort = "Tinvoicer microphone feed:input_MONO";
constexpr const char* kRecorderPort = "pw-record:input_MONO";
const std::string kShippedFolder = TINVOICER_PIPEWIRE_DIR;
const std::string kPeerBundle = "/usr/lib/lv2/nodelay.lv2";

std::string shippedConfiguration(const std::string& name = "tinvoicer-microphone.conf") {
    std::ifstream file(kShippedFolder + "/" + name);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

/// The shipped voice with each `from` replaced by its `to`; empty when one is missing.
std::string shippedWith(const std::vector<std::pair<std::string, std::string>>& replacements) {
    std::string text = shippedConfiguration("tinvoicer-voice.conf");
    for (const auto& [from, to] : replacements) {
        const size_t at = text.find(from);
        if (at == std::string::npos) {
            return {};
        }
        text.replace(at, from.size(), to);
    }
    return text;
}

/// The folder of the LV2 bundle this build makes, or empty when it makes none.
std::string builtBundle() {
#ifdef TINVOICER_LV2_BUNDLE
    return TINVOICER_LV2_BUNDLE;
#else
    return {};
#endif
}

/// The desktop with the shipped drop-in; the voice runs by the shipped unit's command.
class RobotMicrophone : public PrivateDesktop {
protected:
    /// Runs `configuration` (a file) instead of the shipped one when given.
    pid_t startVoice(const std::string& lv2Path, const std::string& configuration = {}) {
        std::istringstream unit(shippedConfiguration("systemd/tinvoicer-microphone.service"));
        std::vector<std::string> command;
        for (std::string line; std::getline(unit, line);) {
            std::istringstream words(line.rfind("ExecStart=", 0) == 0 ? line.substr(10) : "");
            command.insert(command.end(), std::istream_iterator<std::string>(words), {});
        }
        EXPECT_EQ(command.size(), 3u) << "the unit runs no `pipewire -c FILE`";
        command.resize(3);
        command[2] = configuration.empty() ? command[2] : configuration;
        return startClient(command, lv2Path);
    }
    bool voiceFeedsTheSource() { return waitForLink(kFeedPort, "Tinvoicer microphone voice:output_MONO"); }
};

/// The desktop, for tests that load the LV2 bundle this build makes.
class DesktopWithBuiltBundle : public RobotMicrophone {
protected:
    void SetUp() override {
        if (builtBundle().empty()) {
            GTEST_SKIP() << "skipped: this build makes no LV2 edition (scripts/setup lv2 installs its headers)";
        }
        PrivateDesktop::SetUp();
    }
};

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

/// Plays `signal` into `input` from the start of a cycle and records "Tinvoicer
/// microphone" from that same cycle on.
/// Only the filter's input is in the source's cycles: the test microphone drives itself.
std::vector<float> playThroughFilter(const std::vector<float>& signal, const char* input = kFilterInputPort) {
    live_test::PlayerAndRecorder clients(signal, signal.size());
    clients.connectThrough(input, kSourcePort);
    // PipeWire makes links and starts the filter's nodes (activating the plug-in, which clears its
    // history) a few cycles after the connection requests return.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    clients.start();
    while (clients.framesRecorded() < signal.size()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(input != kFilterInputPort || clients.clockGaps.load() == 0)
        << "cycles were lost; the data cannot match";
    return clients.recording;
}

TEST_F(RobotMicrophone, PeerPluginComesThroughBitForBitAtItsDelay) {
    if (!std::filesystem::exists(kPeerBundle)) {
        GTEST_SKIP() << "skipped: x42's nodelay is not installed (scripts/setup desktop)";
    }
    const std::string peer =
        shippedWith({{"plugin = \"urn:vexa:tinvoicer\"", "plugin = \"http://gareus.org/oss/lv2/nodelay\""},
                     {"\"gain\" = 0.0", "\"delay\" = 100"}});
    ASSERT_FALSE(peer.empty()) << "the shipped configuration names no Tinvoicer plug-in at 0 dB";
    std::ofstream(root + "/peer-voice.conf") << peer;
    start(shippedConfiguration(), "");
    ASSERT_TRUE(waitForPort(kSourcePort));
    startVoice(lv2PathWith({kPeerBundle}), root + "/peer-voice.conf");
    ASSERT_TRUE(voiceFeedsTheSource());
    plugInMicrophone();
    ASSERT_TRUE(waitForLink(kFilterInputPort, kMicrophoneOutput));

    const std::vector<float> signal = live_test::whiteNoise(size_t(live_test::kRateHz), 0.25f);
    EXPECT_EQ(exactLag(playThroughFilter(signal), signal, 4096), 100);
}

TEST_F(DesktopWithBuiltBundle, TinvoicerMicrophoneGivesTheOfflineRenderAndNeverTheRealVoiceWhateverTheVoiceDoes) {
    // A copy of the bundle, which the test copies over and damages while it is in use.
    const std::string lv2Path = root + "/copied-lv2";
    const std::string copyTheBundle = "mkdir -p '" + lv2Path + "' && cp -r '" + builtBundle() + "' '" + lv2Path + "/'";
    commandOutput(copyTheBundle);
    start(shippedConfiguration(), lv2Path);
    ASSERT_TRUE(waitForPort(kSourcePort)) << "no \"Tinvoicer microphone\"";
    const std::string source = commandOutput("pw-cli info tinvoicer_microphone");
    EXPECT_NE(source.find("media.class = \"Audio/Source\""), std::string::npos) << source;
    EXPECT_NE(source.find("audio.position = \"[ MONO ]\""), std::string::npos) << source;
    pid_t voice = startVoice(lv2Path);
    ASSERT_TRUE(voiceFeedsTheSource()) << "the voice does not play into the source";

    // With no microphone, the filter's own source is the only one: the session manager must leave
    // the filter's input unlinked. Plugging one in makes it decide again, with both in view.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(linksOf(kSourcePort).empty());
    plugInMicrophone();
    ASSERT_TRUE(waitForLink(kFilterInputPort, kMicrophoneOutput)) << "the filter did not take the microphone";
    EXPECT_EQ(linksOf(kFilterInputPort), std::vector<std::string>{kMicrophoneOutput});

    // The microphone is open only while a program records the source.
    const auto microphoneOpen = [] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        return commandOutput("pw-cli info test-microphone | grep -c 'state: \"running\"'") == "1\n";
    };
    EXPECT_FALSE(microphoneOpen()) << "the microphone is open with nobody recording";
    startClient({"pw-record", "--target", "tinvoicer_microphone", root + "/recorded.wav"}, lv2Path);
    ASSERT_TRUE(waitForLink(kRecorderPort, kSourcePort)) << "pw-record is not recording the source";
    EXPECT_TRUE(microphoneOpen()) << "a recording does not reach the microphone";

    const std::vector<float> signal = live_test::whiteNoise(size_t(live_test::kRateHz), 0.25f);
    int32_t latencyFrames = 0;
    const std::vector<float> reference = live_test::offlineRender(signal, latencyFrames);
    ASSERT_EQ(latencyFrames, 1024);
    // The reference carries the module's delay, so lag 0 means: late by exactly the latency reported.
    EXPECT_EQ(exactLag(playThroughFilter(signal), reference, 4096), 0);
    EXPECT_EQ(clientsLog().find("can not be set"), std::string::npos) << "a control the plug-in lacks";

    unplugMicrophone();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(linksOf(kFilterInputPort).empty()) << "after the microphone went, the filter feeds on its own output";
    plugInMicrophone();
    ASSERT_TRUE(waitForLink(kFilterInputPort, kMicrophoneOutput));

    // Whatever befalls a voice, the daemon, the one source and the recording from it stay.
    const auto expectTheSourceStands = [&] {
        EXPECT_TRUE(stillRunning(pipewire)) << "the daemon died: every sound on the desktop stopped";
        EXPECT_EQ(commandOutput("pw-cli ls Node | grep -c 'node.name = \"tinvoicer_microphone\"'"), "1\n");
        EXPECT_EQ(linksOf(kRecorderPort), std::vector<std::string>{kSourcePort}) << "the recording was moved";
    };
    // A voice that cannot run ends by a failure, which the unit restarts, naming it in its output (a
    // damaged plug-in may end it by a signal, with no line).
    const auto expectFails = [&](const std::string& plugIns, const std::string& reason) {
        const size_t logged = clientsLog().size();
        int status = 0;
        EXPECT_TRUE(ended(startVoice(plugIns), status)) << reason << ": the voice runs on, offering nothing";
        EXPECT_NE(status, 0) << reason << ": an end the unit takes for a success";
        EXPECT_NE(clientsLog().find(reason, logged), std::string::npos) << reason;
        expectTheSourceStands();
    };
    expectFails(lv2Path, "unable to lock lockfile");

    // The unit stopped, or Ctrl-C: the recording stays on the source, which is silent.
    const std::vector<float> speech = live_test::whiteNoise(size_t(live_test::kRateHz / 2), 0.25f);
    ASSERT_NE(playThroughFilter(speech, "Test microphone:input_MONO"), std::vector<float>(speech.size()));
    stopClient(voice);
    EXPECT_EQ(playThroughFilter(speech, "Test microphone:input_MONO"), std::vector<float>(speech.size()))
        << "the source lets the microphone through";
    expectTheSourceStands();

    expectFails(lv2PathWith({}), "can't load plugin urn:vexa:tinvoicer");
    // The README's `cp -r build/tinvoicer.lv2 ~/.lv2/` while recording rewrites the mapped plug-in.
    voice = startVoice(lv2Path);
    ASSERT_TRUE(voiceFeedsTheSource());
    commandOutput(copyTheBundle);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    expectTheSourceStands();
    // The plug-in cut short, as an interrupted or disk-full copy leaves it.
    stopClient(voice);
    const std::string sharedObject = lv2Path + "/tinvoicer.lv2/tinvoicer.so";
    std::filesystem::resize_file(sharedObject, std::filesystem::file_size(sharedObject) / 2);
    expectFails(lv2Path, "");
}

TEST_F(RobotMicrophone, UnitIsOneSystemdReadsAndRestartsTheVoiceOnFailure) {
    const std::string unit = "systemd/tinvoicer-microphone.service";
    EXPECT_NE(shippedConfiguration(unit).find("\nRestart=on-failure\n"), std::string::npos);
    if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "skipped: no systemd-analyze";
    }
    // It says nothing about a unit it reads without fault (its runtime folder is the desktop's).
    EXPECT_EQ(commandOutput("systemd-analyze --user verify '" + kShippedFolder + "/" + unit + "' 2>&1"), "");
}

}  // namespace
