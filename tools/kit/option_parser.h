// The tools' one command-line grammar. An option's value is the next argument or follows '='
// ("--plugin x.so", "--plugin=x.so"); "--" ends the options; an argument that does not start with
// '-' (or is "-" itself) is an operand. Every tool refuses the same mistakes with the same words.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "kit/control_options.h"

class OptionParser {
public:
    using Action = std::function<void()>;
    using ValueAction = std::function<void(const std::string& value)>;

    /// An option without a value (--list). Given again, it changes nothing.
    OptionParser& flag(std::initializer_list<const char*> names, Action action);
    /// An option with one value (--plugin PATH). Given again, under any of its names, it is refused.
    OptionParser& single(std::initializer_list<const char*> names, ValueAction action);
    /// An option that may be given again (--param P=V); its values are taken in order.
    OptionParser& repeatable(std::initializer_list<const char*> names, ValueAction action);
    /// Takes the operands, and everything after "--". Without it, an operand is refused.
    OptionParser& operands(ValueAction action);

    /// Walks `args` (the arguments after the program name) and calls the actions in their order.
    /// Throws UsageError, naming the argument, for an unknown option, a missing value or one given
    /// to a flag, a single option given twice, an operand that nothing takes, and an option's
    /// name after "--" where it is refused as an operand; what an action throws passes through.
    void parse(const std::vector<std::string>& args) const;

private:
    enum class Kind { flag, single, repeatable };
    struct Option {
        std::vector<std::string> names;
        Kind kind;
        ValueAction action;
    };

    OptionParser& add(std::initializer_list<const char*> names, Kind kind, ValueAction action);
    void takeOperand(const std::string& argument) const;
    void takeOperandAfterOptions(const std::string& argument) const;
    /// Whether `argument` ("-o", "--output=x") is one of the options, by its name.
    bool namesAnOption(const std::string& argument) const;

    std::vector<Option> options;
    ValueAction operandAction;
};

/// The options with which every tool chooses and sets up its effect: --plugin PATH, --program P
/// and --param P=V (repeatable, checked as it is read).
void addEffectOptions(OptionParser& parser, std::string& pluginPath, ControlOptions& controls);
