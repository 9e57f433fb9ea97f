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

void OVKindEditorHost::showCountsOf(OVActionPtr action, std::shared_ptr<OVActionsManager> store)
{
    // An action of a kind this version does not know is not edited.
    if (action && action->isUnknown())
        action.reset();
    counts_.setAction(std::move(action), std::move(store));
    if (!area_)
        return;
    // Always last, under whichever editor shows.
    if (gtk_widget_get_parent(counts_.view()) == GTK_WIDGET(area_))
        gtk_box_remove(area_, counts_.view());
    gtk_box_append(area_, counts_.view());
}
