// SPDX-License-Identifier: GPL-3.0-or-later
// A property-list value: what the preferences hold and a wormhole message may carry. It sits at
// the bottom so the preferences suite, the archive and the wormhole can all name it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <strings.h>
#include <variant>
#include <vector>

struct OVData {
    std::string bytes;
    bool operator==(const OVData&) const = default;
};

struct OVValue {
    using Array = std::vector<OVValue>;
    using Dictionary = std::map<std::string, OVValue>;
    std::variant<std::monostate, bool, int64_t, double, std::string, OVData, Array, Dictionary> value;

    OVValue() = default;
    template <typename T>
    OVValue(T v) : value(std::move(v)) {}
    OVValue(const char* s) : value(std::string(s)) {}
    OVValue(int i) : value(int64_t(i)) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(value); }
    bool operator==(const OVValue&) const = default;
};

// A value read as a boolean the way preferences are: booleans as they are, numbers when not zero,
// strings "yes" or "true" (in any case) or a number that is not zero. Anything else is false.
inline bool OVBoolValue(const OVValue& value)
{
    if (auto* b = std::get_if<bool>(&value.value))
        return *b;
    if (auto* i = std::get_if<int64_t>(&value.value))
        return *i != 0;
    if (auto* d = std::get_if<double>(&value.value))
        return *d != 0;
    if (auto* s = std::get_if<std::string>(&value.value))
        return strcasecmp(s->c_str(), "yes") == 0 || strcasecmp(s->c_str(), "true") == 0 ||
               std::strtol(s->c_str(), nullptr, 10) != 0;
    return false;
}
