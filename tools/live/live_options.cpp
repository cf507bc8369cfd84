#include "live/live_options.h"

#include "kit/option_parser.h"
#include "kit/plugin_module.h"
#include "kit/tool_error.h"

LiveOptions parseLiveCommandLine(const std::vector<std::string>& args) {
    LiveOptions options;
    OptionParser parser;
    addEffectOptions(parser, options.pluginPath, options);
    parser
        .single({"--name"},
                [&](const std::string& value) {
                    // JACK writes a port's full name as client:port, so a ':' in the client's
                    // name would make its ports' names ambiguous ("a:b:in").
                    if (value.find(':') != std::string::npos) {
                        throw UsageError("--name " + quoted(value) +
                                         ": a JACK client name cannot hold ':', which separates client and "
                                         "port in a port's name");
                    }
                    options.clientName = value;
                })
        .single({"--control"},
                [&](const std::string& value) {
                    if (value != "stdin") {
                        throw UsageError("--control " + quoted(value) + ": the only control source is stdin");
                    }
                    options.controlFromStdin = true;
                })
        .flag({"--connect"}, [&] { options.connectToSystem = true; })
        .flag({"-h", "--help"}, [&] { options.showHelp = true; })
        .parse(args);
    return options;
}

std::string liveUsageText() {
    return "Usage: tinvoicer-live [OPTION]...\n"
           "\n"
           "Runs a VST 2 effect live as a JACK client, until interrupted (Ctrl-C, SIGINT) or\n"
           "terminated (SIGTERM). The client has one input and one output port per effect channel\n"
           "(\"in\" and \"out\" for a mono effect); the sample rate and period come from the server,\n"
           "and the effect's delay is published as the ports' latency.\n"
           "\n"
           "Options:\n"
           "  --plugin PATH     the effect module (default: this tool's own; see Files)\n"
           "  --program P       select program P (index, or name without leading blanks, in any\n"
           "                    case) before the parameters are set\n"
           "  --param P=V       set parameter P (index or name) to V, normalised 0 to 1; may be\n"
           "                    repeated\n"
           "  --connect         wire the first capture port to the input and the output to the\n"
           "                    first two playback ports (default: connect nothing; use a patchbay)\n"
           "  --name NAME       the JACK client name, without ':' (default: tinvoicer)\n"
           "  --control stdin   read control lines from standard input while running, even from a\n"
           "                    terminal (always done when standard input is not a terminal)\n"
           "  -h, --help        show this text\n"
           "\n"
           "An option's value is the next argument or follows '=' (--plugin=PATH); an option that\n"
           "takes a value may be given once, --param as often as needed.\n"
           "\n"
           "A status line on standard error, when it is a terminal, shows the input and output\n"
           "peaks, the server's DSP load and the xruns (lost buffers) so far.\n"
           "\n"
           "*Control lines*\n"
           "  Each line of standard input sets one parameter, written P=V as --param takes it\n"
           "  (\"gain=0.7\"); blank lines and lines that start with '#' are skipped. A bad line is\n"
           "  reported and skipped, and the voice goes on. The latest value of each parameter wins:\n"
           "  values that come faster than the audio takes them give way to later ones. A line\n"
           "  holds at most 4096 bytes; a longer one is reported once and skipped to its end.\n"
           "\n"
           "Environment:\n"
           "  JACK_DEFAULT_SERVER  the JACK server to join (default: the one named \"default\"); the\n"
           "                       tool never starts a server\n"
           "\n"
           "Files:\n" +
           defaultModuleHelp("tinvoicer-live") +
           "\n"
           "*Exit status*\n"
           "  0  stopped by SIGINT or SIGTERM\n"
           "  1  a failure, said in one line on standard error: the tool could not start, the\n"
           "     server shut down, or the effect stopped answering (a processing call that has\n"
           "     not returned for a second; the effect is then left alone and the client closed)\n"
           "  2  a command line that the tool cannot act on: an unknown option, a bad value, a\n"
           "     program or parameter that the effect does not have, or a client name that JACK\n"
           "     cannot take (longer than JACK allows, or holding ':')\n"
           "  A crash inside the effect module is named in one line (\"'PATH' crashed in\n"
           "  processReplacing (SIGSEGV)\"), and the tool then ends by that signal.\n";
}
