// A private Linux desktop's sound for one test: a session bus, pipewire with the configuration
// under test as its drop-in, and wireplumber, in folders of their own and stopped by their PIDs;
// and a JACK client of PipeWire's JACK library that watches the graph's ports and links.
#pragma once

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace desktop_test {

/// Skips the test when PipeWire, WirePlumber or dbus is missing, or when the test does not run on
/// PipeWire's JACK library (pw-jack). The desktop is started by `start`.
class PrivateDesktop : public ::testing::Test {
protected:
    void SetUp() override;
    /// Stops every process by its PID, shows their logs when the test failed, removes the folders.
    void TearDown() override;

    /// Starts the bus, pipewire with `dropIn` (a configuration's text; none when empty) and
    /// LV2_PATH set to `lv2Path`, and wireplumber; returns once pipewire serves JACK clients.
    void start(const std::string& dropIn, const std::string& lv2Path);
    /// Starts `args` with the desktop's environment and LV2_PATH, its output in the logs.
    pid_t startClient(std::vector<std::string> args, const std::string& lv2Path);
    void stopClient(pid_t pid);
    /// Whether that child still runs; once it has ended (and is reaped) its PID becomes -1.
    static bool stillRunning(pid_t& pid);
    /// Whether that client ends within 10 s, its wait status then in `status`.
    bool ended(pid_t pid, int& status);
    std::string clientsLog() const;
    /// A private folder for LV2_PATH that holds `bundles` (links to them) and nothing else.
    std::string lv2PathWith(const std::vector<std::string>& bundles);

    /// Waits until the port of that full JACK name exists (or, with `present` false, is gone).
    bool waitForPort(const std::string& port, bool present = true);
    /// Waits until the two ports are linked.
    bool waitForLink(const std::string& port, const std::string& peer);
    /// Full names of the ports linked to `port`.
    std::vector<std::string> linksOf(const std::string& port);
    /// Waits until pipewire's log holds `text`.
    bool waitForLog(const std::string& text);
    std::string pipewireLog() const;
    /// Standard output of a shell command run in the desktop's environment.
    static std::string commandOutput(const std::string& command);

    /// A mono virtual microphone, the kind of capture device a session manager picks as default.
    void plugInMicrophone();
    void unplugMicrophone();

    std::string root;
    pid_t bus = -1;
    pid_t pipewire = -1;
    pid_t wireplumber = -1;
    std::vector<pid_t> clients;
    jack_client_t* watcher = nullptr;
};

constexpr const char* kMicrophoneOutput = "Test microphone:capture_MONO";

}  // namespace desktop_test
