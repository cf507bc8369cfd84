// The value-to-text helpers of EffectBase: numbers turned into the 8-character texts a host
// shows beside a parameter. Each writes at most 8 characters and a terminating zero, never
// allocates, and the three unit helpers go through the virtual floatToText and getSampleRate
// so that an effect overriding either changes their text too.
#include <cmath>
#include <cstdio>

#include "host/effect_base.h"

namespace {

constexpr int kTextBudget = 8;  // characters, not counting the terminating zero

constexpr char kOverflowText[] = " Huge!  ";
constexpr char kMinusInfinityText[] = "  -oo   ";
constexpr char kNotANumberText[] = "  NaN   ";

constexpr double kLargestNonNegativeShown = 99999999.0;
constexpr double kLargestNegativeMagnitudeShown = 9999999.0;
constexpr int32_t kFirstIntegerNotShown = 100000000;
constexpr int32_t kLowestIntegerShown = -9999999;  // "%7d" of anything lower needs 9 characters

// Whole parts from these magnitudes up fill the budget on their own (8 digits, or the sign
// and 7 digits), so they are shown without the decimal point rather than losing a digit.
constexpr double kFullWidthNonNegative = 10000000.0;
constexpr double kFullWidthNegativeMagnitude = 1000000.0;

constexpr double kPowersOfTen[kTextBudget] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7};

// Copies at most the budget of characters and always terminates, so text never gets more than 9 bytes.
void writeText(char* text, const char* source) {
    int length = 0;
    while (length < kTextBudget && source[length] != '\0') {
        text[length] = source[length];
        ++length;
    }
    text[length] = '\0';
}

// The digit of the units place; `value` is never negative here.
char unitsDigit(double value) { return static_cast<char>('0' + static_cast<int>(std::fmod(value, 10.0))); }

// Sign, whole digits and (unless the whole part fills the budget) the decimal point, built from
// the right into `scratch`. Returns where the text starts; `count` ends as its length.
char* putWholePart(double magnitude, bool negative, char (&scratch)[kTextBudget + 1], int& count) {
    char* cursor = scratch + kTextBudget;
    *cursor = '\0';
    count = negative ? 1 : 0;  // the sign's place is taken before any digit is put
    const double fullWidth = negative ? kFullWidthNegativeMagnitude : kFullWidthNonNegative;
    if (magnitude < fullWidth) {
        *--cursor = '.';
        ++count;
    }
    // p is divided without rounding: units digits of 12.3, 1.23 are still the right digits.
    double p = std::floor(magnitude);
    do {
        *--cursor = unitsDigit(p);
        p /= 10.0;
        ++count;
    } while (p >= 1.0 && count < kTextBudget);
    if (negative) {
        *--cursor = '-';
    }
    return cursor;
}

// Fills `places` digits of the fraction of `magnitude` from the right, cut rather than rounded.
void putFraction(double magnitude, int places, char* digits) {
    double f = std::fmod(magnitude, 1.0) * kPowersOfTen[places];
    for (int place = places - 1; place >= 0; --place) {
        if (f > 0.0) {
            digits[place] = unitsDigit(f);
            f /= 10.0;
        } else {
            digits[place] = '0';
        }
    }
    digits[places] = '\0';
}

}  // namespace

void EffectBase::dbToText(float value, char* text) {
    // Not-a-number is no amplitude of 0 or below: floatToText has a text of its own for it.
    if (value > 0.0f || std::isnan(value)) {
        floatToText(static_cast<float>(std::log10(static_cast<double>(value)) * 20.0), text);
    } else {
        writeText(text, kMinusInfinityText);
    }
}

void EffectBase::hzToText(float samples, char* text) {
    const double sampleRateHz = getSampleRate();
    if (samples == 0.0f) {
        floatToText(0.0f, text);
    } else {
        floatToText(static_cast<float>(sampleRateHz / samples), text);
    }
}

void EffectBase::msToText(float samples, char* text) {
    // A sample rate of 0 is not caught: the quotient becomes infinite (" Huge!  "), or
    // not-a-number for 0 samples.
    const double milliSamples = static_cast<double>(samples) * 1000.0;
    const double sampleRateHz = getSampleRate();
    floatToText(static_cast<float>(milliSamples / sampleRateHz), text);
}

void EffectBase::floatToText(float value, char* text) {
    if (std::isnan(value)) {
        writeText(text, kNotANumberText);
        return;
    }
    double magnitude = value;
    const bool negative = magnitude < 0.0;  // -0 shows as 0
    if (negative) {
        magnitude = -magnitude;
    }
    const double largestShown = negative ? kLargestNegativeMagnitudeShown : kLargestNonNegativeShown;
    if (magnitude > largestShown) {
        writeText(text, kOverflowText);
        return;
    }
    char scratch[kTextBudget + 1];
    int count = 0;
    writeText(text, putWholePart(magnitude, negative, scratch, count));
    if (count < kTextBudget) {
        putFraction(magnitude, kTextBudget - count, text + count);
    }
}

void EffectBase::integerToText(int32_t value, char* text) {
    if (value >= kFirstIntegerNotShown || value < kLowestIntegerShown) {
        writeText(text, kOverflowText);
        return;
    }
    char scratch[12];  // "%7d" of any 32-bit integer, with its terminating zero
    std::snprintf(scratch, sizeof scratch, "%7d", static_cast<int>(value));
    writeText(text, scratch);
}
