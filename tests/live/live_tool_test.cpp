// The real tinvoicer-live executable with the real module, against a private JACK server.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
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
    clients.waitUntilRecorded(signal.size() / 2);
    const int64_t sentAt = clients.now();
    tool->send("Gain=1\n");
    clients.waitUntilRecorded(signal.size());
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
    // Playback latency grows from the output back to the input, beside which the player reports none.
    jack_port_get_latency_range(jack_port_by_name(clients.recorder, "voice:in"), JackPlaybackLatency, &range);
    EXPECT_EQ(range.min, jack_nframes_t(latencyFrames));
    EXPECT_EQ(range.max, jack_nframes_t(latencyFrames));

    Child sameName(liveTool({"--name", "voice"}));
    EXPECT_EQ(sameName.finish(), 1);
    EXPECT_EQ(sameName.err,
              "tinvoicer-live: port name 'voice:in' is taken: another JACK client is called "
              "'voice' (choose another --name)\n");

    const auto interrupted = Clock::now();
    tool->signal(SIGINT);
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

/// Writes `chunk` into `fd` again and again, as fast as the reader takes it, until destroyed or
/// until the reader has gone.
class Flood {
public:
    Flood(int fd, std::string chunk) : thread([this, fd, chunk = std::move(chunk)] { pour(fd, chunk); }) {}
    ~Flood() {
        stop = true;
        thread.join();
    }
    Flood(const Flood&) = delete;
    Flood& operator=(const Flood&) = delete;

private:
    void pour(int fd, const std::string& chunk) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        for (size_t done = 0; !stop;) {
            pollfd writable{fd, POLLOUT, 0};
            if (::poll(&writable, 1, 10) != 1) {
                continue;
            }
            const ssize_t written = ::write(fd, chunk.data() + done, chunk.size() - done);
            if (written < 0 && errno != EAGAIN) {
                return;
            }
            done = written > 0 ? (done + static_cast<size_t>(written)) % chunk.size() : done;
        }
    }

    std::atomic<bool> stop{false};
    std::thread thread;
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

/// The most memory the process has held, from the kernel's record of its peak resident set.
long peakMemoryKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

TEST_F(PrivateJackServer, StopSignalsEndTheToolWhateverStandardInputDoes) {
    const struct {
        const char* name;
        std::string stdinPath;  ///< read from this file; empty: a flood of control lines
        int signalNumber;
        std::string reported = {};  ///< a line the tool must have written; empty: none in particular
    } cases[] = {
        {"LinesAndSigterm", "", SIGTERM},
        {"LinesAndSigint", "", SIGINT},
        {"ZerosAndSigterm", "/dev/zero", SIGTERM},
        {"UnreadableAndSigterm", "/", SIGTERM,
         "tinvoicer-live: standard input: cannot read: Is a directory; control lines are off, the voice goes on\n"},
    };
    std::string lines;
    for (int i = 0; i < 512; ++i) {
        lines += "gain=0.5\n";
    }
    for (const auto& c : cases) {
        ChildSetup setup;
        setup.stdinPath = c.stdinPath;
        auto tool = startTool("voice", {}, setup);
        {
            std::unique_ptr<Flood> flood;
            if (c.stdinPath.empty()) {
                flood = std::make_unique<Flood>(tool->stdinFd, lines);
            }
            std::this_thread::sleep_for(std::chrono::seconds(1));
            const auto signalled = Clock::now();
            tool->signal(c.signalNumber);
            ASSERT_TRUE(tool->endsWithin(std::chrono::seconds(1))) << c.name << ": still running a second later";
            std::cout << c.name << ": stopped "
                      << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - signalled).count()
                      << " ms after the signal\n";
        }
        EXPECT_EQ(tool->finish(), 0) << c.name;
        // The start, one line about the flood (an overload or an overlong line) at most per second, the end.
        EXPECT_LE(countLines(tool->err), 4u) << c.name << ":\n" << tool->err.substr(0, 1000);
        EXPECT_NE(tool->err.find("tinvoicer-live: stopped after "), std::string::npos) << c.name;
        EXPECT_NE(tool->err.find(c.reported), std::string::npos) << c.name << ":\n" << tool->err;
    }
}

TEST_F(PrivateJackServer, ABurstOfControlLinesEndsAtItsLastValue) {
    const std::vector<float> signal = whiteNoise(size_t(2 * kRateHz), 0.25f);
    int32_t latencyFrames = 0;
    const std::vector<float> reference = offlineRender(signal, latencyFrames);
    auto tool = startTool("voice");
    PlayerAndRecorder clients(signal, signal.size());
    clients.connectThrough("voice");
    clients.start();
    clients.waitUntilRecorded(signal.size() / 2);
    std::string burst;
    for (int i = 0; i < 600; ++i) {
        burst += "gain=1\n";
    }
    tool->send(burst + "gain=0\n");  // one write
    clients.waitUntilRecorded(signal.size());
    // The last quarter second, long after the burst, at gain 0: a factor of 0.1 on the reference's 1.
    for (size_t n = signal.size() - kRateHz / 4; n < signal.size(); ++n) {
        ASSERT_EQ(clients.recording[n], reference[n] * 0.1f) << "frame " << n;
    }
    tool->signal(SIGTERM);
    EXPECT_EQ(tool->finish(), 0);
    EXPECT_LE(countLines(tool->err), 3u) << tool->err.substr(0, 1000);
}

std::string crashLine(const std::string& modulePath, const char* signalName) {
    return "tinvoicer-live: '" + modulePath + "' crashed in processReplacing (" + signalName + ")";
}

TEST_F(PrivateJackServer, AModuleThatCrashesOrHangsInProcessingIsNamedAndEndsTheTool) {
    const struct {
        const char* name;
        const char* module;
        const char* raisedSignal;  ///< TINVOICER_FAULT_SIGNAL for the module, or nullptr
        int signalNumber;          ///< the signal the tool dies of, or 0 when it exits
        int exitCode;
        std::string lastLine;
    } cases[] = {
        {"Segfault", FAULT_CRASH_IN_PROCESS_PATH, nullptr, SIGSEGV, -1,
         crashLine(FAULT_CRASH_IN_PROCESS_PATH, "SIGSEGV")},
        {"Abort", FAULT_RAISE_IN_PROCESS_PATH, "6", SIGABRT, -1, crashLine(FAULT_RAISE_IN_PROCESS_PATH, "SIGABRT")},
        {"Hang", FAULT_HANG_IN_PROCESS_PATH, nullptr, 0, 1,
         "tinvoicer-live: '" FAULT_HANG_IN_PROCESS_PATH
         "' stopped answering: processReplacing has not returned for 1 s"},
    };
    for (const auto& c : cases) {
        ChildSetup setup;
        if (c.raisedSignal != nullptr) {
            setup.environment.emplace_back("TINVOICER_FAULT_SIGNAL", c.raisedSignal);
        }
        Child tool(liveTool({"--name", "faulty", "--plugin", c.module}), true, setup);
        ASSERT_TRUE(tool.endsWithin(std::chrono::seconds(10))) << c.name << ": still running";
        EXPECT_EQ(tool.finish(), c.exitCode) << c.name;
        EXPECT_EQ(tool.signalNumber, c.signalNumber) << c.name;
        const std::vector<std::string> lines = linesOf(tool.err);
        ASSERT_EQ(lines.size(), 2u) << c.name << ": " << tool.err;
        EXPECT_EQ(lines.back(), c.lastLine) << c.name;
    }
}

TEST_F(PrivateJackServer, ANegativeLatencyIsWarnedOfAndPublishedAsZero) {
    const std::string name = "late\nvoice";  // a newline in the name must not split the start line
    Child tool(liveTool({"--name", name, "--plugin", FAULT_NEGATIVE_DELAY_PATH}));
    jack_client_t* probe = jack_client_open("probe", JackNoStartServer, nullptr);
    ASSERT_NE(probe, nullptr);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    jack_port_t* out = nullptr;
    while ((out = jack_port_by_name(probe, (name + ":out").c_str())) == nullptr && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_NE(out, nullptr) << "no port " << name << ":out";
    jack_latency_range_t range{1, 1};
    jack_port_get_latency_range(out, JackCaptureLatency, &range);
    jack_client_close(probe);
    EXPECT_EQ(range.min, 0u);
    EXPECT_EQ(range.max, 0u);
    tool.signal(SIGTERM);
    EXPECT_EQ(tool.finish(), 0);
    const std::vector<std::string> lines = linesOf(tool.err);
    ASSERT_EQ(lines.size(), 3u) << tool.err;
    EXPECT_EQ(lines[0],
              "tinvoicer-live: warning: the effect reports a negative latency (-5 samples), which is taken as 0");
    EXPECT_EQ(lines[1].rfind("tinvoicer-live: running at 48000 Hz, period 1024 frames, latency 0 frames (0.0 ms); "
                             "ports late\\nvoice:in, late\\nvoice:out",
                             0),
              0u)
        << lines[1];
}

TEST_F(PrivateJackServer, AStderrWithoutReaderNeverEndsTheVoice) {
    ChildSetup setup;
    setup.stderrUnread = true;
    auto tool = startTool("voice", {}, setup);
    tool->send("gian=0.5\n");  // a typo, reported on the broken stderr
    EXPECT_FALSE(tool->endsWithin(std::chrono::milliseconds(500))) << "ended by signal " << tool->signalNumber;
    tool->signal(SIGTERM);
    EXPECT_EQ(tool->finish(), 0);
}

TEST_F(PrivateJackServer, BadControlLinesAreQuotedAsTheyCameAndAnEndlessOneTakesNoMemory) {
    auto tool = startTool("voice");
    const long peakBefore = peakMemoryKiB(tool->pid);
    const struct {
        std::string line;
        std::string report;  ///< what follows "tinvoicer-live: standard input, line N: "; empty: none
    } cases[] = {
        {"gain=1e40", "'gain=1e40': value 1e40 is outside 0 to 1"},
        {"gian=0.5", "'gian=0.5': no parameter of that name (the effect has: Gain, Depth)"},
        {"\x1b[2Jgain=2", "'\\x1B[2Jgain=2': value 2 is outside 0 to 1"},
        {" Depth=0.25 ", ""},
        {"# a comment", ""},
        {std::string(16 << 20, 'x'), "longer than 4096 bytes, skipped: '" + std::string(60, 'x') + "...'"},
        {"Depth=-1", "'Depth=-1': value -1 is outside 0 to 1"},
    };
    std::string expected;
    for (size_t i = 0; i < std::size(cases); ++i) {
        tool->send(cases[i].line + "\n");
        if (!cases[i].report.empty()) {
            expected += "tinvoicer-live: standard input, line " + std::to_string(i + 1) + ": " + cases[i].report + "\n";
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long peakGrowthKiB = peakMemoryKiB(tool->pid) - peakBefore;
    tool->signal(SIGTERM);
    ASSERT_TRUE(tool->endsWithin(std::chrono::seconds(2)));
    EXPECT_EQ(tool->finish(), 0);
    EXPECT_LT(peakGrowthKiB, 4096) << "a 16 MiB line was kept";
    const size_t firstReport = tool->err.find('\n') + 1;
    const size_t lastLine = tool->err.rfind('\n', tool->err.size() - 2) + 1;
    EXPECT_EQ(tool->err.substr(firstReport, lastLine - firstReport), expected);
}

TEST(LiveToolErrors, EachEndsWithOneLine) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string err;
    } cases[] = {
        {{},
         1,
         "no JACK server 'tinvoicer-test-nobody-home' is running (JACK_DEFAULT_SERVER names it); start one with "
         "`jackd -n 'tinvoicer-test-nobody-home' -d alsa`, or unset JACK_DEFAULT_SERVER for the default server"},
        {{"--param", "pitch=1"}, 2, "--param pitch: no parameter of that name (the effect has: Gain, Depth)"},
        {{"--param", "gain=2"}, 2, "--param gain=2: value 2 is outside 0 to 1"},
        {{"--program", "9"}, 2, "--program 9: the effect has programs 0 to 3"},
        {{"--plugin", "/nonexistent.so"}, 1, "'/nonexistent.so': cannot load module: No such file or directory"},
        {{"--connect=yes"}, 2, "--connect: takes no value"},
        {{"--plugin", "a.so", "--plugin=b.so"}, 2, "--plugin: given more than once"},
        {{"--nmae", "x"}, 2, "--nmae: unknown option (see --help)"},
        {{"--", "--help"}, 2, "'--help' comes after '--', which ends the options: give it before '--'"},
        {{"--name", "a:b"},
         2,
         "--name 'a:b': a JACK client name cannot hold ':', which separates client and port in a port's name"},
        {{"--control", "/dev/tty"}, 2, "--control '/dev/tty': the only control source is stdin"},
        {{"--name", std::string(70, 'n')},
         2,
         "the client name '" + std::string(40, 'n') +
             "...' has 70 bytes; JACK takes at most 63 (choose a shorter --name)"},
    };
    for (const auto& c : cases) {
        Child tool(liveTool(c.args), false);
        EXPECT_EQ(tool.finish(), c.exitCode) << c.err;
        EXPECT_EQ(tool.err, "tinvoicer-live: " + c.err + "\n");
    }
}

}  // namespace
