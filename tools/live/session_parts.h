// The control thread's parts of tinvoicer-live that keep their own state: the stop signals it waits
// for beside standard input, the watch on a processing call that does not return, and the budget
// of report lines a second. Only the control thread uses them.
#pragma once

#include <signal.h>

#include <chrono>
#include <cstdint>

#include "live/live_processor.h"

using SessionClock = std::chrono::steady_clock;

/// SIGINT and SIGTERM arrive through a descriptor that the control thread waits on beside standard
/// input, so that no stream of input can hide them. They are blocked in every thread (threads
/// started later, JACK's among them, inherit the mask), which is what a signalfd needs. A signal
/// inherited as ignored stays ignored, the way nohup and background jobs rely on. The constructor
/// throws ToolError when the descriptor cannot be made; the destructor restores the mask.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    /// Waits at most `timeout` for `fd` (none: -1) to turn readable or for a stop signal. True when
    /// `fd` is readable or at its end; a stop signal is noted for stopRequested().
    bool wait(int fd, std::chrono::milliseconds timeout);
    bool stopRequested() const { return stop; }

private:
    sigset_t handled{};
    sigset_t original{};
    int signalFd = -1;
    bool stop = false;
};

/// Tells from the processor's call counts, read now and then, whether one call has not returned
/// for a given time.
class StuckCallWatch {
public:
    /// True when the call running at `now` is the one that was running at the earlier readings,
    /// for `limit` or more.
    bool stuck(LiveProcessor::CallCounts counts, SessionClock::time_point now, SessionClock::duration limit);

private:
    LiveProcessor::CallCounts seen;
    SessionClock::time_point since;
};

/// A number of lines a second that one kind of report may take: the rest are withheld and counted,
/// so that no stream of input can flood stderr.
class ReportBudget {
public:
    explicit ReportBudget(uint64_t linesPerSecond) : linesPerSecond(linesPerSecond) {}

    /// True when one more line may be written now; false counts it as withheld.
    bool allows(SessionClock::time_point now);
    /// Once the second in which lines were withheld is over: how many, and a new second begins.
    uint64_t takeWithheld(SessionClock::time_point now);

private:
    uint64_t linesPerSecond;
    uint64_t used = 0;
    uint64_t withheld = 0;
    SessionClock::time_point windowStart;
};
