// Runs the real tinvoicer-render executable and handles the files it reads and writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ToolRun {
    int exitCode = -1;     ///< -1 when the tool died of a signal
    int signalNumber = 0;  ///< the signal that ended it, or 0
    std::string out;
    std::string err;
};

/// How the tool's process starts, beyond its arguments: what a shell, nohup or ulimit would set.
struct RunSetup {
    std::vector<std::pair<std::string, std::string>> environment;  ///< added to the test's own
    std::vector<int> ignoredSignals;  ///< inherited as ignored, as nohup and background jobs do
    long fileSizeLimitBytes = 0;      ///< ulimit -f; 0: none
    std::string stdoutPath;           ///< where stdout goes instead of being captured
    bool unprivileged = false;        ///< run as the user nobody when the test runs as root
};

/// Runs the tool with `args` and waits for it; stdin is empty, stdout and stderr are captured, and
/// every signal has its default disposition unless the setup ignores it.
ToolRun runTool(const std::vector<std::string>& args, const RunSetup& setup = {});

/// Why an unprivileged run cannot happen here (empty when it can): as root, the tool runs as the
/// user nobody from a copy in the temporary folder, which that user must be able to enter.
std::string whyNobodyCannotRunTheTool();

/// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string file(const std::string& name) const { return path + "/" + name; }
    /// The names in the folder, sorted.
    std::vector<std::string> names() const;
    const std::string path;
};

struct Sound {
    std::vector<float> samples;  ///< interleaved
    int32_t channels = 1;
    int32_t rateHz = 44100;
    int format = 0;  ///< libsndfile format code

    int64_t frames() const { return static_cast<int64_t>(samples.size()) / channels; }
    std::vector<float> channel(int32_t index) const;
};

/// libsndfile does the reading and writing; failures end the test with a fatal assertion.
void writeSound(const std::string& path, const Sound& sound);
Sound readSound(const std::string& path);

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);
