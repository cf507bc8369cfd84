#include "render/command_line.h"

#include <cerrno>
#include <cstdlib>
#include <set>

#include "kit/argument_reader.h"
#include "kit/tool_error.h"

namespace {

constexpr int32_t kMaxBlockFrames = 65536;

int32_t parseBlockFrames(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const long frames = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE || frames < 1 ||
        frames > kMaxBlockFrames) {
        throw UsageError("--block-size " + text + ": expected a whole number from 1 to " +
                         std::to_string(kMaxBlockFrames));
    }
    return static_cast<int32_t>(frames);
}

SampleFormat parseSampleFormat(const std::string& text) {
    if (text == "float") {
        return SampleFormat::float32;
    }
    if (text == "16") {
        return SampleFormat::pcm16;
    }
    if (text == "24") {
        return SampleFormat::pcm24;
    }
    throw UsageError("--sample-format " + text + ": expected float, 16 or 24");
}

void addFileName(RenderOptions& options, const std::string& name) {
    if (!options.inputPath.empty()) {
        throw UsageError(quoted(name) + ": only one input file may be given (the output goes after -o)");
    }
    options.inputPath = name;
}

/// Combinations that parse but make no sense, rejected before anything is opened.
void checkCombinations(const RenderOptions& options) {
    if (options.showHelp) {
        return;
    }
    const bool rendering = !options.listOnly && options.demoSavePath.empty();
    if (options.listOnly && !options.demoSavePath.empty()) {
        throw UsageError("--list and --save-demo cannot be combined");
    }
    if (!rendering && (!options.inputPath.empty() || !options.outputPath.empty())) {
        throw UsageError(std::string(options.listOnly ? "--list" : "--save-demo") + " takes no input file and no -o");
    }
    if (rendering && options.outputPath.empty()) {
        throw UsageError("no output file: give one with -o FILE");
    }
}

}  // namespace

/// Refuses a second use of an option that takes one value, rather than silently keeping the last.
void refuseRepeat(std::set<std::string>& seen, const std::string& option, const std::string& spelling) {
    if (!seen.insert(option).second) {
        throw UsageError(spelling + ": given more than once");
    }
}

RenderOptions parseCommandLine(const std::vector<std::string>& args) {
    RenderOptions options;
    ArgumentReader reader(args);
    std::set<std::string> seen;
    static const std::set<std::string> singleValued = {"--plugin", "--program", "--sample-format", "--block-size",
                                                       "--save-demo"};
    while (!reader.done()) {
        const std::string option = reader.next();
        if (option == "-o" || option == "--output") {
            refuseRepeat(seen, "--output", option);
        } else if (singleValued.count(option) != 0) {
            refuseRepeat(seen, option, option);
        }
        if (option == "-o" || option == "--output") {
            options.outputPath = reader.valueOf(option);
        } else if (option == "--plugin") {
            options.pluginPath = reader.valueOf(option);
        } else if (option == "--program") {
            options.program = reader.valueOf(option);
        } else if (option == "--param") {
            options.parameters.push_back(parseParameterSetting(reader.valueOf(option)));
        } else if (option == "--sample-format") {
            options.sampleFormat = parseSampleFormat(reader.valueOf(option));
        } else if (option == "--block-size") {
            options.blockFrames = parseBlockFrames(reader.valueOf(option));
        } else if (option == "--save-demo") {
            options.demoSavePath = reader.valueOf(option);
        } else if (option == "--no-latency-compensation") {
            reader.refuseValue(option);
            options.compensateLatency = false;
        } else if (option == "--list") {
            reader.refuseValue(option);
            options.listOnly = true;
        } else if (option == "-h" || option == "--help") {
            options.showHelp = true;
        } else if (option == "--") {
            for (const std::string& name : reader.rest()) {
                addFileName(options, name);
            }
        } else if (option.size() > 1 && option[0] == '-') {
            throw UsageError(option + ": unknown option (see --help)");
        } else {
            addFileName(options, option);
        }
    }
    checkCombinations(options);
    return options;
}

const char* usageText() {
    return "Usage: tinvoicer-render [OPTIONS] [INPUT] -o OUTPUT\n"
           "       tinvoicer-render --list [--plugin PATH] [--program P] [--param P=V]...\n"
           "       tinvoicer-render --save-demo FILE\n"
           "\n"
           "Renders an audio file through a VST 2 effect, the way a host plays it. Without INPUT\n"
           "the built-in demo voice (a few seconds of synthesised speech-like sound) is rendered.\n"
           "\n"
           "  -o, --output FILE          where the result goes; written under a temporary name and\n"
           "                             renamed when complete; never the input file itself; a\n"
           "                             device, FIFO or /dev/stdout is written to directly\n"
           "  --plugin PATH              the effect module (default: Tinvoicer.so beside this tool)\n"
           "  --program P                select program P (index, or name without leading blanks,\n"
           "                             in any case) before the parameters are set\n"
           "  --param P=V                set parameter P (index or name) to V, normalised 0 to 1;\n"
           "                             may be repeated\n"
           "  --sample-format F          write float, 16 or 24 (bit PCM) samples instead of the\n"
           "                             input's sample format\n"
           "  --no-latency-compensation  keep the effect's delay: output starts initialDelay late\n"
           "                             and is as much longer, ending with the effect's tail\n"
           "  --block-size N             frames per processing call (default 512)\n"
           "  --list                     show the effect's identity, programs and parameters\n"
           "  --save-demo FILE           write the demo voice itself, unprocessed, and stop\n"
           "  -h, --help                 show this text\n"
           "\n"
           "The output's container follows the output name's extension (.wav, .aiff, .flac, .ogg,\n"
           ".opus, .mp3, ...) when it has one, and the input's otherwise.\n";
}
