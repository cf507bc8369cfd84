#include "live/live_options.h"

#include "kit/argument_reader.h"
#include "kit/tool_error.h"

LiveOptions parseLiveCommandLine(const std::vector<std::string>& args) {
    LiveOptions options;
    ArgumentReader reader(args);
    while (!reader.done()) {
        const std::string option = reader.next();
        if (option == "--plugin") {
            options.pluginPath = reader.valueOf(option);
        } else if (option == "--program") {
            options.program = reader.valueOf(option);
        } else if (option == "--param") {
            options.parameters.push_back(parseParameterSetting(reader.valueOf(option)));
        } else if (option == "--name") {
            options.clientName = reader.valueOf(option);
        } else if (option == "--control") {
            if (reader.valueOf(option) != "stdin") {
                throw UsageError(option + ": the only control source is stdin");
            }
            options.controlFromStdin = true;
        } else if (option == "--connect") {
            reader.refuseValue(option);
            options.connectToSystem = true;
        } else if (option == "-h" || option == "--help") {
            options.showHelp = true;
        } else {
            throw UsageError(reader.whole() + ": unknown " + (option.rfind('-', 0) == 0 ? "option" : "argument") +
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
