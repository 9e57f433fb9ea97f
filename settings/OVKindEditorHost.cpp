// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVKindEditorHost.h"

#include "settings/OVActionModuleViewController.h"
#include "settings/OVEmptyModule.h"
#include "settings/OVModuleSwitch.h"

void OVKindEditorHost::setCurrentModule(std::shared_ptr<HLModuleViewController> module)
{
    if (!module)
        module = HLViewController::controller<OVEmptyModule>();
    if (module == currentModule_)
        return;
    flushPendingChanges(false);
    std::shared_ptr<HLModuleViewController> old = std::exchange(currentModule_, module);
    ovsettings::switchModule(area_, old, module);
}

void OVKindEditorHost::flushPendingChanges(bool wait)
{
    if (auto editing = std::dynamic_pointer_cast<OVActionModuleViewController>(currentModule_))
        editing->flushPendingChanges(wait);
}
