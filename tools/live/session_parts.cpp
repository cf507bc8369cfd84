#include "live/session_parts.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "kit/tool_error.h"

StopSignals::StopSignals() {
    sigemptyset(&handled);
    for (int signalNumber : {SIGINT, SIGTERM}) {
        struct sigaction inherited {};
        if (sigaction(signalNumber, nullptr, &inherited) == 0 && inherited.sa_handler != SIG_IGN) {
            sigaddset(&handled, signalNumber);
        }
    }
    pthread_sigmask(SIG_BLOCK, &handled, &original);
    signalFd = signalfd(-1, &handled, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd < 0) {
        pthread_sigmask(SIG_SETMASK, &original, nullptr);
        throw ToolError(std::string("cannot watch for SIGINT and SIGTERM: ") + std::strerror(errno));
    }
}

StopSignals::~StopSignals() {
    ::close(signalFd);
    pthread_sigmask(SIG_SETMASK, &original, nullptr);
}

bool StopSignals::wait(int fd, std::chrono::milliseconds timeout) {
    pollfd watched[2] = {{signalFd, POLLIN, 0}, {fd, POLLIN, 0}};
    const int ready = ::poll(watched, fd >= 0 ? 2 : 1, static_cast<int>(timeout.count()));
    if (ready <= 0) {
        return false;
    }
    signalfd_siginfo info{};
    if ((watched[0].revents & POLLIN) != 0 && ::read(signalFd, &info, sizeof info) == sizeof info) {
        stop = true;
    }
    return fd >= 0 && (watched[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool StuckCallWatch::stuck(LiveProcessor::CallCounts counts, SessionClock::time_point now,
                           SessionClock::duration limit) {
    const bool running = counts.begun != counts.ended;
    if (!running || counts.begun != seen.begun || counts.ended != seen.ended) {
        seen = counts;
        since = now;
        return false;
    }
    return now - since >= limit;
}

bool ReportBudget::allows(SessionClock::time_point now) {
    if (now - windowStart >= std::chrono::seconds(1) && withheld == 0) {
        windowStart = now;
        used = 0;
    }
    if (used < linesPerSecond) {
        ++used;
        return true;
    }
    ++withheld;
    return false;
}

uint64_t ReportBudget::takeWithheld(SessionClock::time_point now) {
    if (withheld == 0 || now - windowStart < std::chrono::seconds(1)) {
        return 0;
    }
    const uint64_t count = withheld;
    withheld = 0;
    windowStart = now;
    used = 0;
    return count;
}
