// An output file that appears under its real name only once it is complete.
#pragma once

#include <string>

/// Where the output goes. A regular file, or one that does not exist yet, is written under a
/// temporary name in its folder and renamed over it by commit(): until then it is untouched, and
/// destruction or a fatal signal removes the temporary file. The replacement keeps an existing
/// file's permission bits. A symbolic link is followed first, so its target is replaced and the
/// link stays. Anything else (a device, a FIFO, a socket, or a descriptor named through /proc, such
/// as /dev/stdout) is opened and written in place: nothing is ever renamed over it. One pending
/// file at a time: the signal handler knows only the latest.
class PendingFile {
public:
    /// The prefix of every temporary file name, so that one left by a killed render is recognised.
    static constexpr const char* kTemporaryPrefix = ".tinvoicer-render-";

    /// Throws ToolError naming `destination` when it is a folder or cannot be opened, or when its
    /// folder cannot take a new file.
    explicit PendingFile(std::string destination);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    /// Open for writing until commit().
    int descriptor() const { return fileDescriptor; }
    const std::string& destination() const { return destinationPath; }
    /// True when the output is written in place rather than through a temporary file.
    bool writesInPlace() const { return temporaryPath.empty(); }
    /// False for a FIFO, a pipe, a socket or a terminal: the file must be written front to back.
    bool seekable() const { return canSeek; }
    /// The temporary file, for checking what was written before commit(); empty when in place.
    const std::string& pendingPath() const { return temporaryPath; }
    /// Flushes, closes and renames. Throws ToolError if any step fails; the temporary file is then removed.
    void commit();

private:
    void openInPlace(const std::string& path);
    void openTemporary(const std::string& finalPath);

    std::string destinationPath;
    std::string replacedPath;  ///< the file commit() replaces: the destination with links followed
    std::string temporaryPath;
    int fileDescriptor = -1;
    bool canSeek = true;
    bool committed = false;
};

/// True when `path` names a FIFO or a socket (through links, /dev/stdout included): an output that
/// cannot seek, known before opening it, which for a FIFO waits for a reader.
bool isPipeOrSocket(const std::string& path);

/// Throws ToolError when writing `outputPath` would replace `inputPath` (the same file under any
/// name) or when `outputPath` is a folder.
void refuseToReplaceInput(const std::string& inputPath, const std::string& outputPath);
