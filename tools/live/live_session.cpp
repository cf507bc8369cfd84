#include "live/live_session.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kit/effect_controls.h"
#include "kit/plugin_module.h"
#include "kit/tool_error.h"
#include "live/control_lines.h"
#include "live/jack_client.h"
#include "live/live_processor.h"
#include "live/session_parts.h"

namespace {

using Clock = SessionClock;

constexpr const char* kToolName = "tinvoicer-live";
constexpr auto kRefreshInterval = std::chrono::milliseconds(200);  // the status line's, and the longest wait
constexpr auto kPauseCheckInterval = std::chrono::milliseconds(1);
constexpr auto kAnswerLimit = std::chrono::seconds(1);  // a processing call this long means a hung effect
constexpr unsigned kCloseLimitSeconds = 3;              // for closing the client after that
constexpr auto kOverloadReportInterval = std::chrono::seconds(1);
constexpr uint64_t kBadLineReportsPerSecond = 10;
constexpr size_t kShownLineBytes = 60;  // of a control line quoted in a message

std::string trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t\r") - first + 1));
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

/// An effect that stopped answering, and its module: kept until the process ends, where a leak
/// checker sees them still held.
struct AbandonedEffect {
    EffectInstance* effect = nullptr;
    PluginModule* module = nullptr;
} abandoned;

/// Everything that lives while the tool runs, in the order it must be opened; closed in reverse.
class Session {
public:
    explicit Session(const LiveOptions& options)
        : options(options),
          module(std::make_unique<PluginModule>(options.pluginPath.empty() ? defaultModulePath() : options.pluginPath)),
          effect(
              std::make_unique<EffectInstance>(module->entry(), module->path(), EffectInstance::HostRole::liveClient)),
          controls(resolveControls(*effect, options)),
          names(parameterNames(*effect, ParameterSlots::kMaxParameters)),
          client(options.clientName, effect->inputCount(), effect->outputCount()),
          rateHz(client.sampleRateHz()),
          preparedFrames(client.bufferFrames()),
          processor(*effect, preparedFrames),
          terminal(::isatty(STDERR_FILENO) == 1),
          stdinLines(STDIN_FILENO) {
        effect->prepare(static_cast<float>(rateHz), preparedFrames);
        applyControls(*effect, controls);
        effect->resume();
        latencyFrames = checkedLatency();
        client.activate(processor, latencyFrames);
        if (options.connectToSystem) {
            for (const std::string& failure : client.connectToSystem()) {
                report("warning: " + failure);
            }
        }
    }

    // The members go in reverse order, and the processor comes after the client that calls it.
    ~Session() { client.deactivate(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    /// False when the effect stopped answering: reported, and the client is closed.
    bool run(StopSignals& signals) {
        const bool controlled = options.controlFromStdin || ::isatty(STDIN_FILENO) != 1;
        printStartLine(controlled);
        const auto started = Clock::now();
        auto nextMeterReading = started;
        while (!signals.stopRequested()) {
            const int fd = controlled ? stdinLines.descriptor() : -1;
            if (signals.wait(fd, kRefreshInterval)) {
                stdinLines.readOnce([this](const ControlLineReader::Line& line) { applyControlLine(line); });
                if (stdinLines.readError() != 0 && !readErrorReported) {
                    report(std::string("standard input: cannot read: ") + std::strerror(stdinLines.readError()) +
                           "; control lines are off, the voice goes on");
                    readErrorReported = true;
                }
            }
            reportOverload();
            if (effectStuck()) {
                return false;
            }
            const ServerNews news = client.news();
            if (news.shutDown) {
                throw ToolError("the JACK server shut down" +
                                (news.shutdownReason.empty() ? std::string() : ": " + escaped(news.shutdownReason)));
            }
            if (news.bufferFrames > 0 && news.bufferFrames != preparedFrames &&
                !adaptToPeriod(news.bufferFrames, signals)) {
                return false;
            }
            if (Clock::now() >= nextMeterReading) {
                readMeters(news.xruns);
                nextMeterReading = Clock::now() + kRefreshInterval;
            }
        }
        if (!lastCallReturns()) {
            return false;
        }
        printEndLine(std::chrono::duration<double>(Clock::now() - started).count());
        return true;
    }

private:
    /// A bad line is reported and skipped: a typo in a control script should not silence the voice.
    void applyControlLine(const ControlLineReader::Line& line) {
        const std::string where = "standard input, line " + std::to_string(line.number);
        if (line.tooLong && badLineReports.allows(Clock::now())) {
            report(where + ": longer than " + std::to_string(ControlLineReader::kMaxLineBytes) +
                   " bytes, skipped: " + quoted(shortened(std::string(line.text), kShownLineBytes)));
        }
        if (line.tooLong) {
            return;
        }
        const std::string text = trimmed(line.text);
        if (text.empty() || text[0] == '#') {
            return;
        }
        const std::string context = where + ": " + quoted(shortened(text, kShownLineBytes));
        try {
            const ParameterSetting setting = parseParameterSetting(text, context);
            const int32_t index = findParameter(names, setting.target, context);
            if (!processor.requestParameter({index, setting.normalizedValue})) {
                throw ToolError(context + ": only the first " + std::to_string(ParameterSlots::kMaxParameters) +
                                " parameters can be changed while running");
            }
        } catch (const ToolError& error) {
            if (badLineReports.allows(Clock::now())) {
                report(error.what());
            }
        }
    }

    /// At most one line a second while control lines come faster than the audio cycles take them,
    /// and one for the bad lines that were not shown.
    void reportOverload() {
        const auto now = Clock::now();
        if (const uint64_t withheld = badLineReports.takeWithheld(now)) {
            report("standard input: " + std::to_string(withheld) + " more bad lines in the last second, not shown");
        }
        if (now < nextOverloadReport) {
            return;
        }
        const uint64_t replaced = processor.takeReplacedCount();
        if (replaced > 0) {
            report("standard input: " + std::to_string(replaced) +
                   " values were replaced by later ones before the audio took them (the latest value of each "
                   "parameter wins)");
            nextOverloadReport = now + kOverloadReportInterval;
        }
    }

    int32_t checkedLatency() {
        const int32_t reported = effect->latencyFrames();
        if (reported < 0 && reported != warnedLatency) {
            report("warning: " + negativeLatencyWarning(reported));
            warnedLatency = reported;
        }
        return usableLatency(reported);
    }

    /// True once the effect has not returned from one processing call for kAnswerLimit; it is then
    /// reported and given up: nothing calls it or unloads its module again, and the client is closed.
    bool effectStuck() {
        if (!stuckWatch.stuck(processor.calls(), Clock::now(), kAnswerLimit)) {
            return false;
        }
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(kAnswerLimit).count();
        report(quoted(module->path()) +
               " stopped answering: " + (effect->usesReplacing() ? "processReplacing" : "process") +
               " has not returned for " + std::to_string(seconds) + " s");
        // Its code may still be running: the effect is never closed, its module never unloaded.
        abandoned = {effect.release(), module.release()};
        // A close that hangs as well ends the tool by SIGALRM's default action.
        std::signal(SIGALRM, SIG_DFL);
        ::alarm(kCloseLimitSeconds);
        client.close();
        ::alarm(0);
        return true;
    }

    /// A stop waits for a processing call still in progress, up to kAnswerLimit since it began.
    bool lastCallReturns() {
        const auto calls = processor.calls();
        while (calls.begun != calls.ended && processor.calls().ended == calls.ended) {
            if (effectStuck()) {
                return false;
            }
            std::this_thread::sleep_for(kPauseCheckInterval);
        }
        return true;
    }

    /// The server changed its period: the effect is suspended, prepared for it and resumed while
    /// the audio thread writes silence. False when the effect stopped answering meanwhile.
    bool adaptToPeriod(int32_t frames, StopSignals& signals) {
        processor.requestPause();
        while (!processor.paused()) {
            if (effectStuck()) {
                return false;
            }
            if (signals.stopRequested() || client.news().shutDown) {
                return true;
            }
            signals.wait(-1, kPauseCheckInterval);
        }
        effect->suspend();
        effect->prepare(static_cast<float>(rateHz), frames);
        effect->resume();
        preparedFrames = frames;
        processor.resume(frames);
        const int32_t latency = checkedLatency();
        if (latency != latencyFrames) {
            latencyFrames = latency;
            client.setLatency(latencyFrames);
        }
        return true;
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

    /// One line on stderr. A failed write (a reader that has gone) only loses the line.
    void report(const std::string& line) {
        std::fprintf(stderr, "%s%s: %s\n", statusShown ? "\r\033[K" : "", kToolName, line.c_str());
        statusShown = false;
    }

    void printStartLine(bool controlled) {
        std::string ports;
        for (const std::string& name : client.portNames()) {
            ports += (ports.empty() ? "" : ", ") + escaped(name);
        }
        char line[256];
        std::snprintf(line, sizeof line, "running at %d Hz, period %d frames, latency %d frames (%.1f ms); ports ",
                      static_cast<int>(rateHz), static_cast<int>(preparedFrames), static_cast<int>(latencyFrames),
                      1000.0 * latencyFrames / rateHz);
        report(line + ports + (controlled ? "; reading P=V lines from standard input" : ""));
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
    std::unique_ptr<PluginModule> module;
    std::unique_ptr<EffectInstance> effect;
    ControlSettings controls;
    std::vector<std::string> names;  ///< the parameters' names, read before the audio thread starts
    LiveClient client;
    int32_t rateHz;
    int32_t preparedFrames;
    LiveProcessor processor;
    bool terminal;
    ControlLineReader stdinLines;
    int32_t latencyFrames = 0;
    int32_t warnedLatency = 0;
    StuckCallWatch stuckWatch;
    Clock::time_point nextOverloadReport;
    ReportBudget badLineReports{kBadLineReportsPerSecond};
    Meters meters;
    uint32_t xrunCount = 0;
    bool statusShown = false;
    bool readErrorReported = false;
};

}  // namespace

bool runLive(const LiveOptions& options) {
    StopSignals signals;  // before the client, so that JACK's threads start with the signals blocked
    Session session(options);
    return session.run(signals);
}
