// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVUserDefaults.h"

#include "model/OVChangeSender.h"
#include "platform/ProductPaths.h"

OVUserDefaults::~OVUserDefaults() = default;

std::shared_ptr<OVUserDefaults> OVUserDefaults::create()
{
    std::shared_ptr<OVUserDefaults> defaults(new OVUserDefaults());
    defaults->setUp(propertyNames());
    return defaults;
}

std::shared_ptr<OVUserDefaults> OVUserDefaults::standardUserDefaults()
{
    // Initialisation of a function-local static runs once, even when first calls race.
    static const std::shared_ptr<OVUserDefaults> shared = create();
    return shared;
}

std::string OVUserDefaults::suiteName() const { return std::string(ov::kAppId) + ".preferences"; }

std::map<std::string, OVValue> OVUserDefaults::setupDefaults() const
{
    return {
        {"showIconInToolbar", OVValue(true)},
        {"useSubmenu", OVValue(true)},
        {"showFileOnMoveCopyComplete", OVValue(true)},
        {"overwriteDestinationFile", OVValue(false)},
    };
}

const std::vector<std::string>& OVUserDefaults::propertyNames()
{
    static const std::vector<std::string> names = {
        "suppressActionDeletionAlert", "didCreateDefaultTemplates", "didCreateDefaultActions",
        "didCreateDefaultActions2",    "showIconInToolbar",         "useBlackAndWhiteIcon",
        "useSubmenu",                  "playAlertOnCompletion",     "showFileOnMoveCopyComplete",
        "disableActionNotifications",  "overwriteDestinationFile",
    };
    return names;
}

std::string OVUserDefaults::exportMenuProperty(const std::string& fileManager)
{
    std::string name = fileManager;
    if (!name.empty() && name[0] >= 'a' && name[0] <= 'z')
        name[0] = char(name[0] - 'a' + 'A');
    return "exportMenuTo" + name;
}

void OVUserDefaults::didChangeValueForKey(const std::string&) { OVChangeSender::send(OVChange::Preferences); }
