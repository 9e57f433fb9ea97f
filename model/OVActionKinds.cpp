// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVActionKinds.h"

#include <algorithm>

namespace {

template <class Kind>
OVActionKindEntry entryOf()
{
    return {Kind::kClassName,
            &typeid(Kind),
            kIsGroupKind<Kind>,
            kIsRunnableKind<Kind>,
            [] { return OVActionPtr(OVAction::emptyInstance<Kind>()); },
            [] { return OVActionPtr(OVAction::action<Kind>()); }};
}

template <class... Kinds>
std::vector<OVActionKindEntry> entriesOf(OVTypeList<Kinds...>)
{
    return {entryOf<Kinds>()...};
}

} // namespace

namespace OVActionKinds {

const std::vector<OVActionKindEntry>& all()
{
    static const std::vector<OVActionKindEntry> entries = entriesOf(OVActionKindTypes{});
    return entries;
}

const OVActionKindEntry* named(std::string_view className)
{
    for (const auto& entry : all())
        if (className == entry.className)
            return &entry;
    return nullptr;
}

std::optional<std::size_t> indexOf(const OVAction& action)
{
    const auto& entries = all();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (*entries[i].type == typeid(action))
            return i;
    return std::nullopt;
}

OVActionPtr make(std::string_view className)
{
    const OVActionKindEntry* entry = named(className);
    return entry ? entry->make() : nullptr;
}

} // namespace OVActionKinds

OVActionPtr OVAction::emptyInstanceOfClass(const std::string& className)
{
    const OVActionKindEntry* entry = OVActionKinds::named(className);
    return entry ? entry->makeEmpty() : nullptr;
}

const std::vector<std::string>& OVAction::knownClassNames()
{
    // Sorted, as readers have always listed them.
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const auto& entry : OVActionKinds::all())
            out.emplace_back(entry.className);
        std::sort(out.begin(), out.end());
        return out;
    }();
    return names;
}
