// SPDX-License-Identifier: GPL-3.0-or-later
// Byte counts as text in decimal units ("2.50 MB"), as the copy windows show them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>

class HLMemoryFormatter {
public:
    enum Style : std::int64_t { Plain = 0, PerSecond = 1, Abbreviated = 2, NoSpace = 3 };

    double byteUnit = 1000.0;
    std::int64_t minimumUnit = 0;
    std::int64_t maximumUnit = 6;
    std::int64_t formatterStyle = Plain;
    bool showsDecimalNumbers = true;
    std::array<std::string, 7> unitStrings{"bytes", "KB", "MB", "GB", "TB", "PB", "EB"};
    std::array<std::string, 7> unitStringsAbbr{"b", "K", "M", "G", "T", "P", "E"};

    // "<number> <unit>", the number with two fraction digits ("0.0" for nothing).
    std::string stringFromBytes(double bytes) const;
    // The number text and the unit text.
    std::pair<std::string, std::string> arrayFromBytes(double bytes) const;
    // The value divided by the unit once per step up to the unit index.
    double convertBytes(std::int64_t unitIndex, double value) const;
    // A printf format for a value and its unit, such as "%0.1f %@".
    std::string stringFormat() const;

private:
    std::string numberText(double value) const;
};
