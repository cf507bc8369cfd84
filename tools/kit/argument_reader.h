// The tools' command-line walk: options take their value as the next argument or after '='.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "kit/tool_error.h"

/// Walks the argument list; options take their value either as the next argument or after '='.
class ArgumentReader {
public:
    explicit ArgumentReader(const std::vector<std::string>& args) : arguments(args) {}

    bool done() const { return position >= arguments.size(); }

    /// The next argument, split into its option name and an inline value ("--param=x" gives "--param", "x").
    std::string next() {
        current = position++;
        const std::string& argument = arguments[current];
        inlineValue.reset();
        const size_t equals = argument.find('=');
        if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue = argument.substr(equals + 1);
            return argument.substr(0, equals);
        }
        return argument;
    }

    /// The whole argument that next() last returned, an inline value included.
    const std::string& whole() const { return arguments[current]; }

    std::string valueOf(const std::string& option) {
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (!done()) {
            value = arguments[position++];
        }
        if (value.empty()) {
            throw UsageError(option + ": needs a value");
        }
        return value;
    }

    void refuseValue(const std::string& option) const {
        if (inlineValue) {
            throw UsageError(option + ": takes no value");
        }
    }

    /// Everything after "--" is a file name, even if it starts with a dash.
    std::vector<std::string> rest() {
        std::vector<std::string> remaining(arguments.begin() + static_cast<std::ptrdiff_t>(position), arguments.end());
        position = arguments.size();
        return remaining;
    }

private:
    const std::vector<std::string>& arguments;
    size_t position = 0;
    size_t current = 0;
    std::optional<std::string> inlineValue;
};
