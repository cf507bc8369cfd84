#include "render/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kit/crash_guard.h"
#include "kit/tool_error.h"

namespace {

constexpr int kMaxLinksFollowed = 40;
constexpr size_t kStemBytes = 24;

[[noreturn]] void failToWrite(const std::string& destination, const std::string& reason) {
    throw ToolError(quoted(destination) + ": cannot write: " + reason);
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joined(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

/// The folder with every link resolved. Throws ToolError naming `destination` when it is missing.
std::string realFolder(const std::string& folder, const std::string& destination) {
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved) == nullptr) {
        failToWrite(destination, std::strerror(errno));
    }
    return resolved;
}

/// The start of a file name, cut before a byte that continues a UTF-8 character, so that the
/// temporary name stays short and valid even for the longest names.
std::string stemOf(const std::string& name) {
    size_t length = std::min(name.size(), kStemBytes);
    while (length > 0 && length < name.size() && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) {
        --length;
    }
    return name.substr(0, length);
}

/// New files get the usual permissions (0666 less the umask), not mkstemp's private 0600.
mode_t defaultFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

PendingFile::PendingFile(std::string destination) : destinationPath(std::move(destination)) {
    std::string path = destinationPath;
    for (int hop = 0; hop < kMaxLinksFollowed; ++hop) {
        const std::string folder = realFolder(folderOf(path), destinationPath);
        path = joined(folder, nameOf(path));
        // /proc's links (/dev/stdout, /dev/fd/N) name open descriptors, which may be pipes, not paths.
        if (folder.rfind("/proc/", 0) == 0) {
            openInPlace(path);
            return;
        }
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) {
            if (errno != ENOENT) {
                failToWrite(destinationPath, std::strerror(errno));
            }
            openTemporary(path);
            return;
        }
        if (S_ISDIR(status.st_mode)) {
            failToWrite(destinationPath, "is a folder");
        }
        if (!S_ISLNK(status.st_mode)) {
            if (S_ISREG(status.st_mode)) {
                openTemporary(path);
            } else {
                openInPlace(path);
            }
            return;
        }
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size() - 1);
        if (length < 0) {
            failToWrite(destinationPath, std::strerror(errno));
        }
        const std::string linked(target.data(), static_cast<size_t>(length));
        path = linked.rfind('/', 0) == 0 ? linked : joined(folder, linked);
    }
    failToWrite(destinationPath, std::strerror(ELOOP));
}

void PendingFile::openInPlace(const std::string& path) {
    fileDescriptor = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fileDescriptor < 0) {
        failToWrite(destinationPath, std::strerror(errno));
    }
    struct stat status {};
    ::fstat(fileDescriptor, &status);
    // A regular file reached through /dev/stdout starts afresh, as if opened with '>'.
    if (S_ISREG(status.st_mode) && ::ftruncate(fileDescriptor, 0) != 0) {
        failToWrite(destinationPath, std::strerror(errno));
    }
    canSeek = !S_ISFIFO(status.st_mode) && !S_ISSOCK(status.st_mode) && ::lseek(fileDescriptor, 0, SEEK_CUR) >= 0;
}

void PendingFile::openTemporary(const std::string& finalPath) {
    // Hidden, in the destination's folder so that the final rename stays on one file system, and
    // short whatever the destination's length.
    std::string pattern = joined(folderOf(finalPath), kTemporaryPrefix + stemOf(nameOf(finalPath)) + ".XXXXXX");
    fileDescriptor = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fileDescriptor < 0) {
        // The destination itself may well be writable: it is the folder that refuses.
        throw ToolError(quoted(destinationPath) + ": cannot write into its folder " + quoted(folderOf(finalPath)) +
                        ": " + std::strerror(errno));
    }
    temporaryPath = pattern;
    replacedPath = finalPath;
    removeOnFatalSignal(temporaryPath.c_str());
    struct stat existing {};
    if (::stat(finalPath.c_str(), &existing) == 0) {
        ::fchmod(fileDescriptor, existing.st_mode & 07777);
    } else {
        ::fchmod(fileDescriptor, defaultFileMode());
    }
}

PendingFile::~PendingFile() {
    if (fileDescriptor >= 0) {
        ::close(fileDescriptor);
    }
    if (!committed && !temporaryPath.empty()) {
        ::unlink(temporaryPath.c_str());
    }
    if (!temporaryPath.empty()) {
        removeOnFatalSignal(nullptr);
    }
}

void PendingFile::commit() {
    const int descriptorToClose = fileDescriptor;
    fileDescriptor = -1;
    // Devices and FIFOs have nothing to sync; only a file that is renamed into place must be whole first.
    const bool synced = writesInPlace() || ::fsync(descriptorToClose) == 0;
    const int syncError = errno;
    if (::close(descriptorToClose) != 0 || !synced) {
        throw ToolError(quoted(destinationPath) + ": write failed: " + std::strerror(synced ? errno : syncError));
    }
    if (writesInPlace()) {
        committed = true;
        return;
    }
    if (::rename(temporaryPath.c_str(), replacedPath.c_str()) != 0) {
        throw ToolError(quoted(destinationPath) + ": cannot replace: " + std::strerror(errno));
    }
    committed = true;
}

bool isPipeOrSocket(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
}

void refuseToReplaceInput(const std::string& inputPath, const std::string& outputPath) {
    struct stat output {};
    if (::stat(outputPath.c_str(), &output) != 0) {
        return;
    }
    if (S_ISDIR(output.st_mode)) {
        failToWrite(outputPath, "is a folder");
    }
    struct stat input {};
    if (!inputPath.empty() && ::stat(inputPath.c_str(), &input) == 0 && input.st_dev == output.st_dev &&
        input.st_ino == output.st_ino) {
        throw ToolError(quoted(outputPath) + ": is the input file; the tool never overwrites its input");
    }
}
