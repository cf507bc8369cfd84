// What the user asked for on the command line, checked before any file or module is touched.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// Sample format of the output file; `keep` takes the input's.
enum class SampleFormat { keep, float32, pcm16, pcm24 };

/// One `--param TARGET=VALUE`: TARGET is a parameter's index or name, VALUE is normalised to 0..1.
struct ParameterSetting {
    std::string target;
    float normalizedValue;
};

struct RenderOptions {
    std::string inputPath;               ///< empty: render the built-in demo voice
    std::string outputPath;              ///< empty only with --list, --save-demo or --help
    std::string pluginPath;              ///< empty: the Tinvoicer module installed beside the tool
    std::string demoSavePath;            ///< --save-demo: write the demo voice itself and stop
    std::optional<std::string> program;  ///< index or name
    std::vector<ParameterSetting> parameters;
    SampleFormat sampleFormat = SampleFormat::keep;
    int32_t blockFrames = 512;
    bool compensateLatency = true;
    bool listOnly = false;
    bool showHelp = false;
};

/// Parses one `TARGET=VALUE`, as --param takes it. Throws UsageError naming the text.
ParameterSetting parseParameterSetting(const std::string& text);

/// Parses the arguments after the program name. Throws UsageError naming the offending argument.
RenderOptions parseCommandLine(const std::vector<std::string>& args);

/// The text of --help.
const char* usageText();
