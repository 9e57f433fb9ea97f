// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVActionGroup.h"

#include "model/OVActionArchive.h"
#include "platform/Log.h"

#include <algorithm>

void OVActionListArchive::encode(OVKeyedArchiver& coder, const char* key, const OVActionList& actions)
{
    OVActionArchive::encodeActions(coder, key, actions);
}

OVActionList OVActionListArchive::decode(OVKeyedUnarchiver& coder, const char* key)
{
    return OVActionArchive::decodeActions(coder, key);
}

bool OVActionListArchive::equal(const OVActionList& a, const OVActionList& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const OVActionPtr& x, const OVActionPtr& y) {
        return x == y || (x && y && x->isEqual(*y));
    });
}

void OVActionGroup::addAction(const OVActionPtr& action)
{
    if (action)
        workingActionsArray_.push_back(action);
}

void OVActionGroup::removeAction(const OVActionPtr& action)
{
    if (action)
        std::erase(workingActionsArray_, action);
}

std::optional<std::string> OVActionGroup::editorClassName() const
{
    ov::ovLog("Subclasses need to overwrite editorClassName - %s", className());
    return std::nullopt;
}
