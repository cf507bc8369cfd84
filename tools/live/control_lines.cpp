#include "live/control_lines.h"

#include <unistd.h>

#include <cerrno>

void ControlLineReader::readOnce(const std::function<void(const Line&)>& take) {
    char chunk[65536];
    const ssize_t count = ::read(fd, chunk, sizeof chunk);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
        return;
    }
    if (count <= 0) {
        open = false;
        failedErrno = count < 0 ? errno : 0;
    }
    feed(std::string_view(chunk, count > 0 ? static_cast<size_t>(count) : 0), !open, take);
}

void ControlLineReader::feed(std::string_view bytes, bool atEnd, const std::function<void(const Line&)>& take) {
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (!skipping && pending.size() + piece.size() > kMaxLineBytes) {
            pending.append(piece.substr(0, kMaxLineBytes - pending.size()));
            take({pending, lineNumber, true});
            pending.clear();
            skipping = true;
        } else if (!skipping) {
            pending.append(piece);
        }
        if (end == std::string_view::npos) {
            break;
        }
        if (!skipping) {
            take({pending, lineNumber, false});
        }
        pending.clear();
        skipping = false;
        ++lineNumber;
        bytes.remove_prefix(end + 1);
    }
    if (atEnd && !skipping && !pending.empty()) {
        take({pending, lineNumber, false});
        pending.clear();
    }
}
