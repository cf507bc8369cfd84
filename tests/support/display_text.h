// Shared by the tests of the display texts: a buffer with guard bytes, and the texts a host
// must see for the effect's two parameters.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

constexpr size_t kTextBytes = 9;  // 8 characters and the terminator
constexpr size_t kGuardBytes = 16;
constexpr char kFill = 'Z';  // not a terminator, so a text left unterminated shows as a failure

/// Runs `write` on a filled buffer and returns the text it left; fails the test when a byte past
/// the 9th changed or no terminator stands in the first 9.
template <typename Write>
std::string guardedText(Write write) {
    std::array<char, kTextBytes + kGuardBytes> buffer;
    buffer.fill(kFill);
    write(buffer.data());
    for (size_t i = kTextBytes; i < buffer.size(); ++i) {
        if (buffer[i] != kFill) {
            ADD_FAILURE() << "byte " << i << " written past the display text";
            break;
        }
    }
    const size_t length = strnlen(buffer.data(), kTextBytes);
    if (length == kTextBytes) {
        ADD_FAILURE() << "no terminator within " << kTextBytes << " bytes";
    }
    return std::string(buffer.data(), length);
}

/// A parameter value and the text shown for it: Gain (index 0) in decibels, Depth (1) in percent.
struct ParameterDisplayCase {
    int32_t index;
    float value;
    const char* text;
};

constexpr ParameterDisplayCase kParameterDisplayCases[] = {
    {0, 0.0f, "-20.0000"},  {0, 0.25f, "-10.0000"}, {0, 0.5f, "0.000000"},
    {0, 0.75f, "10.00000"}, {0, 1.0f, "20.00000"},  {1, 0.0f, "0.000000"},
    {1, 0.5f, "50.00000"},  {1, 1.0f, "100.0000"},  {1, 0.333f, "33.29999"},
};
