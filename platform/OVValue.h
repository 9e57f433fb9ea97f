// A property-list value: what the preferences hold and a wormhole message may carry. It sits at
// the bottom so the preferences suite, the archive and the wormhole can all name it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
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
