// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVUserDefaults.h"

#include "model/OVChangeSender.h"
#include "model/OVCompressPasswordAction.h"
#include "platform/ProductPaths.h"

#include <algorithm>

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

namespace {

// The uid comes from the store: only one shaped like those this system makes becomes part of a
// preference key. A huge one would push the preferences file past what is read back, and the
// next write would replace it, losing every preference.
bool usableUID(const std::string& uid)
{
    constexpr std::size_t kMaxUIDLength = 128;
    if (uid.empty() || uid.size() > kMaxUIDLength)
        return false;
    return std::all_of(uid.begin(), uid.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    });
}

} // namespace

bool OVUserDefaults::startsWithStrongEncryption(const OVCompressPasswordAction& action) const
{
    if (usableUID(action.uid())) {
        // Anything but a boolean there was not written by the prompt.
        if (auto stored = objectForProperty(strongEncryptionProperty(action.uid()));
            stored && std::holds_alternative<bool>(stored->value))
            return std::get<bool>(stored->value);
    }
    return action.strongEncryption();
}

void OVUserDefaults::rememberStrongEncryption(const OVCompressPasswordAction& action, bool strong)
{
    // Keyed by nothing, one action's choice would become every such action's.
    if (!usableUID(action.uid()))
        return;
    if (strong == action.strongEncryption())
        forgetStrongEncryption(action.uid());
    else if (startsWithStrongEncryption(action) != strong)
        setObjectForProperty(strongEncryptionProperty(action.uid()), OVValue(strong));
}

void OVUserDefaults::forgetStrongEncryption(const std::string& uid)
{
    if (usableUID(uid) && objectForProperty(strongEncryptionProperty(uid)))
        setObjectForProperty(strongEncryptionProperty(uid), std::nullopt);
}
