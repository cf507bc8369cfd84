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

/// `text` with a backslash before each quote or backslash, and each control character written
/// as \n, \t or \xNN (an escape sequence's ESC too), so that it stays on one line and cannot
/// steer a terminal.
inline std::string escaped(const std::string& text) {
    std::string result;
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
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", code);
            result += hex;
        } else {
            result += c;
        }
    }
    return result;
}

/// `text` escaped and in single quotes, as messages show paths and what the user typed.
inline std::string quoted(const std::string& text) { return "'" + escaped(text) + "'"; }

/// The first `maxBytes` of `text` and "...", cut before a byte that continues a UTF-8 character;
/// `text` itself when it is short enough.
inline std::string shortened(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    size_t length = maxBytes;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
        --length;
    }
    return text.substr(0, length) + "...";
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
