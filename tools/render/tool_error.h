// The two ways a tool fails: each carries the one line that goes to stderr.
#pragma once

#include <cstdio>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>

/// A failure reported as one line on stderr, naming the file or value and the reason; exit code 1.
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A command line the tool cannot act on; exit code 2.
class UsageError : public ToolError {
public:
    using ToolError::ToolError;
};

/// `text` in single quotes, as messages show paths: a quote or backslash gets a backslash, and a
/// control character is written as \n, \t or \xNN, so that a message always stays on one line.
inline std::string quoted(const std::string& text) {
    std::string result = "'";
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (c == '\'' || c == '\\') {
            result += '\\';
            result += c;
        } else if (c == '\n') {
            result += "\\n";
        } else if (c == '\t') {
            result += "\\t";
        } else if (code < 0x20 || code == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", code);
            result += escaped;
        } else {
            result += c;
        }
    }
    return result + "'";
}

/// Runs a tool's whole work and turns what it throws into the exit status: one line on stderr,
/// 2 for a usage error, 1 for any other failure, 0 when the work returns.
template <typename Work>
int exitStatusOf(const char* toolName, Work work) {
    try {
        work();
        return 0;
    } catch (const UsageError& error) {
        std::cerr << toolName << ": " << error.what() << '\n';
        return 2;
    } catch (const std::exception& error) {
        std::cerr << toolName << ": " << error.what() << '\n';
        return 1;
    }
}
