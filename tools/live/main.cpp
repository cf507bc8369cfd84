// tinvoicer-live: runs a VST 2 effect module live as a JACK client, until SIGINT or SIGTERM.
// Every failure is one line on stderr and a non-zero exit.
#include <fcntl.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "kit/crash_guard.h"
#include "kit/tool_error.h"
#include "live/live_options.h"
#include "live/live_session.h"

namespace {

/// A standard descriptor the tool was started without would be handed to the next file that
/// opens, a JACK socket perhaps, which control lines would then be read from.
void occupyClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1) {
            ::open("/dev/null", O_RDWR);  // takes the lowest free descriptor: this one
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    constexpr const char* kToolName = "tinvoicer-live";
    occupyClosedStandardDescriptors();
    installCrashReports(kToolName);
    // A diagnostic that cannot be written (stderr's reader has gone) must not end the voice.
    std::signal(SIGPIPE, SIG_IGN);
    bool answered = true;
    const int status = exitStatusOf(kToolName, [&] {
        const LiveOptions options = parseLiveCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (options.showHelp) {
            std::cout << liveUsageText();
        } else {
            answered = runLive(options);
        }
    });
    return status == 0 && !answered ? 1 : status;
}
