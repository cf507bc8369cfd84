#include "desktop_fixtures.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "live/live_fixtures.h"

namespace desktop_test {

using live_test::Clock;
namespace fs = std::filesystem;

namespace {

constexpr auto kPatience = std::chrono::seconds(10);

bool installed(const char* program) {
    return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

/// pw-jack puts PipeWire's libjack before the JACK server's; the test's clients must use it.
bool onPipeWiresJack() {
    Dl_info library{};
    return ::dladdr(reinterpret_cast<void*>(&jack_client_open), &library) != 0 && library.dli_fname != nullptr &&
           std::string(library.dli_fname).find("pipewire") != std::string::npos;
}

template <typename Condition>
bool waitUntil(Condition done) {
    const auto deadline = Clock::now() + kPatience;
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string fileText(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

void PrivateDesktop::SetUp() {
    for (const char* program : {"pipewire", "wireplumber", "dbus-daemon", "pw-cli"}) {
        if (!installed(program)) {
            GTEST_SKIP() << "skipped: " << program << " is not installed (scripts/setup desktop)";
        }
    }
    if (!onPipeWiresJack()) {
        GTEST_SKIP() << "skipped: not running on PipeWire's JACK library (run the test under pw-jack)";
    }
    char folder[] = "/tmp/tinvoicer-desktop-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    root = folder;
    for (const char* sub : {"/run", "/config/pipewire/pipewire.conf.d", "/home"}) {
        fs::create_directories(root + sub);
    }
    // Everything the three programs and PipeWire's JACK library look up, in private folders.
    ::setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
    ::setenv("PIPEWIRE_RUNTIME_DIR", (root + "/run").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (root + "/home/state").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root + "/home/data").c_str(), 1);
    ::setenv("HOME", (root + "/home").c_str(), 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + root + "/run/bus").c_str(), 1);
    ::unsetenv("PIPEWIRE_REMOTE");
}

void PrivateDesktop::start(const std::string& dropIn, const std::string& lv2Path) {
    if (!dropIn.empty()) {
        std::ofstream(root + "/config/pipewire/pipewire.conf.d/under-test.conf") << dropIn;
    }
    // Not --fork: a bus that is the test's own child dies with the test.
    bus = live_test::startServerProcess(
        {"dbus-daemon", "--session", "--nofork", "--address=unix:path=" + root + "/run/bus"}, root + "/dbus.log");
    ASSERT_TRUE(waitUntil([&] { return fs::exists(root + "/run/bus"); })) << "dbus-daemon did not start";
    pipewire = live_test::startServerProcess({"env", "LV2_PATH=" + lv2Path, "pipewire"}, root + "/pipewire.log");
    ASSERT_TRUE(waitUntil([&] {
        watcher = jack_client_open("watcher", JackNoStartServer, nullptr);
        return watcher != nullptr;
    })) << "pipewire did not start";
    wireplumber = live_test::startServerProcess({"wireplumber"}, root + "/wireplumber.log");
}

pid_t PrivateDesktop::startClient(std::vector<std::string> args, const std::string& lv2Path) {
    args.insert(args.begin(), {"env", "LV2_PATH=" + lv2Path});
    clients.push_back(live_test::startServerProcess(args, root + "/clients.log"));
    return clients.back();
}

void PrivateDesktop::stopClient(pid_t pid) {
    live_test::stopProcess(pid);
    clients.erase(std::remove(clients.begin(), clients.end(), pid), clients.end());
}

bool PrivateDesktop::ended(pid_t pid, int& status) {
    if (!waitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; })) {
        return false;
    }
    clients.erase(std::remove(clients.begin(), clients.end(), pid), clients.end());
    return true;
}

std::string PrivateDesktop::clientsLog() const { return fileText(root + "/clients.log"); }

bool PrivateDesktop::stillRunning(pid_t& pid) {
    if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == pid) {
        pid = -1;
    }
    return pid > 0;
}

std::string PrivateDesktop::lv2PathWith(const std::vector<std::string>& bundles) {
    const std::string folder = root + "/lv2";
    fs::create_directories(folder);
    for (const std::string& bundle : bundles) {
        fs::create_directory_symlink(bundle, folder + "/" + fs::path(bundle).filename().string());
    }
    return folder;
}

void PrivateDesktop::TearDown() {
    if (root.empty()) {
        return;
    }
    if (watcher != nullptr) {
        jack_client_close(watcher);
    }
    for (const pid_t pid : clients) {
        live_test::stopProcess(pid);
    }
    for (const pid_t pid : {wireplumber, pipewire, bus}) {
        if (pid > 0) {
            live_test::stopProcess(pid);
        }
    }
    if (HasFailure()) {
        for (const char* log : {"/pipewire.log", "/wireplumber.log", "/clients.log"}) {
            std::cout << "---- " << log + 1 << ":\n" << fileText(root + log);
        }
    }
    fs::remove_all(root);
}

bool PrivateDesktop::waitForPort(const std::string& port, bool present) {
    return waitUntil([&] { return (jack_port_by_name(watcher, port.c_str()) != nullptr) == present; });
}

std::vector<std::string> PrivateDesktop::linksOf(const std::string& port) {
    std::vector<std::string> names;
    jack_port_t* handle = jack_port_by_name(watcher, port.c_str());
    if (handle == nullptr) {
        return names;
    }
    if (const char** linked = jack_port_get_all_connections(watcher, handle)) {
        for (const char** name = linked; *name != nullptr; ++name) {
            names.emplace_back(*name);
        }
        jack_free(linked);
    }
    return names;
}

bool PrivateDesktop::waitForLink(const std::string& port, const std::string& peer) {
    return waitUntil([&] {
        const std::vector<std::string> links = linksOf(port);
        return std::find(links.begin(), links.end(), peer) != links.end();
    });
}

bool PrivateDesktop::waitForLog(const std::string& text) {
    return waitUntil([&] { return pipewireLog().find(text) != std::string::npos; });
}

std::string PrivateDesktop::pipewireLog() const { return fileText(root + "/pipewire.log"); }

std::string PrivateDesktop::commandOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
            output.append(chunk, n);
        }
        ::pclose(pipe);
    }
    return output;
}

void PrivateDesktop::plugInMicrophone() {
    // object.linger keeps the node after pw-cli has gone, as a device's node stays.
    commandOutput(
        "pw-cli create-node adapter '{ factory.name = support.null-audio-sink node.name = test-microphone "
        "node.description = \"Test microphone\" media.class = Audio/Source/Virtual audio.position = [ MONO ] "
        "object.linger = true }'");
    ASSERT_TRUE(waitForPort(kMicrophoneOutput)) << "the test microphone did not appear";
}

void PrivateDesktop::unplugMicrophone() {
    commandOutput("pw-cli destroy test-microphone");
    ASSERT_TRUE(waitForPort(kMicrophoneOutput, false)) << "the test microphone did not go";
}

}  // namespace desktop_test
