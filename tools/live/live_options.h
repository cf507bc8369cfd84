// What the user asked tinvoicer-live for, checked before the module or the server is touched.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "kit/control_options.h"

struct LiveOptions : ControlOptions {
    std::string pluginPath;  ///< empty: the Tinvoicer module installed beside the tool
    std::string clientName = "tinvoicer";
    bool connectToSystem = false;
    bool controlFromStdin = false;  ///< --control stdin; standard input that is no terminal counts too
    bool showHelp = false;
};

/// Parses the arguments after the program name. Throws UsageError naming the offending argument.
LiveOptions parseLiveCommandLine(const std::vector<std::string>& args);

/// The text of --help, from which the manual page is made too.
std::string liveUsageText();
