// SPDX-License-Identifier: GPL-3.0-or-later
// An archived object of a class this program does not know, kept as it was read so that it can be
// written back unchanged: its class chain, its members in order and everything they refer to.
#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct OVOpaqueValue;
struct OVOpaqueMember;
using OVOpaqueRef = std::shared_ptr<const OVOpaqueValue>;

struct OVOpaqueClass {
    std::string name;
    std::vector<std::string> chain; // as under "$classes"
    auto operator<=>(const OVOpaqueClass&) const = default;
};

struct OVOpaqueValue {
    enum class Type { Boolean, Integer, Real, String, Data, Array, Dictionary, Reference };

    Type type = Type::Reference;
    bool boolean = false;
    int64_t integer = 0;
    double real = 0;
    std::string bytes;                 // String, Data
    std::vector<OVOpaqueValue> items;  // Array
    std::shared_ptr<const OVOpaqueClass> objectClass; // Dictionary: the class of an archived object, if it is one
    std::vector<OVOpaqueMember> members; // Dictionary, in archive order, "$class" left out
    OVOpaqueRef target;                // Reference: the object referred to; none is the null reference

    // Equal content, references compared by what they refer to (not by which object holds it).
    static bool sameContent(const OVOpaqueValue& a, const OVOpaqueValue& b);
};

struct OVOpaqueMember {
    std::string key;
    OVOpaqueValue value;
};
