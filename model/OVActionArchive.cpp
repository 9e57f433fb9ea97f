// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVActionArchive.h"

#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"
#include "model/OVUnknownAction.h"

namespace {

std::vector<const OVArchivable*> archivables(const OVActionList& actions)
{
    std::vector<const OVArchivable*> objects;
    objects.reserve(actions.size());
    for (const auto& action : actions)
        objects.push_back(action.get());
    return objects;
}

// Every object was made by makeAction, so every one is an action.
OVActionList actionsOf(const OVArchivableList& objects)
{
    OVActionList actions;
    actions.reserve(objects.size());
    for (const auto& object : objects)
        if (auto action = std::dynamic_pointer_cast<OVAction>(object))
            actions.push_back(std::move(action));
    return actions;
}

// A kind of a newer version is kept as read; an object that is no action at all is corruption.
OVArchivablePtr makeAction(const std::string& className, const std::vector<std::string>& classChain)
{
    if (auto known = OVAction::emptyInstanceOfClass(className))
        return known;
    if (OVUnknownAction::isActionClassChain(classChain))
        return OVUnknownAction::withClass(className, classChain);
    return nullptr;
}

} // namespace

namespace OVActionArchive {

std::string archivedDataWithRootActions(const OVActionList& actions)
{
    return OVKeyedArchiver::archivedDataWithRootObjects(archivables(actions));
}

std::optional<OVActionList> unarchiveActions(std::string_view data, std::string* error)
{
    auto objects = OVKeyedUnarchiver::unarchiveObjects(data, makeAction, error);
    if (!objects)
        return std::nullopt;
    return actionsOf(*objects);
}

void encodeActions(OVKeyedArchiver& coder, const char* key, const OVActionList& actions)
{
    coder.encodeObjects(key, archivables(actions));
}

OVActionList decodeActions(OVKeyedUnarchiver& coder, const char* key) { return actionsOf(coder.decodeObjects(key)); }

} // namespace OVActionArchive
