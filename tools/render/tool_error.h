// The two ways the render tool fails: each carries the one line that goes to stderr.
#pragma once

#include <stdexcept>

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
