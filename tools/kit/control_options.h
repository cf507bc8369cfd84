// The program and parameters a user asks for, as typed on a command line or a control line.
#pragma once

#include <optional>
#include <string>
#include <vector>

/// One `--param TARGET=VALUE`: TARGET is a parameter's index or name, VALUE is normalised to 0..1.
struct ParameterSetting {
    std::string target;
    float normalizedValue;
};

/// What the user asks of an effect before it runs: a program, then parameter values in order.
struct ControlOptions {
    std::optional<std::string> program;  ///< index or name
    std::vector<ParameterSetting> parameters;
};

/// Parses one `TARGET=VALUE`, as --param takes it. Throws UsageError naming the text.
ParameterSetting parseParameterSetting(const std::string& text);
/// The same, for a setting that came from elsewhere: the message starts with `context`, which
/// says where (a quoted control line, say).
ParameterSetting parseParameterSetting(const std::string& text, const std::string& context);
