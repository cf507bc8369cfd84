// The LV2 edition live: Debian's jalv hosts it on a private JACK server, between the tests' own
// player and recorder, as tinvoicer-live's tests do. The recipe is first proven on a peer from
// Debian (x42's nodelay, which delays by a set amount and reports it), so that a broken recipe is
// not mistaken for a broken plug-in.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "live_fixtures.h"
#include "support/signals.h"

namespace {

using namespace live_test;

constexpr const char* kJalv = "/usr/bin/jalv";

class JalvOnPrivateJack : public PrivateJackServer {
protected:
    void SetUp() override {
        if (::access(kJalv, X_OK) != 0) {
            GTEST_SKIP() << "skipped: no " << kJalv << " (scripts/setup lv2-checks)";
        }
        PrivateJackServer::SetUp();
        // Hosts find bundles through LV2_PATH: the built bundle alone, then Debian's.
        ASSERT_NE(::mkdtemp(bundles), nullptr);
        link = std::string(bundles) + "/tinvoicer.lv2";
        ASSERT_EQ(::symlink(TINVOICER_LV2_BUNDLE_PATH, link.c_str()), 0);
        jalvSetup.environment = {{"LV2_PATH", std::string(bundles) + ":/usr/lib/lv2"}};
    }
    void TearDown() override {
        if (!link.empty()) ::unlink(link.c_str());
        ::rmdir(bundles);
        PrivateJackServer::TearDown();
    }

    /// Plays `signal` through jalv running `uri` as client `name`; returns the recording and, in
    /// `latencyFrames`, the capture latency JACK reports at the client's output.
    std::vector<float> playThrough(const std::string& uri, const std::string& name, const std::vector<float>& signal,
                                   std::vector<std::string> controls, jack_nframes_t& latencyFrames) {
        std::vector<std::string> args = {kJalv, "-n", name, "-x"};
        for (const std::string& control : controls) args.insert(args.end(), {"-c", control});
        args.push_back(uri);
        auto jalv = startClient(args, name + ":out", jalvSetup);
        PlayerAndRecorder clients(signal, signal.size());
        clients.connectThrough(name);
        clients.start();
        clients.waitUntilRecorded(signal.size());
        EXPECT_EQ(clients.clockGaps.load(), 0) << "cycles were lost; the data cannot match";
        // Debian 12's jalv (1.6.6) publishes the plug-in's latency with the directions swapped: as
        // capture latency on its input port rather than its output port. Either port counts, so
        // that a jalv that publishes it where JACK's documentation puts it passes too; the peer
        // proves that the number is the path's delay.
        latencyFrames =
            std::max(captureLatency(clients.recorder, name + ":in"), captureLatency(clients.recorder, name + ":out"));
        jalv->signal(SIGTERM);
        jalv->finish();
        return clients.recording;
    }

    static jack_nframes_t captureLatency(jack_client_t* client, const std::string& port) {
        jack_latency_range_t range{};
        jack_port_get_latency_range(jack_port_by_name(client, port.c_str()), JackCaptureLatency, &range);
        EXPECT_EQ(range.min, range.max) << port;
        return range.max;
    }

    char bundles[32] = "/tmp/tinvoicer-lv2-XXXXXX";
    ChildSetup jalvSetup;
    std::string link;
};

TEST_F(JalvOnPrivateJack, PlaysThePeerAndThenTheOfflineRenderBitForBitAtTheLatencyJackReports) {
    const std::vector<float> signal = whiteNoise(size_t(kRateHz), 0.25f);

    // The peer: the recording must be the signal itself, exactly as late as JACK says.
    jack_nframes_t peerLatency = 0;
    const std::vector<float> delayed =
        playThrough("http://gareus.org/oss/lv2/nodelay", "peer", signal, {"delay=100"}, peerLatency);
    ASSERT_EQ(peerLatency, 100u) << "the recipe does not work with the peer; the plug-in is not judged";
    ASSERT_EQ(test_support::firstBitDifference(std::vector<float>(delayed.begin() + 100, delayed.end()),
                                               std::vector<float>(signal.begin(), signal.end() - 100)),
              -1)
        << "the recipe does not work with the peer; the plug-in is not judged";

    int32_t renderLatency = 0;
    const std::vector<float> reference = offlineRender(signal, renderLatency);
    jack_nframes_t latency = 0;
    const std::vector<float> recording = playThrough("urn:vexa:tinvoicer", "voice", signal, {}, latency);
    EXPECT_EQ(latency, jack_nframes_t(renderLatency));
    // The offline render is as late as the module's latency, so at the delay JACK reports the two
    // line up sample for sample.
    EXPECT_EQ(test_support::firstBitDifference(
                  recording, std::vector<float>(reference.begin(), reference.begin() + long(recording.size()))),
              -1);
}

}  // namespace
