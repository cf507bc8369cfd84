// An output file that appears under its real name only once it is complete.
#pragma once

#include <string>

/// Creates a temporary file in the destination's folder; commit() renames it over the destination.
/// Until then the destination is untouched, and destruction, an interrupt or a crash (a fatal
/// signal, say inside a faulty effect) removes the temporary file. One pending file at a time:
/// the signal handler knows only the latest.
class PendingFile {
public:
    /// Throws ToolError naming `destination` when its folder cannot take a new file.
    explicit PendingFile(std::string destination);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    /// Open for writing until commit().
    int descriptor() const { return fileDescriptor; }
    const std::string& destination() const { return destinationPath; }
    /// Flushes, closes and renames. Throws ToolError if any step fails; the temporary file is then removed.
    void commit();

private:
    std::string destinationPath;
    std::string temporaryPath;
    int fileDescriptor = -1;
    bool committed = false;
};

/// Throws ToolError when writing `outputPath` would replace `inputPath` (the same file under any
/// name) or when `outputPath` is a folder.
void refuseToReplaceInput(const std::string& inputPath, const std::string& outputPath);
