// The two ways the render tool fails: each carries the one line that goes to stderr.
#pragma once

#include <cstdio>
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
