#include "render/command_line.h"

#include <cerrno>
#include <cstdlib>

#include "kit/option_parser.h"
#include "kit/plugin_module.h"
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

RenderOptions parseCommandLine(const std::vector<std::string>& args) {
    RenderOptions options;
    OptionParser parser;
    addEffectOptions(parser, options.pluginPath, options);
    parser.single({"-o", "--output"}, [&](const std::string& value) { options.outputPath = value; })
        .single({"--sample-format"}, [&](const std::string& value) { options.sampleFormat = parseSampleFormat(value); })
        .single({"--block-size"}, [&](const std::string& value) { options.blockFrames = parseBlockFrames(value); })
        .single({"--save-demo"}, [&](const std::string& value) { options.demoSavePath = value; })
        .flag({"--no-latency-compensation"}, [&] { options.compensateLatency = false; })
        .flag({"--list"}, [&] { options.listOnly = true; })
        .flag({"-h", "--help"}, [&] { options.showHelp = true; })
        .operands([&](const std::string& name) { addFileName(options, name); })
        .parse(args);
    checkCombinations(options);
    return options;
}

std::string usageText() {
    return "Usage: tinvoicer-render [OPTION]... [INPUT] -o OUTPUT\n"
           "  or:  tinvoicer-render --list [--plugin PATH] [--program P] [--param P=V]...\n"
           "  or:  tinvoicer-render --save-demo FILE\n"
           "\n"
           "Renders an audio file through a VST 2 effect, the way a host plays it. Without INPUT\n"
           "the built-in demo voice (a few seconds of synthesised speech-like sound) is rendered.\n"
           "\n"
           "Options:\n"
           "  -o, --output FILE          where the result goes; written under a temporary name and\n"
           "                             renamed when complete; never the input file itself; a\n"
           "                             device, FIFO or /dev/stdout is written to directly\n"
           "  --plugin PATH              the effect module (default: this tool's own; see Files)\n"
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
           "An option's value is the next argument or follows '=' (--plugin=PATH); an option that\n"
           "takes a value may be given once, --param as often as needed; '--' ends the options, so\n"
           "that an INPUT may start with '-': give the options before it\n"
           "(tinvoicer-render -o out.wav -- -x.wav).\n"
           "\n"
           "The output's container follows the output name's extension (.wav, .aiff, .flac, .ogg,\n"
           ".opus, .mp3, ...) when it has one, and the input's otherwise.\n"
           "\n"
           "Files:\n" +
           defaultModuleHelp("tinvoicer-render") +
           "\n"
           "*Exit status*\n"
           "  0  the output is complete, or the listing or the demo voice written\n"
           "  1  a failure, said in one line on standard error; an output that existed is left\n"
           "     as it was, and no temporary file stays behind\n"
           "  2  a command line that the tool cannot act on: an unknown option, a bad value, or a\n"
           "     program or parameter that the effect does not have\n"
           "  A crash inside the effect module is named in one line (\"'PATH' crashed in\n"
           "  processReplacing (SIGSEGV)\"), and the tool then ends by that signal; a signal that\n"
           "  stops the tool also ends it by that signal, once its temporary file is removed.\n";
}
