#include "live/jack_client.h"

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "kit/tool_error.h"

std::string noServerMessage(const char* serverName) {
    const std::string name = serverName != nullptr && serverName[0] != '\0' ? serverName : "default";
    if (name == "default") {
        return "no JACK server 'default' is running; start one with `jackd -d alsa` or run under `pw-jack`";
    }
    return "no JACK server " + quoted(name) + " is running (JACK_DEFAULT_SERVER names it); start one with `jackd -n " +
           quoted(name) + " -d alsa`, or unset JACK_DEFAULT_SERVER for the default server";
}

struct LiveClient::Shared {
    jack_client_t* client = nullptr;
    std::vector<jack_port_t*> inputPorts;
    std::vector<jack_port_t*> outputPorts;
    std::vector<float*> inputBuffers;  ///< filled anew in each cycle
    std::vector<float*> outputBuffers;
    LiveProcessor* processor = nullptr;
    bool active = false;
    std::atomic<int32_t> latencyFrames{0};
    std::atomic<int32_t> announcedBufferFrames{0};
    std::atomic<uint32_t> xruns{0};
    std::atomic<bool> shutDown{false};
    char shutdownReason[256] = {};  ///< written once, before shutDown turns true
};

namespace {

using Shared = LiveClient::Shared;

int onProcess(jack_nframes_t frames, void* argument) {
    Shared& shared = *static_cast<Shared*>(argument);
    for (size_t i = 0; i < shared.inputPorts.size(); ++i) {
        shared.inputBuffers[i] = static_cast<float*>(jack_port_get_buffer(shared.inputPorts[i], frames));
    }
    for (size_t i = 0; i < shared.outputPorts.size(); ++i) {
        shared.outputBuffers[i] = static_cast<float*>(jack_port_get_buffer(shared.outputPorts[i], frames));
    }
    shared.processor->process(shared.inputBuffers.data(), shared.outputBuffers.data(), static_cast<int32_t>(frames));
    return 0;
}

/// The control thread prepares the effect for the new period; until then process() works in pieces.
int onBufferSize(jack_nframes_t frames, void* argument) {
    static_cast<Shared*>(argument)->announcedBufferFrames.store(static_cast<int32_t>(frames));
    return 0;
}

int onXrun(void* argument) {
    static_cast<Shared*>(argument)->xruns.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

void onShutdown(jack_status_t, const char* reason, void* argument) {
    Shared& shared = *static_cast<Shared*>(argument);
    std::snprintf(shared.shutdownReason, sizeof shared.shutdownReason, "%s", reason != nullptr ? reason : "");
    shared.shutDown.store(true, std::memory_order_release);
}

/// The range of the ports on one side widened by the effect's delay, passed on to the other side:
/// capture latency flows from the inputs to the outputs, playback latency the other way.
void onLatency(jack_latency_callback_mode_t mode, void* argument) {
    Shared& shared = *static_cast<Shared*>(argument);
    const bool capture = mode == JackCaptureLatency;
    const std::vector<jack_port_t*>& from = capture ? shared.inputPorts : shared.outputPorts;
    const std::vector<jack_port_t*>& to = capture ? shared.outputPorts : shared.inputPorts;
    jack_latency_range_t combined{0, 0};
    for (size_t i = 0; i < from.size(); ++i) {
        jack_latency_range_t range;
        jack_port_get_latency_range(from[i], mode, &range);
        combined.min = i == 0 ? range.min : std::min(combined.min, range.min);
        combined.max = std::max(combined.max, range.max);
    }
    const auto delay = static_cast<jack_nframes_t>(shared.latencyFrames.load());
    combined.min += delay;
    combined.max += delay;
    for (jack_port_t* port : to) {
        jack_port_set_latency_range(port, mode, &combined);
    }
}

/// libjack's own chatter would add lines to the tool's one-line errors.
void discardMessage(const char*) {}

std::string portName(const char* stem, size_t index, size_t count) {
    return count == 1 ? stem : std::string(stem) + "_" + std::to_string(index + 1);
}

bool clientExists(const std::string& name) {
    jack_client_t* probe = jack_client_open("tinvoicer-probe", JackNoStartServer, nullptr);
    if (probe == nullptr) {
        return false;
    }
    char* uuid = jack_get_uuid_for_client_name(probe, name.c_str());
    jack_free(uuid);
    jack_client_close(probe);
    return uuid != nullptr;
}

/// How a message shows a client name: quoted, and cut to a few dozen bytes.
std::string shownName(const std::string& name) { return quoted(shortened(name, 40)); }

}  // namespace

LiveClient::LiveClient(const std::string& name, int32_t inputs, int32_t outputs) : shared(new Shared) {
    jack_set_error_function(discardMessage);
    jack_set_info_function(discardMessage);
    // The size counts the terminating zero; jackd 1.9 refuses a name of size - 1 bytes as well.
    const auto longestName = static_cast<size_t>(jack_client_name_size() - 2);
    if (name.size() > longestName) {
        throw UsageError("the client name " + shownName(name) + " has " + std::to_string(name.size()) +
                         " bytes; JACK takes at most " + std::to_string(longestName) + " (choose a shorter --name)");
    }
    jack_status_t status{};
    shared->client =
        jack_client_open(name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName), &status);
    if (shared->client == nullptr) {
        if ((status & JackServerFailed) != 0) {
            throw ToolError(noServerMessage(std::getenv("JACK_DEFAULT_SERVER")));
        }
        // jackd reports a taken name as a server error when the exact name is asked for.
        if ((status & JackNameNotUnique) != 0 || clientExists(name)) {
            const std::string firstPort = inputs > 0 ? portName("in", 0, static_cast<size_t>(inputs))
                                                     : portName("out", 0, static_cast<size_t>(outputs));
            throw ToolError("port name " + quoted(name + ":" + firstPort) +
                            " is taken: another JACK client is called " + quoted(name) + " (choose another --name)");
        }
        throw ToolError("the JACK server refused a client called " + shownName(name));
    }
    auto registerPorts = [&](const char* stem, int32_t count, unsigned long flags, std::vector<jack_port_t*>& ports) {
        for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
            const std::string port = portName(stem, i, static_cast<size_t>(count));
            ports.push_back(jack_port_register(shared->client, port.c_str(), JACK_DEFAULT_AUDIO_TYPE, flags, 0));
            if (ports.back() == nullptr) {
                jack_client_close(shared->client);
                throw ToolError("port name " + quoted(name + ":" + port) + " cannot be registered");
            }
        }
    };
    registerPorts("in", inputs, JackPortIsInput, shared->inputPorts);
    registerPorts("out", outputs, JackPortIsOutput, shared->outputPorts);
    shared->inputBuffers.resize(shared->inputPorts.size());
    shared->outputBuffers.resize(shared->outputPorts.size());
}

LiveClient::~LiveClient() { close(); }

void LiveClient::close() {
    if (shared->client == nullptr) {
        return;
    }
    deactivate();
    jack_client_close(shared->client);
    shared->client = nullptr;
}

void LiveClient::deactivate() {
    // After a shutdown the server is gone; closing then only frees the client's own resources.
    if (shared->active && !shared->shutDown.load()) {
        jack_deactivate(shared->client);
    }
    shared->active = false;
}

int32_t LiveClient::sampleRateHz() const { return static_cast<int32_t>(jack_get_sample_rate(shared->client)); }

int32_t LiveClient::bufferFrames() const { return static_cast<int32_t>(jack_get_buffer_size(shared->client)); }

std::vector<std::string> LiveClient::portNames() const {
    std::vector<std::string> names;
    for (const auto* ports : {&shared->inputPorts, &shared->outputPorts}) {
        for (jack_port_t* port : *ports) {
            names.emplace_back(jack_port_name(port));
        }
    }
    return names;
}

void LiveClient::activate(LiveProcessor& processor, int32_t latencyFrames) {
    shared->processor = &processor;
    shared->latencyFrames = latencyFrames;
    shared->announcedBufferFrames = bufferFrames();
    jack_client_t* client = shared->client;
    Shared* argument = shared.get();
    if (jack_set_process_callback(client, onProcess, argument) != 0 ||
        jack_set_buffer_size_callback(client, onBufferSize, argument) != 0 ||
        jack_set_xrun_callback(client, onXrun, argument) != 0 ||
        jack_set_latency_callback(client, onLatency, argument) != 0) {
        throw ToolError("the JACK server refused the client's callbacks");
    }
    jack_on_info_shutdown(client, onShutdown, argument);
    if (jack_activate(client) != 0) {
        throw ToolError("the JACK server refused to activate the client");
    }
    shared->active = true;
}

void LiveClient::setLatency(int32_t latencyFrames) {
    shared->latencyFrames = latencyFrames;
    jack_recompute_total_latencies(shared->client);
}

std::vector<std::string> LiveClient::connectToSystem() {
    std::vector<std::string> failures;
    auto connect = [&](const char* source, const char* destination) {
        if (jack_connect(shared->client, source, destination) != 0) {
            failures.push_back(std::string("cannot connect ") + source + " to " + destination);
        }
    };
    auto physical = [&](unsigned long direction) {
        std::vector<std::string> names;
        if (const char** ports =
                jack_get_ports(shared->client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | direction)) {
            for (const char** port = ports; *port != nullptr; ++port) {
                names.emplace_back(*port);
            }
            jack_free(ports);
        }
        return names;
    };
    const std::vector<std::string> captures = physical(JackPortIsOutput);
    const std::vector<std::string> playbacks = physical(JackPortIsInput);
    if (!shared->inputPorts.empty() && captures.empty()) {
        failures.emplace_back("the server has no capture port to connect the input to");
    }
    for (jack_port_t* input : shared->inputPorts) {
        if (!captures.empty()) {
            connect(captures.front().c_str(), jack_port_name(input));
        }
    }
    if (playbacks.empty()) {
        failures.emplace_back("the server has no playback port to connect the output to");
    }
    // A mono effect's output goes to both speakers; otherwise output k goes to playback port k.
    const std::vector<jack_port_t*>& outputs = shared->outputPorts;
    const size_t wired = outputs.size() == 1 ? 2 : outputs.size();
    for (size_t i = 0; i < wired && i < playbacks.size(); ++i) {
        connect(jack_port_name(outputs[std::min(i, outputs.size() - 1)]), playbacks[i].c_str());
    }
    return failures;
}

float LiveClient::cpuLoadPercent() const { return jack_cpu_load(shared->client); }

ServerNews LiveClient::news() const {
    ServerNews news;
    news.shutDown = shared->shutDown.load(std::memory_order_acquire);
    if (news.shutDown) {
        news.shutdownReason = shared->shutdownReason;
    }
    news.bufferFrames = shared->announcedBufferFrames.load();
    news.xruns = shared->xruns.load(std::memory_order_relaxed);
    return news;
}
