// SPDX-License-Identifier: GPL-3.0-or-later
// The "Orvane" page: whether the file-manager extension is on, with the switch that turns it on or
// off through the extension status logic. The page follows the logic's answers, never the press.
#pragma once

#include "ui/HLModuleViewController.h"

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

class OVStatusHelper;

class OVStatusModule : public HLModuleViewController {
public:
    ~OVStatusModule() override;
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVStatusModule", "HLModuleViewController", "HLViewController"};
    }

    void hl_viewDidLoad() override;
    // The file-manager switches may have changed elsewhere (orvane-menu --export).
    void hl_viewWillAppear() override;
    // What the turn-on and turn-off buttons do; a press while a switch is in progress is ignored.
    void toggleEnabled(GtkButton* sender);
    void updateUI();
    void setCurrentView(GtkWidget* view);

    GtkWidget* checkingView() const { return outlet<GtkWidget>("checkingView"); }
    GtkWidget* enabledView() const { return outlet<GtkWidget>("enabledView"); }
    GtkWidget* disabledView() const { return outlet<GtkWidget>("disabledView"); }
    GtkWidget* currentView() const { return currentView_; }
    GtkSpinner* checkingProgressIndicator() const { return outlet<GtkSpinner>("checkingProgressIndicator"); }
    GtkSpinner* enabledProgressIndicator() const { return outlet<GtkSpinner>("enabledProgressIndicator"); }
    GtkSpinner* disabledProgressIndicator() const { return outlet<GtkSpinner>("disabledProgressIndicator"); }
    GtkButton* turnOffButton() const { return outlet<GtkButton>("turnOffButton"); }
    GtkButton* turnOnButton() const { return outlet<GtkButton>("turnOnButton"); }
    bool isChecking() const { return isChecking_; }

    // "Also show in Nemo" and the like: one row per other file manager found on this system,
    // switching the export of the menu to it. Rebuilt from the preferences by updateFileManagers.
    void updateFileManagers();
    GtkWidget* fileManagersGroup() const { return outlet<GtkWidget>("fileManagersGroup"); }
    // The switch of the file manager named "nemo", "thunar" or "dolphin", when it is shown.
    GtkSwitch* fileManagerSwitch(const std::string& name) const;

protected:
    explicit OVStatusModule(std::shared_ptr<OVStatusHelper> statusHelper);
    friend class HLViewController;

private:
    void fileManagerSwitched(GtkSwitch* sw);

    std::shared_ptr<OVStatusHelper> statusHelper_;
    std::vector<std::pair<std::string, GtkWidget*>> fileManagerRows_; // name, row (held by the group)
    unsigned observerToken_ = 0;
    GtkWidget* currentView_ = nullptr; // weak: one of the three views, held by the interface file
    bool isChecking_ = false;
};
