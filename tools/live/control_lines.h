// The control lines that tinvoicer-live reads from standard input while it runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

/// Lines from a descriptor, split at line ends; a last line without one counts at the end. A line
/// longer than kMaxLineBytes is passed on once, cut to that length and marked, as soon as it grows
/// too long; the rest of it is read and dropped up to its line end. The reader keeps at most one
/// line's worth of bytes, whatever arrives.
class ControlLineReader {
public:
    static constexpr size_t kMaxLineBytes = 4096;

    struct Line {
        std::string_view text;  ///< without its line end; valid during the call only
        uint64_t number;        ///< counted from 1
        bool tooLong;           ///< `text` is only the line's first kMaxLineBytes
    };

    explicit ControlLineReader(int fd) : fd(fd) {}

    /// The descriptor to wait on, or -1 once it has reached its end or failed.
    int descriptor() const { return open ? fd : -1; }
    /// The errno of a read that failed (EISDIR for a folder given as standard input), which ended
    /// the lines as an end of input does; 0 while none has.
    int readError() const { return failedErrno; }

    /// Reads once (after the descriptor has signalled) and calls `take` for each line this read
    /// completes or finds too long.
    void readOnce(const std::function<void(const Line&)>& take);

    /// Splits `bytes` as if they had been read; `atEnd` ends the stream after them.
    void feed(std::string_view bytes, bool atEnd, const std::function<void(const Line&)>& take);

private:
    int fd;
    bool open = true;
    int failedErrno = 0;
    bool skipping = false;  ///< inside a line already passed on as too long
    uint64_t lineNumber = 1;
    std::string pending;  ///< the current line's bytes so far, at most kMaxLineBytes
};
