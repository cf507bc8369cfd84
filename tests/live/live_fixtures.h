// What the tests of live audio share: child processes on pipes, a private JACK server, and two
// JACK clients of the test's own that play a signal and record what comes back.
#pragma once

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace live_test {

using Clock = std::chrono::steady_clock;
constexpr int32_t kRateHz = 48000;
constexpr int32_t kPeriodFrames = 1024;

/// How a child starts, beyond its arguments.
struct ChildSetup {
    std::vector<std::pair<std::string, std::string>> environment;  ///< added to the test's own
    std::string stdinPath;                                         ///< read instead of a pipe (stdinFd is then -1)
    bool stderrUnread = false;  ///< stderr is a pipe whose reader has gone: every write fails
};

/// A child process with its stdin and stderr on pipes; killed and reaped if still running at the end.
/// It starts with no signal blocked and SIGINT, SIGTERM and SIGPIPE at their default actions,
/// whatever the test inherited; the test process itself ignores SIGPIPE from then on.
class Child {
public:
    /// Without a server, JACK_DEFAULT_SERVER names one that does not exist.
    explicit Child(std::vector<std::string> args, bool withServer = true, const ChildSetup& setup = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void send(const std::string& line);
    /// Sends `signalNumber` to the child while it runs; nothing once it has been reaped (its PID
    /// is then -1, which kill() would take for every process there is).
    void signal(int signalNumber) const;
    /// True when the child has ended within `limit`; finish() then returns at once.
    bool endsWithin(std::chrono::milliseconds limit);
    /// Waits for the exit; returns the exit code (-1 for a signal, named in signalNumber) and
    /// collects stderr.
    int finish();

    pid_t pid;
    int stdinFd = -1;
    int stderrFd = -1;
    std::string err;
    int signalNumber = 0;  ///< the signal that ended the child, or 0

private:
    void noteStatus(int status);
    int exitCode = -1;
};

/// The built tinvoicer-live with `args`.
std::vector<std::string> liveTool(std::vector<std::string> args);

/// Starts a server program (`args[0]` is looked up in PATH) with stdout and stderr in `logPath`;
/// it is killed when the test process dies, so it never outlives a crashed test.
pid_t startServerProcess(const std::vector<std::string>& args, const std::string& logPath = "/dev/null");
/// Stops a child by its PID: SIGTERM, then SIGKILL when it has not gone within `grace`.
void stopProcess(pid_t pid, std::chrono::milliseconds grace = std::chrono::seconds(3));

/// A private jackd on the dummy backend (48 kHz, period 1024), its name in JACK_DEFAULT_SERVER;
/// stopped by its PID. Skips the test when jackd is not installed.
class PrivateJackServer : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { stopServer(); }

    void stopServer();
    /// Starts tinvoicer-live under `name` (with `extraArgs`) and waits until its output port exists.
    std::unique_ptr<Child> startTool(const std::string& name, std::vector<std::string> extraArgs = {},
                                     const ChildSetup& setup = {});
    /// Starts the program of `args` and waits until the JACK port `port` exists.
    std::unique_ptr<Child> startClient(std::vector<std::string> args, const std::string& port,
                                       const ChildSetup& setup = {});

    pid_t serverPid = -1;
};

/// Two clients of the test's own: one plays `signal` from the start of a cycle, the other records
/// what comes back, with the frame time of that first cycle. Separate clients keep the graph free of
/// loops, so a client between them processes a cycle's input in that same cycle.
class PlayerAndRecorder {
public:
    PlayerAndRecorder(std::vector<float> played, size_t recordedFrames);
    ~PlayerAndRecorder();
    PlayerAndRecorder(const PlayerAndRecorder&) = delete;
    PlayerAndRecorder& operator=(const PlayerAndRecorder&) = delete;

    /// Plays into `inputPort` and records from `outputPort` (full port names).
    void connectThrough(const std::string& inputPort, const std::string& outputPort);
    /// The same through the ports of the client `tool` ("tool:in", "tool:out").
    void connectThrough(const std::string& tool) { connectThrough(tool + ":in", tool + ":out"); }
    void start() { armed = true; }
    size_t framesRecorded() const { return recorded.load(); }
    /// Returns once `frames` frames have been recorded.
    void waitUntilRecorded(size_t frames) const;
    jack_nframes_t now() const { return jack_frame_time(recorder); }

    jack_client_t* recorder;
    std::vector<float> signal;
    std::vector<float> recording;
    std::atomic<int64_t> firstFrameTime{-1};
    std::atomic<int> clockGaps{0};

private:
    static int playCycle(jack_nframes_t frames, void* argument);
    static int recordCycle(jack_nframes_t frames, void* argument);

    jack_client_t* player;
    jack_port_t* playPort;
    jack_port_t* recordPort;
    std::atomic<bool> armed{false};
    std::atomic<size_t> recorded{0};
};

/// Seeded white noise in [-amplitude, amplitude).
std::vector<float> whiteNoise(size_t count, float amplitude);

/// `signal` through the built module offline, delayed by its latency rather than compensated
/// (the render tool's --no-latency-compensation), prepared for `blockFrames`.
std::vector<float> offlineRender(const std::vector<float>& signal, int32_t& latencyFrames,
                                 int32_t blockFrames = kPeriodFrames);

size_t countLines(const std::string& text);

}  // namespace live_test
