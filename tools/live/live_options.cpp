#include "live_options.h"

#include "tool_error.h"

namespace {

/// Splits "--option=value" into its two halves; any other argument comes back whole.
std::pair<std::string, std::optional<std::string>> splitInlineValue(const std::string& argument) {
    const size_t equals = argument.find('=');
    if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
        return {argument.substr(0, equals), argument.substr(equals + 1)};
    }
    return {argument, std::nullopt};
}

}  // namespace

LiveOptions parseLiveCommandLine(const std::vector<std::string>& args) {
    LiveOptions options;
    for (size_t position = 0; position < args.size(); ++position) {
        const auto split = splitInlineValue(args[position]);
        const std::string& option = split.first;
        const std::optional<std::string>& inlineValue = split.second;
        auto value = [&]() {
            std::string text = inlineValue ? *inlineValue : position + 1 < args.size() ? args[++position] : "";
            if (text.empty()) {
                throw UsageError(option + ": needs a value");
            }
            return text;
        };
        auto noValue = [&]() {
            if (inlineValue) {
                throw UsageError(option + ": takes no value");
            }
        };
        if (option == "--plugin") {
            options.pluginPath = value();
        } else if (option == "--program") {
            options.program = value();
        } else if (option == "--param") {
            options.parameters.push_back(parseParameterSetting(value()));
        } else if (option == "--name") {
            options.clientName = value();
        } else if (option == "--control") {
            if (value() != "stdin") {
                throw UsageError(option + ": the only control source is stdin");
            }
            options.controlFromStdin = true;
        } else if (option == "--connect") {
            noValue();
            options.connectToSystem = true;
        } else if (option == "-h" || option == "--help") {
            options.showHelp = true;
        } else {
            throw UsageError(args[position] + ": unknown " + (option.rfind('-', 0) == 0 ? "option" : "argument") +
                             " (see --help)");
        }
    }
    return options;
}

const char* liveUsageText() {
    return "Usage: tinvoicer-live [--plugin PATH] [--program P] [--param P=V]... [--connect] [--name NAME]\n"
           "                      [--control stdin]\n"
           "\n"
           "Runs a VST 2 effect live as a JACK client, until interrupted (Ctrl-C) or terminated. The\n"
           "client has one input and one output port per effect channel (\"in\" and \"out\" for a mono\n"
           "effect); the sample rate and period come from the server, and the effect's delay is\n"
           "published as the ports' latency.\n"
           "\n"
           "  --plugin PATH     the effect module (default: Tinvoicer.so beside this tool)\n"
           "  --program P       select program P (index, or name) before the parameters are set\n"
           "  --param P=V       set parameter P (index or name) to V, normalised 0 to 1; may be repeated\n"
           "  --connect         wire the first capture port to the input and the output to the first\n"
           "                    two playback ports (default: connect nothing; use a patchbay)\n"
           "  --name NAME       the JACK client name (default: tinvoicer)\n"
           "  --control stdin   read P=V lines from standard input while running, even from a\n"
           "                    terminal (always done when standard input is not a terminal)\n"
           "  -h, --help        show this text\n"
           "\n"
           "A status line on stderr shows the input and output peaks, the server's DSP load and the\n"
           "xruns (lost buffers) so far.\n";
}
