// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/OVOpaqueValue.h"

#include <cstring>
#include <set>

namespace {

// Shared objects would be compared once per path to them, which grows exponentially with the
// depth of a diamond-shaped archive: pairs already found equal are remembered.
struct Comparison {
    std::set<std::pair<const OVOpaqueValue*, const OVOpaqueValue*>> equal;

    bool same(const OVOpaqueValue& a, const OVOpaqueValue& b)
    {
        using Type = OVOpaqueValue::Type;
        if (a.type != b.type)
            return false;
        switch (a.type) {
        case Type::Boolean:
            return a.boolean == b.boolean;
        case Type::Integer:
            return a.integer == b.integer;
        case Type::Real:
            // NaN is a value like any other here.
            return std::memcmp(&a.real, &b.real, sizeof a.real) == 0;
        case Type::String:
        case Type::Data:
            return a.bytes == b.bytes;
        case Type::Array:
            if (a.items.size() != b.items.size())
                return false;
            for (std::size_t i = 0; i < a.items.size(); ++i)
                if (!same(a.items[i], b.items[i]))
                    return false;
            return true;
        case Type::Dictionary:
            if (bool(a.objectClass) != bool(b.objectClass) || (a.objectClass && *a.objectClass != *b.objectClass) ||
                a.members.size() != b.members.size())
                return false;
            for (std::size_t i = 0; i < a.members.size(); ++i)
                if (a.members[i].key != b.members[i].key || !same(a.members[i].value, b.members[i].value))
                    return false;
            return true;
        case Type::Reference:
            if (!a.target || !b.target)
                return !a.target && !b.target;
            if (a.target == b.target)
                return true;
            if (equal.count({a.target.get(), b.target.get()}))
                return true;
            if (!same(*a.target, *b.target))
                return false;
            equal.insert({a.target.get(), b.target.get()});
            return true;
        }
        return false;
    }
};

} // namespace

bool OVOpaqueValue::sameContent(const OVOpaqueValue& a, const OVOpaqueValue& b)
{
    Comparison comparison;
    return comparison.same(a, b);
}
