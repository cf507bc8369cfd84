// The real tinvoicer-live executable with the real module, against a private JACK server.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "effect_instance.h"
#include "plugin_module.h"
#include "renderer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int32_t kRateHz = 48000;
constexpr int32_t kPeriodFrames = 1024;

/// A child process with its stdin and stderr on pipes; killed and reaped if still running at the end.
class Child {
public:
    Child(std::vector<std::string> args, bool withServer = true) {
        int in[2];
        int err[2];
        if (::pipe(in) != 0 || ::pipe(err) != 0) {
            throw std::runtime_error("pipe failed");
        }
        pid = ::fork();
        if (pid == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(err[1], STDERR_FILENO);
            ::close(in[1]);
            ::close(err[0]);
            if (!withServer) {
                ::setenv("JACK_DEFAULT_SERVER", "tinvoicer-test-nobody-home", 1);
            }
            // The test runner may have been started with these ignored; the tool must see them.
            std::signal(SIGINT, SIG_DFL);
            std::signal(SIGTERM, SIG_DFL);
            std::vector<char*> argv;
            for (std::string& argument : args) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(err[1]);
        stdinFd = in[1];
        stderrFd = err[0];
    }
    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        ::close(stdinFd);
        ::close(stderrFd);
    }

    void send(const std::string& line) { ASSERT_EQ(::write(stdinFd, line.data(), line.size()), ssize_t(line.size())); }

    /// Waits for the exit; returns the exit code (-1 for a signal) and collects stderr.
    int finish() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        char chunk[4096];
        for (ssize_t n; (n = ::read(stderrFd, chunk, sizeof chunk)) > 0;) {
            err.append(chunk, static_cast<size_t>(n));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid;
    int stdinFd;
    int stderrFd;
    std::string err;
};

std::vector<std::string> liveTool(std::vector<std::string> args) {
    args.insert(args.begin(), TINVOICER_LIVE_PATH);
    return args;
}

bool jackdInstalled() { return std::system("command -v jackd >/dev/null 2>&1") == 0; }

/// A private jackd on the dummy backend, its name in JACK_DEFAULT_SERVER; stopped by its PID.
class PrivateJackServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!jackdInstalled()) {
            GTEST_SKIP() << "skipped: jackd is not installed (scripts/setup live)";
        }
        const std::string name = "tinvoicer-test-" + std::to_string(::getpid());
        ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        serverPid = ::fork();
        if (serverPid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives a crashed test
            const int quiet = ::open("/dev/null", O_WRONLY);
            ::dup2(quiet, STDOUT_FILENO);
            ::dup2(quiet, STDERR_FILENO);
            ::execlp("jackd", "jackd", "-n", name.c_str(), "-d", "dummy", "-r", "48000", "-p", "1024", nullptr);
            ::_exit(127);
        }
        // jack_wait -c exits 0 whether or not a server runs, so jack_lsp is asked instead.
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (std::system("jack_lsp >/dev/null 2>&1") != 0) {
            ASSERT_LT(Clock::now(), deadline) << "jackd did not start";
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    void TearDown() override { stopServer(); }

    void stopServer() {
        if (serverPid <= 0) {
            return;
        }
        ::kill(serverPid, SIGTERM);
        const auto deadline = Clock::now() + std::chrono::seconds(3);
        while (::waitpid(serverPid, nullptr, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                ::kill(serverPid, SIGKILL);  // a server that hangs on its way out goes all the same
                ::waitpid(serverPid, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        serverPid = -1;
    }

    /// Starts the tool and waits until its output port exists.
    std::unique_ptr<Child> startTool(const std::string& name) {
        auto tool = std::make_unique<Child>(liveTool({"--name", name}));
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        // jack_lsp exits 0 whether or not the port exists: its listing tells.
        const std::string portListed = "jack_lsp 2>/dev/null | grep -qx '" + name + ":out'";
        while (std::system(portListed.c_str()) != 0) {
            EXPECT_LT(Clock::now(), deadline) << "tinvoicer-live did not register its ports";
            if (Clock::now() > deadline) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return tool;
    }

    pid_t serverPid = -1;
};

/// Two clients of the test's own: one plays `signal` from the start of a cycle, the other records
/// what comes back, with the frame time of that first cycle. Separate clients keep the graph free of
/// loops, so the tool processes a cycle's input in that same cycle.
class PlayerAndRecorder {
public:
    PlayerAndRecorder(std::vector<float> played, size_t recordedFrames)
        : signal(std::move(played)), recording(recordedFrames) {
        player = jack_client_open("player", JackNoStartServer, nullptr);
        recorder = jack_client_open("recorder", JackNoStartServer, nullptr);
        if (player == nullptr || recorder == nullptr) {
            throw std::runtime_error("test clients cannot connect");
        }
        playPort = jack_port_register(player, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        recordPort = jack_port_register(recorder, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(player, playCycle, this);
        jack_set_process_callback(recorder, recordCycle, this);
        jack_activate(player);
        jack_activate(recorder);
    }
    ~PlayerAndRecorder() {
        jack_client_close(player);
        jack_client_close(recorder);
    }

    void connectThrough(const std::string& tool) {
        ASSERT_EQ(jack_connect(player, jack_port_name(playPort), (tool + ":in").c_str()), 0);
        ASSERT_EQ(jack_connect(recorder, (tool + ":out").c_str(), jack_port_name(recordPort)), 0);
    }
    void start() { armed = true; }
    size_t framesRecorded() const { return recorded.load(); }
    jack_nframes_t now() const { return jack_frame_time(recorder); }

    jack_client_t* recorder;
    std::vector<float> signal;
    std::vector<float> recording;
    std::atomic<int64_t> firstFrameTime{-1};
    std::atomic<int> clockGaps{0};

private:
    static int playCycle(jack_nframes_t frames, void* argument) {
        auto& self = *static_cast<PlayerAndRecorder*>(argument);
        auto* out = static_cast<float*>(jack_port_get_buffer(self.playPort, frames));
        const int64_t now = jack_last_frame_time(self.player);
        if (self.armed && self.firstFrameTime < 0) {
            self.firstFrameTime = now;
        }
        for (jack_nframes_t i = 0; i < frames; ++i) {
            const int64_t n = now - self.firstFrameTime + i;
            out[i] = self.firstFrameTime >= 0 && n < int64_t(self.signal.size()) ? self.signal[size_t(n)] : 0.0f;
        }
        return 0;
    }
    static int recordCycle(jack_nframes_t frames, void* argument) {
        auto& self = *static_cast<PlayerAndRecorder*>(argument);
        const auto* in = static_cast<const float*>(jack_port_get_buffer(self.recordPort, frames));
        const int64_t first = self.firstFrameTime;
        const size_t done = self.recorded;
        if (first < 0 || done == self.recording.size()) {
            return 0;
        }
        // The frame clock must advance by exactly one period per cycle: a lost cycle shows here.
        if (int64_t(jack_last_frame_time(self.recorder)) - first != int64_t(done)) {
            ++self.clockGaps;
        }
        const size_t count = std::min<size_t>(frames, self.recording.size() - done);
        std::copy(in, in + count, self.recording.begin() + std::ptrdiff_t(done));
        self.recorded = done + count;
        return 0;
    }

    jack_client_t* player;
    jack_port_t* playPort;
    jack_port_t* recordPort;
    std::atomic<bool> armed{false};
    std::atomic<size_t> recorded{0};
};

std::vector<float> whiteNoise(size_t count, float amplitude) {
    std::vector<float> noise(count);
    uint32_t state = 12345;
    for (float& sample : noise) {
        state = state * 1664525u + 1013904223u;
        sample = amplitude * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
    }
    return noise;
}

class MemorySink : public AudioSink {
public:
    void write(const float* frames, int64_t count) override { samples.insert(samples.end(), frames, frames + count); }
    std::vector<float> samples;
};

/// The same signal through the same module offline, delayed by its latency rather than compensated.
std::vector<float> offlineRender(const std::vector<float>& signal, int32_t& latencyFrames) {
    PluginModule module(TINVOICER_MODULE_PATH);
    EffectInstance effect(module.entry(), module.path());
    effect.prepare(float(kRateHz), kPeriodFrames);
    MemorySource source(signal, 1, kRateHz);
    MemorySink sink;
    Renderer renderer({&effect}, 1, kPeriodFrames);
    latencyFrames = renderer.render(source, sink, false).latencyFrames;
    return sink.samples;
}

size_t countLines(const std::string& text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

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
