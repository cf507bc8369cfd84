#include "kit/control_options.h"

#include <cmath>
#include <cstdlib>

#include "kit/tool_error.h"

namespace {

std::string withoutSurroundingBlanks(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

float parseNormalizedValue(const std::string& written, const std::string& context) {
    // Blanks around the number are allowed on both sides alike ("Gain= 0.5 ").
    const std::string text = withoutSurroundingBlanks(written);
    char* end = nullptr;
    // Read as a double, so that a tiny value such as 1e-45 is a number and not a range error.
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value)) {
        throw UsageError(context + ": " + quoted(written) + " is not a number");
    }
    if (value < 0.0 || value > 1.0) {
        throw UsageError(context + ": value " + text + " is outside 0 to 1");
    }
    return static_cast<float>(value);
}

}  // namespace

ParameterSetting parseParameterSetting(const std::string& text) {
    return parseParameterSetting(text, "--param " + escaped(text));
}

ParameterSetting parseParameterSetting(const std::string& text, const std::string& context) {
    const size_t equals = text.rfind('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError(context + ": expected NAME=VALUE or INDEX=VALUE");
    }
    return {text.substr(0, equals), parseNormalizedValue(text.substr(equals + 1), context)};
}
