// What the user asked for on the command line, checked before any file or module is touched.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kit/control_options.h"

/// Sample format of the output file; `keep` takes the input's.
enum class SampleFormat { keep, float32, pcm16, pcm24 };

struct RenderOptions : ControlOptions {
    std::string inputPath;     ///< empty: render the built-in demo voice
    std::string outputPath;    ///< empty only with --list, --save-demo or --help
    std::string pluginPath;    ///< empty: the Tinvoicer module installed beside the tool
    std::string demoSavePath;  ///< --save-demo: write the demo voice itself and stop
    SampleFormat sampleFormat = SampleFormat::keep;
    int32_t blockFrames = 512;
    bool compensateLatency = true;
    bool listOnly = false;
    bool showHelp = false;
};

/// Parses the arguments after the program name. Throws UsageError naming the offending argument.
RenderOptions parseCommandLine(const std::vector<std::string>& args);

/// The text of --help, from which the manual page is made too.
std::string usageText();
