// The JACK client of the live tool: its ports, its callbacks and what the server tells it.
// JACK's own types stay inside jack_client.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "live/live_processor.h"

/// What the server reported, read by the control thread. Written by JACK's notification thread.
struct ServerNews {
    bool shutDown = false;
    std::string shutdownReason;
    int32_t bufferFrames = 0;  ///< the period the server announced last
    uint32_t xruns = 0;
};

/// One open client with `inputs` input and `outputs` output ports ("in"/"out" for one channel,
/// "in_1", "in_2", ... otherwise). Closed when destroyed: deactivated first if still active.
class LiveClient {
public:
    /// Opens the client under exactly `name`, never starting a server. Throws UsageError when the
    /// name is longer than JACK allows, and ToolError when no server runs, when another client owns
    /// the name (and so the port names), or when a port cannot be registered.
    LiveClient(const std::string& name, int32_t inputs, int32_t outputs);
    ~LiveClient();
    LiveClient(const LiveClient&) = delete;
    LiveClient& operator=(const LiveClient&) = delete;

    int32_t sampleRateHz() const;
    int32_t bufferFrames() const;
    /// Full names ("tinvoicer:in"), inputs first.
    std::vector<std::string> portNames() const;

    /// Installs the callbacks and starts processing: each cycle's port buffers go to `processor`,
    /// and the ports report `latencyFrames` more than the ports upstream of them.
    void activate(LiveProcessor& processor, int32_t latencyFrames);
    /// Stops the callbacks; returns once the audio thread has left the processor for good.
    void deactivate();
    /// Deactivates and leaves the server; nothing else may be called afterwards. libjack stops
    /// an audio thread that never returns from the processor by cancelling it, where it can.
    void close();
    /// Publishes a new delay of the effect and has the server pass it on through the graph.
    void setLatency(int32_t latencyFrames);
    /// Wires the first capture port to every input and the outputs to the first playback ports
    /// (a single output to the first two). Returns one line per connection that failed.
    std::vector<std::string> connectToSystem();

    /// The server's DSP load in percent of the period, averaged over its last cycles.
    float cpuLoadPercent() const;
    ServerNews news() const;

    struct Shared;

private:
    std::unique_ptr<Shared> shared;
};

/// The one line a user gets when no server of that name runs (JACK_DEFAULT_SERVER's value; null or
/// empty for libjack's own default).
std::string noServerMessage(const char* serverName);
