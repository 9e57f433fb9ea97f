// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVEditorRegistry.h"

#include "settings/OVAppleScriptModule.h"
#include "settings/OVCompressPasswordModule.h"
#include "settings/OVEmptyModule.h"
#include "settings/OVMoveToActionModule.h"
#include "settings/OVNewFileActionModule.h"
#include "settings/OVResetAppModule.h"
#include "settings/OVShellScriptModule.h"

#include <map>

namespace {

using BuiltIn = std::shared_ptr<HLModuleViewController> (*)(const OVActionPtr&, std::shared_ptr<OVActionsManager>);

template <typename T>
std::shared_ptr<HLModuleViewController> make(const OVActionPtr& action, std::shared_ptr<OVActionsManager> store)
{
    return OVActionModuleViewController::controllerWithAction<T>(action, std::move(store));
}

const std::map<std::string, BuiltIn>& builtIns()
{
    static const std::map<std::string, BuiltIn> table{
        {"OVMoveToActionModule", &make<OVMoveToActionModule>},
        {"OVNewFileActionModule", &make<OVNewFileActionModule>},
        {"OVShellScriptModule", &make<OVShellScriptModule>},
        {"OVAppleScriptModule", &make<OVAppleScriptModule>},
        {"OVResetAppModule", &make<OVResetAppModule>},
        {"OVCompressPasswordModule", &make<OVCompressPasswordModule>},
    };
    return table;
}

std::map<std::string, OVEditorRegistry::Factory>& factories()
{
    static std::map<std::string, OVEditorRegistry::Factory> table; // main thread only
    return table;
}

} // namespace

void OVEditorRegistry::registerEditor(const std::string& className, Factory factory)
{
    if (factory)
        factories()[className] = std::move(factory);
}

void OVEditorRegistry::unregisterEditor(const std::string& className) { factories().erase(className); }

bool OVEditorRegistry::hasEditor(const std::string& className)
{
    return factories().count(className) != 0 || builtIns().count(className) != 0;
}

std::shared_ptr<HLModuleViewController> OVEditorRegistry::viewControllerForAction(const OVActionPtr& action,
                                                                                std::shared_ptr<OVActionsManager> store)
{
    if (action) {
        if (auto name = action->editorClassName()) {
            if (auto it = factories().find(*name); it != factories().end()) {
                if (auto editor = it->second(action))
                    return editor;
            } else if (auto builtIn = builtIns().find(*name); builtIn != builtIns().end()) {
                if (auto editor = builtIn->second(action, std::move(store)))
                    return editor;
            }
        }
    }
    return HLViewController::controller<OVEmptyModule>();
}
