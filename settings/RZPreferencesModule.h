// SPDX-License-Identifier: GPL-3.0-or-later
// The "Preferences" page: four check boxes bound to shared preferences, re-read on every
// appearance and written the moment they are clicked.
#pragma once

#include "ui/HLModuleViewController.h"

#include <gtk/gtk.h>

#include <memory>

class OVUserDefaults;

class RZPreferencesModule : public HLModuleViewController {
public:
    std::vector<std::string> classHierarchy() const override
    {
        return {"RZPreferencesModule", "HLModuleViewController", "HLViewController"};
    }

    void hl_viewDidLoad() override;
    void hl_viewWillAppear() override;
    void updateUI();
    bool hl_isLoaded() const { return isLoaded_; }

    void useSubmenuDidChange();
    void disableNotificationsDidChange();
    void showFinderWindowDidChange();
    void overwriteFileDidChange();

    GtkCheckButton* submenuCheckbox() const { return outlet<GtkCheckButton>("submenuCheckbox"); }
    GtkCheckButton* disableNotificationsCheckbox() const { return outlet<GtkCheckButton>("disableNotificationsCheckbox"); }
    GtkCheckButton* showFinderWindowCheckbox() const { return outlet<GtkCheckButton>("showFinderWindowCheckbox"); }
    GtkCheckButton* overwriteFileCheckbox() const { return outlet<GtkCheckButton>("overwriteFileCheckbox"); }

protected:
    explicit RZPreferencesModule(std::shared_ptr<OVUserDefaults> defaults);
    friend class HLViewController;

private:
    void checkboxToggled(GtkCheckButton* box);

    std::shared_ptr<OVUserDefaults> defaults_;
    bool isLoaded_ = false;
    bool updating_ = false; // setting the boxes from the preferences must not write them back
};
