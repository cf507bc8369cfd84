// tinvoicer-live: runs a VST 2 effect module live as a JACK client, until SIGINT or SIGTERM.
// Every failure is one line on stderr and a non-zero exit.
#include <iostream>
#include <string>
#include <vector>

#include "live_options.h"
#include "live_session.h"
#include "tool_error.h"

int main(int argc, char** argv) {
    constexpr const char* kToolName = "tinvoicer-live";
    try {
        const LiveOptions options = parseLiveCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (options.showHelp) {
            std::cout << liveUsageText();
        } else {
            runLive(options);
        }
        return 0;
    } catch (const UsageError& error) {
        std::cerr << kToolName << ": " << error.what() << '\n';
        return 2;
    } catch (const std::exception& error) {
        std::cerr << kToolName << ": " << error.what() << '\n';
        return 1;
    }
}
