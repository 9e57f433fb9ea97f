// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/HLMemoryFormatter.h"

#include <algorithm>
#include <charconv>

namespace {
constexpr int kFractionDigits = 2;
constexpr std::int64_t kLastUnit = 6;
} // namespace

// Numbers are written and read with "." whatever the user's locale: the number text is read
// back, and with the locale's separator (a "," in many) that read would stop at the separator.
std::string HLMemoryFormatter::numberText(double value) const
{
    if (value == 0)
        return "0.0";
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, kFractionDigits);
    if (error != std::errc())
        return "0.0";
    return std::string(buffer, end);
}

double HLMemoryFormatter::convertBytes(std::int64_t unitIndex, double value) const
{
    for (std::int64_t i = 0; i < unitIndex; ++i)
        value /= byteUnit;
    return value;
}

std::pair<std::string, std::string> HLMemoryFormatter::arrayFromBytes(double bytes) const
{
    double value = convertBytes(minimumUnit, bytes);
    std::int64_t index = minimumUnit;
    while (!(value < byteUnit) && index < maximumUnit) {
        value /= byteUnit;
        ++index;
    }
    index = std::clamp<std::int64_t>(index, 0, kLastUnit);
    const auto& units = formatterStyle == Abbreviated ? unitStringsAbbr : unitStrings;
    return {numberText(value), units[std::size_t(index)]};
}

std::string HLMemoryFormatter::stringFromBytes(double bytes) const
{
    auto [number, unit] = arrayFromBytes(bytes);
    // Read back as a single-precision number and written again.
    float readBack = 0;
    std::from_chars(number.data(), number.data() + number.size(), readBack);
    return numberText(double(readBack)) + " " + unit;
}

std::string HLMemoryFormatter::stringFormat() const
{
    std::string format = showsDecimalNumbers ? "%0.1f" : "%0.0f";
    format += formatterStyle == NoSpace ? "%@" : " %@";
    if (formatterStyle == PerSecond)
        format += "/s";
    return format;
}
