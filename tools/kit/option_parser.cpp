#include "kit/option_parser.h"

#include <algorithm>
#include <cstddef>

#include "kit/tool_error.h"

OptionParser& OptionParser::add(std::initializer_list<const char*> names, Kind kind, ValueAction action) {
    options.push_back({std::vector<std::string>(names.begin(), names.end()), kind, std::move(action)});
    return *this;
}

OptionParser& OptionParser::flag(std::initializer_list<const char*> names, Action action) {
    return add(names, Kind::flag, [action = std::move(action)](const std::string&) { action(); });
}

OptionParser& OptionParser::single(std::initializer_list<const char*> names, ValueAction action) {
    return add(names, Kind::single, std::move(action));
}

OptionParser& OptionParser::repeatable(std::initializer_list<const char*> names, ValueAction action) {
    return add(names, Kind::repeatable, std::move(action));
}

OptionParser& OptionParser::operands(ValueAction action) {
    operandAction = std::move(action);
    return *this;
}

void OptionParser::takeOperand(const std::string& argument) const {
    if (!operandAction) {
        throw UsageError(quoted(argument) + ": unexpected argument (see --help)");
    }
    operandAction(argument);
}

bool OptionParser::namesAnOption(const std::string& argument) const {
    const std::string name = argument.substr(0, argument.rfind("--", 0) == 0 ? argument.find('=') : std::string::npos);
    return std::any_of(options.begin(), options.end(), [&](const Option& option) {
        return std::find(option.names.begin(), option.names.end(), name) != option.names.end();
    });
}

void OptionParser::takeOperandAfterOptions(const std::string& argument) const {
    try {
        takeOperand(argument);
    } catch (const UsageError&) {
        // Following the synopsis ("INPUT -o OUTPUT") after "--" puts an option where only
        // operands are read: say so, rather than why the operand does not fit.
        if (!namesAnOption(argument)) {
            throw;
        }
        throw UsageError(quoted(argument) + " comes after '--', which ends the options: give it before '--'");
    }
}

void OptionParser::parse(const std::vector<std::string>& args) const {
    std::vector<bool> given(options.size(), false);
    for (size_t position = 0; position < args.size(); ++position) {
        const std::string& argument = args[position];
        if (argument == "--") {
            std::for_each(args.begin() + static_cast<std::ptrdiff_t>(position) + 1, args.end(),
                          [this](const std::string& operand) { takeOperandAfterOptions(operand); });
            return;
        }
        if (argument.size() < 2 || argument[0] != '-') {
            takeOperand(argument);
            continue;
        }
        // Only a long option carries its value after '=': "-o=x" would be an option named so.
        const size_t equals = argument.rfind("--", 0) == 0 ? argument.find('=') : std::string::npos;
        const std::string name = argument.substr(0, equals);
        const auto option = std::find_if(options.begin(), options.end(), [&](const Option& candidate) {
            return std::find(candidate.names.begin(), candidate.names.end(), name) != candidate.names.end();
        });
        if (option == options.end()) {
            throw UsageError(escaped(name) + ": unknown option (see --help)");
        }
        if (option->kind == Kind::flag) {
            if (equals != std::string::npos) {
                throw UsageError(escaped(name) + ": takes no value");
            }
            option->action({});
            continue;
        }
        const auto index = static_cast<size_t>(option - options.begin());
        if (option->kind == Kind::single && given[index]) {
            throw UsageError(escaped(name) + ": given more than once");
        }
        given[index] = true;
        std::string value;
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (position + 1 < args.size()) {
            value = args[++position];
        }
        if (value.empty()) {
            throw UsageError(escaped(name) + ": needs a value");
        }
        option->action(value);
    }
}

void addEffectOptions(OptionParser& parser, std::string& pluginPath, ControlOptions& controls) {
    parser.single({"--plugin"}, [&](const std::string& value) { pluginPath = value; })
        .single({"--program"}, [&](const std::string& value) { controls.program = value; })
        .repeatable({"--param"},
                    [&](const std::string& value) { controls.parameters.push_back(parseParameterSetting(value)); });
}
