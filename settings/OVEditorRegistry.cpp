#include "settings/OVEditorRegistry.h"

#include "settings/OVEmptyModule.h"

#include <map>

namespace {
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

bool OVEditorRegistry::hasEditor(const std::string& className) { return factories().count(className) != 0; }

std::shared_ptr<HLModuleViewController> OVEditorRegistry::viewControllerForAction(const OVActionPtr& action)
{
    if (action) {
        if (auto name = action->editorClassName()) {
            if (auto it = factories().find(*name); it != factories().end())
                if (auto editor = it->second(action))
                    return editor;
        }
    }
    return HLViewController::controller<OVEmptyModule>();
}
