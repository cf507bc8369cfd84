// The tools' one command-line grammar, on a parser with one option of each kind.
#include "kit/option_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/tool_error.h"

namespace {

/// What the parser did with `args`, action by action, or the message it refused them with.
std::string parsed(const std::vector<std::string>& args, bool takesOperands) {
    std::string actions;
    OptionParser parser;
    parser.flag({"-l", "--list"}, [&] { actions += "list "; })
        .single({"-o", "--output"}, [&](const std::string& value) { actions += "output=" + value + " "; })
        .repeatable({"--param"}, [&](const std::string& value) { actions += "param=" + value + " "; });
    if (takesOperands) {
        parser.operands([&](const std::string& value) { actions += "operand=" + value + " "; });
    }
    try {
        parser.parse(args);
    } catch (const UsageError& error) {
        return error.what();
    }
    return actions;
}

TEST(OptionParser, ReadsEitherSpellingAndRefusesEachMistakeNamingIt) {
    const struct {
        std::vector<std::string> args;
        bool takesOperands;
        std::string expected;
    } cases[] = {
        {{"--output=a=b", "--param", "x", "--param=y", "-l", "--list", "-", "--", "-in", "--list"},
         true,
         "output=a=b param=x param=y list list operand=- operand=-in operand=--list "},
        {{"-o", "a", "--output", "b"}, true, "--output: given more than once"},
        {{"-o", "a", "--output"}, true, "--output: given more than once"},
        {{"--list=yes"}, true, "--list: takes no value"},
        {{"-o"}, true, "-o: needs a value"},
        {{"--output="}, true, "--output: needs a value"},
        {{"-o=x"}, true, "-o=x: unknown option (see --help)"},
        {{"--volume=3"}, true, "--volume: unknown option (see --help)"},
        {{"--vol\x1b[2J"}, true, "--vol\\x1B[2J: unknown option (see --help)"},
        {{"in.wav"}, false, "'in.wav': unexpected argument (see --help)"},
        {{"--", "--list"}, false, "'--list' comes after '--', which ends the options: give it before '--'"},
        {{"--", "-o=x"}, false, "'-o=x': unexpected argument (see --help)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parsed(c.args, c.takesOperands), c.expected) << c.args.front();
    }
}

}  // namespace
