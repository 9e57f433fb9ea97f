// Class names of the kinds, as they stand in archives.
#include "model/OVAction.h"
#include "model/OVActionGroup.h"
#include "model/OVAppleScriptAction.h"
#include "model/OVBundledScriptAction.h"
#include "model/OVCompressPasswordAction.h"
#include "model/OVConvertImageAction.h"
#include "model/OVConvertImageActionGroup.h"
#include "model/OVCopyActionGroup.h"
#include "model/OVCopyToAction.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "model/OVNewFileAction.h"
#include "model/OVNewFileActionGroup.h"
#include "model/OVOpenFavesAction.h"
#include "model/OVOpenFavesActionGroup.h"
#include "model/OVOpenWithActionGroup.h"
#include "model/OVOpenWithAppAction.h"
#include "model/OVResetAppPreferencesAction.h"
#include "model/OVSecureRemoveAction.h"
#include "model/OVSendViaEmailAction.h"
#include "model/OVShellScriptAction.h"

#include <map>

// The friend declarations let this file reach the protected constructors.
const std::map<std::string, OVAction::Factory>& OVAction::factories()
{
    static const std::map<std::string, Factory> table = {
        {"OVAction", [] { return OVActionPtr(new OVAction()); }},
        {"OVActionGroup", [] { return OVActionPtr(new OVActionGroup()); }},
        {"OVOpenWithActionGroup", [] { return OVActionPtr(new OVOpenWithActionGroup()); }},
        {"OVCopyActionGroup", [] { return OVActionPtr(new OVCopyActionGroup()); }},
        {"OVMoveActionGroup", [] { return OVActionPtr(new OVMoveActionGroup()); }},
        {"OVNewFileActionGroup", [] { return OVActionPtr(new OVNewFileActionGroup()); }},
        {"OVOpenFavesActionGroup", [] { return OVActionPtr(new OVOpenFavesActionGroup()); }},
        {"OVConvertImageActionGroup", [] { return OVActionPtr(new OVConvertImageActionGroup()); }},
        {"OVMoveToAction", [] { return OVActionPtr(new OVMoveToAction()); }},
        {"OVCopyToAction", [] { return OVActionPtr(new OVCopyToAction()); }},
        {"OVOpenFavesAction", [] { return OVActionPtr(new OVOpenFavesAction()); }},
        {"OVNewFileAction", [] { return OVActionPtr(new OVNewFileAction()); }},
        {"OVConvertImageAction", [] { return OVActionPtr(new OVConvertImageAction()); }},
        {"OVAppleScriptAction", [] { return OVActionPtr(new OVAppleScriptAction()); }},
        {"OVSecureRemoveAction", [] { return OVActionPtr(new OVSecureRemoveAction()); }},
        {"OVResetAppPreferencesAction", [] { return OVActionPtr(new OVResetAppPreferencesAction()); }},
        {"OVCompressPasswordAction", [] { return OVActionPtr(new OVCompressPasswordAction()); }},
        {"OVOpenWithAppAction", [] { return OVActionPtr(new OVOpenWithAppAction()); }},
        {"OVSendViaEmailAction", [] { return OVActionPtr(new OVSendViaEmailAction()); }},
        {"OVShellScriptAction", [] { return OVActionPtr(new OVShellScriptAction()); }},
        {"OVBundledScriptAction", [] { return OVActionPtr(new OVBundledScriptAction()); }},
    };
    return table;
}

OVActionPtr OVAction::emptyInstanceOfClass(const std::string& className)
{
    auto it = factories().find(className);
    return it == factories().end() ? nullptr : it->second();
}

const std::vector<std::string>& OVAction::knownClassNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const auto& [name, factory] : factories())
            out.push_back(name);
        return out;
    }();
    return names;
}
