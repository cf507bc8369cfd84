// The shipped PipeWire configuration in a private desktop: "Tinvoicer microphone" gives what the
// VST 2 module renders offline, bit for bit, never feeds on its own output, and a missing plug-in
// leaves the desktop's sound running. The recipe is first proven on a peer LV2 plug-in.
#include <gtest/gtest.h>

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

constexpr const char* kSourcePort = "Tinvoicer microphone:capture_MONO";
constexpr const char* kFilterInputPort = "Tinvoicer microphone input:input_MONO";
const std::string kShippedFolder = TINVOICER_PIPEWIRE_DIR;
const std::string kPeerBundle = "/usr/lib/lv2/nodelay.lv2";

std::string shippedConfiguration() {
    std::ifstream file(kShippedFolder + "/tinvoicer-microphone.conf");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

/// The shipped configuration with each `from` replaced by its `to`; empty when one is missing.
std::string shippedWith(const std::vector<std::pair<std::string, std::string>>& replacements) {
    std::string text = shippedConfiguration();
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

/// The desktop, for tests that load the LV2 bundle this build makes.
class DesktopWithBuiltBundle : public PrivateDesktop {
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

/// Plays `signal` into the filter's input from the start of a cycle and records "Tinvoicer
/// microphone" from that same cycle on.
std::vector<float> playThroughFilter(const std::vector<float>& signal) {
    live_test::PlayerAndRecorder clients(signal, signal.size());
    clients.connectThrough(kFilterInputPort, kSourcePort);
    // PipeWire makes links and starts the filter's nodes (activating the plug-in, which clears its
    // history) a few cycles after the connection requests return.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    clients.start();
    while (clients.framesRecorded() < signal.size()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(clients.clockGaps.load(), 0) << "cycles were lost; the data cannot match";
    return clients.recording;
}

TEST_F(PrivateDesktop, PeerPluginComesThroughBitForBitAtItsDelay) {
    if (!std::filesystem::exists(kPeerBundle)) {
        GTEST_SKIP() << "skipped: x42's nodelay is not installed (scripts/setup desktop)";
    }
    const std::string peer =
        shippedWith({{"plugin = \"urn:vexa:tinvoicer\"", "plugin = \"http://gareus.org/oss/lv2/nodelay\""},
                     {"\"gain\" = 0.0", "\"delay\" = 100"}});
    ASSERT_FALSE(peer.empty()) << "the shipped configuration names no Tinvoicer plug-in at 0 dB";
    start(peer, lv2PathWith({kPeerBundle}));
    ASSERT_TRUE(waitForPort(kSourcePort));
    plugInMicrophone();
    ASSERT_TRUE(waitForLink(kFilterInputPort, kMicrophoneOutput));

    const std::vector<float> signal = live_test::whiteNoise(size_t(live_test::kRateHz), 0.25f);
    EXPECT_EQ(exactLag(playThroughFilter(signal), signal, 4096), 100);
}

TEST_F(DesktopWithBuiltBundle, TinvoicerMicrophoneGivesTheOfflineRenderAndNeverFeedsOnItself) {
    start(shippedConfiguration(), lv2PathWith({builtBundle()}));
    ASSERT_TRUE(waitForPort(kSourcePort)) << "no \"Tinvoicer microphone\"";
    const std::string source = commandOutput("pw-cli info tinvoicer_microphone");
    EXPECT_NE(source.find("media.class = \"Audio/Source\""), std::string::npos) << source;
    EXPECT_NE(source.find("audio.position = \"[ MONO ]\""), std::string::npos) << source;

    // With no microphone, the filter's own source is the only one: the session manager must leave
    // the filter's input unlinked. Plugging one in makes it decide again, with both in view.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(linksOf(kSourcePort).empty());
    plugInMicrophone();
    ASSERT_TRUE(waitForLink(kFilterInputPort, kMicrophoneOutput)) << "the filter did not take the microphone";
    EXPECT_EQ(linksOf(kFilterInputPort), std::vector<std::string>{kMicrophoneOutput});

    const std::vector<float> signal = live_test::whiteNoise(size_t(live_test::kRateHz), 0.25f);
    int32_t latencyFrames = 0;
    const std::vector<float> reference = live_test::offlineRender(signal, latencyFrames);
    ASSERT_EQ(latencyFrames, 1024);
    // The reference carries the module's delay, so lag 0 means: late by exactly the latency reported.
    EXPECT_EQ(exactLag(playThroughFilter(signal), reference, 4096), 0);
    EXPECT_EQ(pipewireLog().find("filter-chain"), std::string::npos) << "the configuration loads with a complaint";

    unplugMicrophone();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(linksOf(kSourcePort).empty()) << "after the microphone went, the filter feeds on its own output";
}

TEST_F(PrivateDesktop, MissingBundleLeavesPipeWireRunningAndNamesThePlugIn) {
    start(shippedConfiguration(), lv2PathWith({}));
    EXPECT_TRUE(waitForLog("can't load plugin urn:vexa:tinvoicer")) << pipewireLog();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(stillRunning(pipewire)) << "pipewire stopped";
    EXPECT_EQ(jack_port_by_name(watcher, kSourcePort), nullptr);
}

TEST_F(DesktopWithBuiltBundle, TryCommandOffersTheMicrophoneWhileItRuns) {
    const std::string lv2Path = lv2PathWith({builtBundle()});
    start("", lv2Path);
    const pid_t trial = startClient({"pipewire", "-c", kShippedFolder + "/tinvoicer-try.conf"}, lv2Path);
    EXPECT_TRUE(waitForPort(kSourcePort)) << "no \"Tinvoicer microphone\" while it runs";
    stopClient(trial);
    EXPECT_TRUE(waitForPort(kSourcePort, false)) << "\"Tinvoicer microphone\" stays after Ctrl-C";
}

}  // namespace
