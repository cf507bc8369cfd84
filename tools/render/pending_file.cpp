#include "pending_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tool_error.h"

namespace {

// The signal handler may only read plain memory, so the path lives in a fixed buffer.
char interruptedFileToRemove[4096];

// Interrupts, and the crashes a faulty effect module can cause inside a render.
constexpr int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

extern "C" void removePendingFileAndExit(int signalNumber) {
    if (interruptedFileToRemove[0] != '\0') {
        ::unlink(interruptedFileToRemove);
    }
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void watchForInterrupts(const std::string& temporaryPath) {
    if (temporaryPath.size() >= sizeof interruptedFileToRemove) {
        return;
    }
    std::memcpy(interruptedFileToRemove, temporaryPath.c_str(), temporaryPath.size() + 1);
    for (int signalNumber : kFatalSignals) {
        std::signal(signalNumber, removePendingFileAndExit);
    }
}

void stopWatching() {
    for (int signalNumber : kFatalSignals) {
        std::signal(signalNumber, SIG_DFL);
    }
    interruptedFileToRemove[0] = '\0';
}

/// The temporary name: hidden, in the destination's folder, so the final rename stays on one file system.
std::string temporaryTemplate(const std::string& destination) {
    const size_t slash = destination.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : destination.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? destination : destination.substr(slash + 1);
    return folder + "." + name + ".partial-XXXXXX";
}

/// New files get the usual permissions (0666 less the umask), not mkstemp's private 0600.
mode_t defaultFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

PendingFile::PendingFile(std::string destination) : destinationPath(std::move(destination)) {
    std::string pattern = temporaryTemplate(destinationPath);
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    fileDescriptor = ::mkstemp(buffer.data());
    if (fileDescriptor < 0) {
        throw ToolError(destinationPath + ": cannot write: " + std::strerror(errno));
    }
    temporaryPath = buffer.data();
    ::fchmod(fileDescriptor, defaultFileMode());
    watchForInterrupts(temporaryPath);
}

PendingFile::~PendingFile() {
    if (fileDescriptor >= 0) {
        ::close(fileDescriptor);
    }
    if (!committed) {
        ::unlink(temporaryPath.c_str());
    }
    stopWatching();
}

void PendingFile::commit() {
    const int descriptorToClose = fileDescriptor;
    fileDescriptor = -1;
    const bool synced = ::fsync(descriptorToClose) == 0;
    const int syncError = errno;
    if (::close(descriptorToClose) != 0 || !synced) {
        throw ToolError(destinationPath + ": write failed: " + std::strerror(synced ? errno : syncError));
    }
    if (::rename(temporaryPath.c_str(), destinationPath.c_str()) != 0) {
        throw ToolError(destinationPath + ": cannot replace: " + std::strerror(errno));
    }
    committed = true;
}

void refuseToReplaceInput(const std::string& inputPath, const std::string& outputPath) {
    struct stat output {};
    if (::stat(outputPath.c_str(), &output) != 0) {
        return;
    }
    if (S_ISDIR(output.st_mode)) {
        throw ToolError(outputPath + ": cannot write: is a folder");
    }
    struct stat input {};
    if (!inputPath.empty() && ::stat(inputPath.c_str(), &input) == 0 && input.st_dev == output.st_dev &&
        input.st_ino == output.st_ino) {
        throw ToolError(outputPath + ": is the input file; the tool never overwrites its input");
    }
}
