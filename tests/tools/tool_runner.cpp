#include "tool_runner.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

std::string makeScratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/render-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch folder");
    }
    return pattern;
}

/// The tool and the module it loads by default, copied into `copies` (opened to everyone): a build
/// under a home folder (mode 0700, as root's is) is out of the user nobody's reach.
std::string copyForNobody(const ScratchFolder& copies) {
    const fs::path tool = TINVOICER_RENDER_PATH;
    for (const fs::path& file : {tool, tool.parent_path() / "Tinvoicer.so"}) {
        fs::copy_file(file, copies.file(file.filename()));
    }
    fs::permissions(copies.path, fs::perms(0755));
    return copies.file(tool.filename());
}

}  // namespace

std::string whyNobodyCannotRunTheTool() {
    const ScratchFolder probe;
    for (fs::path folder = fs::path(probe.path).parent_path(); ::geteuid() == 0 && folder != folder.root_path();
         folder = folder.parent_path()) {
        if ((fs::status(folder).permissions() & fs::perms::others_exec) == fs::perms::none) {
            return "the user nobody cannot enter the temporary folder " + folder.string() + " (set TMPDIR elsewhere)";
        }
    }
    return {};
}

ToolRun runTool(const std::vector<std::string>& args, const RunSetup& setup) {
    ScratchFolder capture;
    const std::string outPath = capture.file("stdout");
    const std::string errPath = capture.file("stderr");
    std::vector<char*> argv;
    const bool asNobody = setup.unprivileged && ::geteuid() == 0;
    const ScratchFolder reachable;  // for the copies that a run as nobody starts
    std::string program = TINVOICER_RENDER_PATH;
    if (asNobody) {
        program = copyForNobody(reachable);
    }
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    const std::string stdoutPath = setup.stdoutPath.empty() ? outPath : setup.stdoutPath;
    const pid_t child = ::fork();
    if (child == 0) {
        for (const auto& [name, value] : setup.environment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        // Every disposition starts at its default, whatever the test runner inherited (a
        // background job ignores SIGINT and SIGQUIT), so that only the setup's ignored ones are.
        for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
            if (signalNumber != SIGKILL && signalNumber != SIGSTOP) {
                std::signal(signalNumber, SIG_DFL);
            }
        }
        for (int signalNumber : setup.ignoredSignals) {
            std::signal(signalNumber, SIG_IGN);
        }
        if (setup.fileSizeLimitBytes > 0) {
            const rlimit limit{static_cast<rlim_t>(setup.fileSizeLimitBytes),
                               static_cast<rlim_t>(setup.fileSizeLimitBytes)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        // Root may write into any folder, so a refused folder needs a user that can be refused; the
        // captures are open already.
        if (asNobody && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(126);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ToolRun run;
    if (WIFEXITED(status)) {
        run.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.signalNumber = WTERMSIG(status);
    }
    run.out = readBytes(outPath);
    run.err = readBytes(errPath);
    return run;
}

ScratchFolder::ScratchFolder() : path(makeScratchFolder()) {}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::vector<std::string> ScratchFolder::names() const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
        found.push_back(entry.path().filename().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<float> Sound::channel(int32_t index) const {
    std::vector<float> plane;
    for (size_t i = static_cast<size_t>(index); i < samples.size(); i += static_cast<size_t>(channels)) {
        plane.push_back(samples[i]);
    }
    return plane;
}

void writeSound(const std::string& path, const Sound& sound) {
    SF_INFO info{};
    info.channels = sound.channels;
    info.samplerate = sound.rateHz;
    info.format = sound.format != 0 ? sound.format : SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    const sf_count_t written = sf_writef_float(file, sound.samples.data(), sound.frames());
    sf_close(file);
    ASSERT_EQ(written, sound.frames()) << path;
}

Sound readSound(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    Sound sound;
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (file == nullptr) {
        return sound;
    }
    sound.channels = info.channels;
    sound.rateHz = info.samplerate;
    sound.format = info.format;
    sound.samples.resize(static_cast<size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_readf_float(file, sound.samples.data(), info.frames), info.frames) << path;
    sf_close(file);
    return sound;
}

std::string readBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file << bytes;
    ASSERT_TRUE(file.good()) << path;
}
