#include "live_fixtures.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "kit/effect_instance.h"
#include "kit/plugin_module.h"
#include "render/renderer.h"

namespace live_test {

Child::Child(std::vector<std::string> args, bool withServer, const ChildSetup& setup) {
    int in[2];
    int err[2];
    if (::pipe(in) != 0 || ::pipe(err) != 0) {
        throw std::runtime_error("pipe failed");
    }
    if (setup.stderrUnread) {
        ::close(err[0]);
        err[0] = -1;
    }
    pid = ::fork();
    if (pid == 0) {
        const int input = setup.stdinPath.empty() ? in[0] : ::open(setup.stdinPath.c_str(), O_RDONLY);
        ::dup2(input, STDIN_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::close(in[1]);
        if (err[0] >= 0) {
            ::close(err[0]);
        }
        if (!withServer) {
            ::setenv("JACK_DEFAULT_SERVER", "tinvoicer-test-nobody-home", 1);
        }
        for (const auto& [name, value] : setup.environment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        // The test runner may have been started with these ignored, and libjack blocks SIGPIPE in
        // the thread that opens a client; the tool must start as a shell starts it.
        for (int signalNumber : {SIGINT, SIGTERM, SIGPIPE}) {
            std::signal(signalNumber, SIG_DFL);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        std::vector<char*> argv;
        for (std::string& argument : args) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    // A child that has gone makes send() fail instead of ending the test process.
    std::signal(SIGPIPE, SIG_IGN);
    ::close(in[0]);
    ::close(err[1]);
    stdinFd = in[1];
    stderrFd = err[0];
    if (!setup.stdinPath.empty()) {
        ::close(stdinFd);
        stdinFd = -1;
    }
}

Child::~Child() {
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    for (int fd : {stdinFd, stderrFd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void Child::send(const std::string& line) {
    ASSERT_EQ(::write(stdinFd, line.data(), line.size()), ssize_t(line.size()));
}

void Child::signal(int signalNumber) const {
    if (pid > 0) {
        ::kill(pid, signalNumber);
    }
}

void Child::noteStatus(int status) {
    pid = -1;
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    signalNumber = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

bool Child::endsWithin(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    int status = 0;
    while (pid > 0) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            noteStatus(status);
        } else if (Clock::now() > deadline) {
            return false;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return true;
}

int Child::finish() {
    if (pid > 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        noteStatus(status);
    }
    char chunk[4096];
    for (ssize_t n; stderrFd >= 0 && (n = ::read(stderrFd, chunk, sizeof chunk)) > 0;) {
        err.append(chunk, static_cast<size_t>(n));
    }
    return exitCode;
}

std::vector<std::string> liveTool(std::vector<std::string> args) {
    args.insert(args.begin(), TINVOICER_LIVE_PATH);
    return args;
}

pid_t startServerProcess(const std::vector<std::string>& args, const std::string& logPath) {
    // Made before the fork: the child of a process with JACK's threads may only make
    // async-signal-safe calls before it execs.
    std::vector<char*> argv;
    for (const std::string& argument : args) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ::dup2(log, STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

void stopProcess(pid_t pid, std::chrono::milliseconds grace) {
    if (pid <= 0) {
        return;  // no process: kill() would take -1 for every process there is, 0 for this group
    }
    ::kill(pid, SIGTERM);
    const auto deadline = Clock::now() + grace;
    while (::waitpid(pid, nullptr, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            ::kill(pid, SIGKILL);  // a server that hangs on its way out goes all the same
            ::waitpid(pid, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

namespace {

bool jackdInstalled() { return std::system("command -v jackd >/dev/null 2>&1") == 0; }

}  // namespace

void PrivateJackServer::SetUp() {
    if (!jackdInstalled()) {
        GTEST_SKIP() << "skipped: jackd is not installed (scripts/setup live)";
    }
    const std::string name = "tinvoicer-test-" + std::to_string(::getpid());
    ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    serverPid = startServerProcess({"jackd", "-n", name, "-d", "dummy", "-r", "48000", "-p", "1024"});
    // jack_wait -c exits 0 whether or not a server runs, so jack_lsp is asked instead.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (std::system("jack_lsp >/dev/null 2>&1") != 0) {
        ASSERT_LT(Clock::now(), deadline) << "jackd did not start";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void PrivateJackServer::stopServer() {
    if (serverPid <= 0) {
        return;
    }
    stopProcess(serverPid);
    serverPid = -1;
}

std::unique_ptr<Child> PrivateJackServer::startTool(const std::string& name, std::vector<std::string> extraArgs,
                                                    const ChildSetup& setup) {
    extraArgs.insert(extraArgs.begin(), {"--name", name});
    return startClient(liveTool(extraArgs), name + ":out", setup);
}

std::unique_ptr<Child> PrivateJackServer::startClient(std::vector<std::string> args, const std::string& port,
                                                      const ChildSetup& setup) {
    auto client = std::make_unique<Child>(std::move(args), true, setup);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    // jack_lsp exits 0 whether or not the port exists: its listing tells.
    const std::string portListed = "jack_lsp 2>/dev/null | grep -qx '" + port + "'";
    while (std::system(portListed.c_str()) != 0) {
        EXPECT_LT(Clock::now(), deadline) << "no port " << port << " within 5 s";
        if (Clock::now() > deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return client;
}

PlayerAndRecorder::PlayerAndRecorder(std::vector<float> played, size_t recordedFrames)
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

PlayerAndRecorder::~PlayerAndRecorder() {
    jack_client_close(player);
    jack_client_close(recorder);
}

void PlayerAndRecorder::connectThrough(const std::string& inputPort, const std::string& outputPort) {
    ASSERT_EQ(jack_connect(player, jack_port_name(playPort), inputPort.c_str()), 0);
    ASSERT_EQ(jack_connect(recorder, outputPort.c_str(), jack_port_name(recordPort)), 0);
}

void PlayerAndRecorder::waitUntilRecorded(size_t frames) const {
    while (framesRecorded() < frames) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int PlayerAndRecorder::playCycle(jack_nframes_t frames, void* argument) {
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

int PlayerAndRecorder::recordCycle(jack_nframes_t frames, void* argument) {
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

std::vector<float> whiteNoise(size_t count, float amplitude) {
    std::vector<float> noise(count);
    uint32_t state = 12345;
    for (float& sample : noise) {
        state = state * 1664525u + 1013904223u;
        sample = amplitude * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
    }
    return noise;
}

namespace {

class MemorySink : public AudioSink {
public:
    void write(const float* frames, int64_t count) override { samples.insert(samples.end(), frames, frames + count); }
    std::vector<float> samples;
};

}  // namespace

std::vector<float> offlineRender(const std::vector<float>& signal, int32_t& latencyFrames, int32_t blockFrames) {
    PluginModule module(TINVOICER_MODULE_PATH);
    EffectInstance effect(module.entry(), module.path());
    effect.prepare(float(kRateHz), blockFrames);
    MemorySource source(signal, 1, kRateHz);
    MemorySink sink;
    Renderer renderer({&effect}, 1, blockFrames);
    latencyFrames = renderer.render(source, sink, false).latencyFrames;
    return sink.samples;
}

size_t countLines(const std::string& text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

}  // namespace live_test
