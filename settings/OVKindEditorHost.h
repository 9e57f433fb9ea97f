// SPDX-License-Identifier: GPL-3.0-or-later
// The area on the right of the action table that shows the selected action's kind editor, or the
// empty one; never without an editor once something was shown.
#pragma once

#include "model/OVAction.h"
#include "settings/OVSelectionCountControl.h"
#include "ui/HLModuleViewController.h"

#include <gtk/gtk.h>

#include <memory>

class OVActionsManager;

class OVKindEditorHost {
public:
    void setArea(GtkBox* area) { area_ = area; }
    const std::shared_ptr<HLModuleViewController>& currentModule() const { return currentModule_; }
    // Shows the editor (with none, the empty one). What the old editor still holds is written
    // before another action's editor shows.
    void setCurrentModule(std::shared_ptr<HLModuleViewController> module);
    // Shows, below the editor, how many items the action is for (every kind alike); none hides it.
    void showCountsOf(OVActionPtr action, std::shared_ptr<OVActionsManager> store);
    const OVSelectionCountControl& counts() const { return counts_; }
    // Has the shown editor write what it still holds; with wait set the writes are done when
    // this returns.
    void flushPendingChanges(bool wait);

private:
    GtkBox* area_ = nullptr;
    std::shared_ptr<HLModuleViewController> currentModule_;
    OVSelectionCountControl counts_;
};
