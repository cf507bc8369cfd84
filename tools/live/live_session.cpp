#include "live_session.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "effect_controls.h"
#include "jack_client.h"
#include "live_processor.h"
#include "plugin_module.h"
#include "tool_error.h"

namespace {

constexpr const char* kToolName = "tinvoicer-live";
constexpr long kRefreshNanoseconds = 200'000'000;  // the status line's refresh, and the loop's longest sleep
constexpr long kPauseCheckNanoseconds = 1'000'000;

volatile std::sig_atomic_t stopSignal = 0;

void noteStopSignal(int signalNumber) { stopSignal = signalNumber; }

/// SIGINT and SIGTERM only set a flag. They are blocked everywhere except while the control thread
/// waits, so JACK's threads, which inherit the mask, never run the handler. A signal inherited as
/// ignored stays ignored, the way nohup and background jobs rely on.
class StopSignals {
public:
    StopSignals() {
        sigemptyset(&handled);
        for (size_t i = 0; i < std::size(kSignals); ++i) {
            struct sigaction action {};
            action.sa_handler = noteStopSignal;
            sigemptyset(&action.sa_mask);
            sigaction(kSignals[i], nullptr, &previous[i]);
            if (previous[i].sa_handler != SIG_IGN) {
                sigaddset(&handled, kSignals[i]);
                sigaction(kSignals[i], &action, nullptr);
            }
        }
        pthread_sigmask(SIG_BLOCK, &handled, &original);
        waiting = original;
        for (int signalNumber : kSignals) {
            if (sigismember(&handled, signalNumber) == 1) {
                sigdelset(&waiting, signalNumber);
            }
        }
    }
    ~StopSignals() {
        pthread_sigmask(SIG_SETMASK, &original, nullptr);
        for (size_t i = 0; i < std::size(kSignals); ++i) {
            sigaction(kSignals[i], &previous[i], nullptr);
        }
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    /// Waits for `fd` to turn readable (none: -1) for at most `nanoseconds`, or for a stop signal.
    /// True when `fd` is readable or at its end.
    bool wait(int fd, long nanoseconds) const {
        pollfd watched{fd, POLLIN, 0};
        const timespec timeout{0, nanoseconds};
        const int ready = ppoll(&watched, fd >= 0 ? 1 : 0, &timeout, &waiting);
        return ready > 0 && (watched.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
    }
    bool stopRequested() const { return stopSignal != 0; }

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM};
    struct sigaction previous[std::size(kSignals)]{};
    sigset_t handled{};
    sigset_t original{};
    sigset_t waiting{};
};

/// Control lines from a descriptor, split at line ends; a last line without one counts at the end.
class LineReader {
public:
    explicit LineReader(int fd) : fd(fd) {}
    int descriptor() const { return open ? fd : -1; }

    /// Reads what is there (the descriptor has signalled) and returns the complete lines.
    std::vector<std::string> readLines() {
        char chunk[4096];
        const ssize_t count = ::read(fd, chunk, sizeof chunk);
        if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
            return {};
        }
        if (count <= 0) {
            open = false;
            pending += '\n';
        } else {
            pending.append(chunk, static_cast<size_t>(count));
        }
        std::vector<std::string> lines;
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            lines.push_back(pending.substr(0, end));
        }
        return lines;
    }

private:
    int fd;
    bool open = true;
    std::string pending;
};

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string decibels(float peak) {
    char text[16];
    if (peak <= 0.0f) {
        return " -inf";
    }
    std::snprintf(text, sizeof text, "%5.1f", 20.0 * std::log10(static_cast<double>(peak)));
    return text;
}

/// What the status line and the closing line report.
struct Meters {
    float inputPeak = 0.0f;
    float outputPeak = 0.0f;
    float loadSum = 0.0f;
    float loadMax = 0.0f;
    int loadReadings = 0;
};

/// Everything that lives while the tool runs, in the order it must be opened; closed in reverse.
class Session {
public:
    explicit Session(const LiveOptions& options)
        : options(options),
          module(options.pluginPath.empty() ? defaultModulePath() : options.pluginPath),
          effect(module.entry(), module.path(), EffectInstance::HostRole::liveClient),
          controls(resolveControls(effect, renderOptionsFor(options))),
          client(options.clientName, effect.inputCount(), effect.outputCount()),
          rateHz(client.sampleRateHz()),
          preparedFrames(client.bufferFrames()),
          processor(effect, preparedFrames),
          terminal(::isatty(STDERR_FILENO) == 1),
          stdinLines(STDIN_FILENO) {
        effect.prepare(static_cast<float>(rateHz), preparedFrames);
        applyControls(effect, controls);
        effect.resume();
        latencyFrames = effect.latencyFrames();
        client.activate(processor, latencyFrames);
        if (options.connectToSystem) {
            for (const std::string& failure : client.connectToSystem()) {
                std::fprintf(stderr, "%s: warning: %s\n", kToolName, failure.c_str());
            }
        }
    }

    // The members go in reverse order, and the processor comes after the client that calls it.
    ~Session() { client.deactivate(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void run(const StopSignals& signals) {
        const bool controlled = options.controlFromStdin || ::isatty(STDIN_FILENO) != 1;
        printStartLine(controlled);
        const auto started = std::chrono::steady_clock::now();
        while (!signals.stopRequested()) {
            const int fd = controlled ? stdinLines.descriptor() : -1;
            if (signals.wait(fd, kRefreshNanoseconds)) {
                for (const std::string& line : stdinLines.readLines()) {
                    applyControlLine(trimmed(line));
                }
            }
            const ServerNews news = client.news();
            if (news.shutDown) {
                throw ToolError("the JACK server shut down" +
                                (news.shutdownReason.empty() ? std::string() : ": " + news.shutdownReason));
            }
            if (news.bufferFrames > 0 && news.bufferFrames != preparedFrames) {
                adaptToPeriod(news.bufferFrames, signals);
            }
            readMeters(news.xruns);
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        printEndLine(seconds);
    }

private:
    static RenderOptions renderOptionsFor(const LiveOptions& options) {
        RenderOptions renderOptions;
        renderOptions.program = options.program;
        renderOptions.parameters = options.parameters;
        return renderOptions;
    }

    /// A bad line is reported and skipped: a typo in a control script should not silence the voice.
    void applyControlLine(const std::string& line) {
        if (line.empty() || line[0] == '#') {
            return;
        }
        try {
            const ParameterSetting setting = parseParameterSetting(line);
            const int32_t index = findParameter(effect, setting.target);
            if (!processor.requestParameter({index, setting.normalizedValue})) {
                throw ToolError(line + ": too many changes at once; dropped");
            }
        } catch (const ToolError& error) {
            report(std::string("standard input: ") + error.what());
        }
    }

    /// The server changed its period: the effect is suspended, prepared for it and resumed while
    /// the audio thread writes silence.
    void adaptToPeriod(int32_t frames, const StopSignals& signals) {
        processor.requestPause();
        while (!processor.paused()) {
            if (signals.stopRequested() || client.news().shutDown) {
                return;
            }
            signals.wait(-1, kPauseCheckNanoseconds);
        }
        effect.suspend();
        effect.prepare(static_cast<float>(rateHz), frames);
        effect.resume();
        preparedFrames = frames;
        processor.resume(frames);
        if (effect.latencyFrames() != latencyFrames) {
            latencyFrames = effect.latencyFrames();
            client.setLatency(latencyFrames);
        }
    }

    void readMeters(uint32_t xruns) {
        const float inputPeak = processor.takeInputPeak();
        const float outputPeak = processor.takeOutputPeak();
        const float load = client.cpuLoadPercent();
        meters.inputPeak = std::max(meters.inputPeak, inputPeak);
        meters.outputPeak = std::max(meters.outputPeak, outputPeak);
        meters.loadSum += load;
        meters.loadMax = std::max(meters.loadMax, load);
        ++meters.loadReadings;
        xrunCount = xruns;
        if (terminal) {
            std::fprintf(stderr, "\rin %s dBFS  out %s dBFS  DSP %5.1f %%  xruns %u\033[K", decibels(inputPeak).c_str(),
                         decibels(outputPeak).c_str(), static_cast<double>(load), static_cast<unsigned>(xruns));
            statusShown = true;
        }
    }

    void report(const std::string& line) {
        std::fprintf(stderr, "%s%s: %s\n", statusShown ? "\r\033[K" : "", kToolName, line.c_str());
        statusShown = false;
    }

    void printStartLine(bool controlled) {
        std::string ports;
        for (const std::string& name : client.portNames()) {
            ports += (ports.empty() ? "" : ", ") + name;
        }
        std::fprintf(stderr, "%s: running at %d Hz, period %d frames, latency %d frames (%.1f ms); ports %s%s\n",
                     kToolName, static_cast<int>(rateHz), static_cast<int>(preparedFrames),
                     static_cast<int>(latencyFrames), 1000.0 * latencyFrames / rateHz, ports.c_str(),
                     controlled ? "; reading P=V lines from standard input" : "");
    }

    void printEndLine(double seconds) {
        const double meanLoad = meters.loadReadings > 0 ? meters.loadSum / meters.loadReadings : 0.0;
        char line[256];
        std::snprintf(line, sizeof line,
                      "stopped after %.1f s; peaks in %s dBFS, out %s dBFS; DSP load mean %.1f %%, max %.1f %%; "
                      "xruns %u",
                      seconds, trimmed(decibels(meters.inputPeak)).c_str(),
                      trimmed(decibels(meters.outputPeak)).c_str(), meanLoad, static_cast<double>(meters.loadMax),
                      static_cast<unsigned>(xrunCount));
        report(line);
    }

    const LiveOptions& options;
    PluginModule module;
    EffectInstance effect;
    ControlSettings controls;
    LiveClient client;
    int32_t rateHz;
    int32_t preparedFrames;
    LiveProcessor processor;
    bool terminal;
    LineReader stdinLines;
    int32_t latencyFrames = 0;
    Meters meters;
    uint32_t xrunCount = 0;
    bool statusShown = false;
};

}  // namespace

void runLive(const LiveOptions& options) {
    StopSignals signals;  // before the client, so that JACK's threads start with the signals blocked
    Session session(options);
    session.run(signals);
}
