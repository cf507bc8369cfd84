// The real tinvoicer-live executable with the real module, against a private JACK server.
#include <gtest/gtest.h>
#include <jack/jack.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "live_fixtures.h"

namespace {

using namespace live_test;

TEST_F(PrivateJackServer, PlaysTheOfflineRenderLateByInitialDelayTakesControlLinesAndStopsOnSigint) {
    const std::vector<float> signal = whiteNoise(size_t(2 * kRateHz), 0.25f);
    int32_t latencyFrames = 0;
    const std::vector<float> reference = offlineRender(signal, latencyFrames);
    ASSERT_EQ(latencyFrames, 1024);
    auto tool = startTool("voice");
    PlayerAndRecorder clients(signal, signal.size());
    clients.connectThrough("voice");
    clients.start();

    // Halfway through, the gain goes from 0.5 (factor 1) to 1 (factor 10) through standard input.
    while (clients.framesRecorded() < signal.size() / 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const int64_t sentAt = clients.now();
    tool->send("Gain=1\n");
    while (clients.framesRecorded() < signal.size()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::vector<float>& recording = clients.recording;
    size_t changed = 0;
    while (changed < recording.size() && recording[changed] == reference[changed]) {
        ++changed;
    }
    EXPECT_EQ(clients.clockGaps.load(), 0) << "cycles were lost; the data cannot match";
    const int64_t changedAt = clients.firstFrameTime + int64_t(changed);
    EXPECT_GT(changedAt, sentAt - kPeriodFrames) << "the recording differs before the change was sent";
    EXPECT_LE(changedAt, sentAt + 3 * kPeriodFrames) << "the change took more than two callbacks";
    EXPECT_EQ(changed % kPeriodFrames, 0u) << "the change must fall between two callbacks";
    for (size_t n = changed; n < recording.size(); ++n) {
        ASSERT_EQ(recording[n], reference[n] * 10.0f) << "frame " << n << " after the change at " << changed;
    }

    jack_latency_range_t range{};
    jack_port_get_latency_range(jack_port_by_name(clients.recorder, "voice:out"), JackCaptureLatency, &range);
    EXPECT_EQ(range.min, jack_nframes_t(latencyFrames));
    EXPECT_EQ(range.max, jack_nframes_t(latencyFrames));

    Child sameName(liveTool({"--name", "voice"}));
    EXPECT_EQ(sameName.finish(), 1);
    EXPECT_EQ(sameName.err,
              "tinvoicer-live: port name 'voice:in' is taken: another JACK client is called "
              "'voice' (choose another --name)\n");

    const auto interrupted = Clock::now();
    ::kill(tool->pid, SIGINT);
    EXPECT_EQ(tool->finish(), 0) << tool->err;
    EXPECT_LT(Clock::now() - interrupted, std::chrono::milliseconds(200));
    EXPECT_EQ(countLines(tool->err), 2u) << tool->err;  // not a terminal: one line at start, one at the end
    const size_t xruns = tool->err.rfind("xruns ");
    std::cout << "xruns during the run: " << tool->err.substr(xruns + 6);
}

TEST_F(PrivateJackServer, ServerThatShutsDownEndsTheToolWithOneLine) {
    auto tool = startTool("voice");
    stopServer();
    EXPECT_EQ(tool->finish(), 1);
    ASSERT_EQ(countLines(tool->err), 2u) << tool->err;
    EXPECT_EQ(tool->err.substr(tool->err.find('\n') + 1).rfind("tinvoicer-live: the JACK server shut down", 0), 0u)
        << tool->err;
}

TEST(LiveToolErrors, EachEndsWithOneLine) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string err;
    } cases[] = {
        {{}, 1, "no JACK server is running; start one with `jackd -d alsa` or run under `pw-jack`"},
        {{"--param", "pitch=1"}, 1, "--param pitch: no parameter of that name (the effect has: Gain, Depth)"},
        {{"--program", "9"}, 1, "--program 9: the effect has programs 0 to 3"},
        {{"--plugin", "/nonexistent.so"}, 1, "'/nonexistent.so': cannot load module: No such file or directory"},
        {{"--connect=yes"}, 2, "--connect: takes no value"},
    };
    for (const auto& c : cases) {
        Child tool(liveTool(c.args), false);
        EXPECT_EQ(tool.finish(), c.exitCode) << c.err;
        EXPECT_EQ(tool.err, "tinvoicer-live: " + c.err + "\n");
    }
}

}  // namespace
