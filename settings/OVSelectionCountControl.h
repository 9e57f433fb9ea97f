// SPDX-License-Identifier: GPL-3.0-or-later
// Below every kind editor: how many selected items the shown action is for. One choice of
// "any number", "1 item", "2 or more" and a custom range; each change is saved at once.
#pragma once

#include "model/OVAction.h"

#include <gtk/gtk.h>

#include <memory>
#include <optional>

class OVActionsManager;

class OVSelectionCountControl {
public:
    enum Choice : unsigned { AnyNumber = 0, OneItem = 1, TwoOrMore = 2, CustomRange = 3 };

    OVSelectionCountControl();
    ~OVSelectionCountControl();
    OVSelectionCountControl(const OVSelectionCountControl&) = delete;
    OVSelectionCountControl& operator=(const OVSelectionCountControl&) = delete;

    GtkWidget* view() const { return view_; }
    // The action whose counts are edited, saved through store; none hides the control.
    void setAction(OVActionPtr action, std::shared_ptr<OVActionsManager> store);
    const OVActionPtr& action() const { return action_; }

    GtkDropDown* choiceDropDown() const { return choice_; }
    GtkSpinButton* minimumSpin() const { return minimum_; }
    GtkSpinButton* maximumSpin() const { return maximum_; }
    GtkCheckButton* noMaximumCheck() const { return noMaximum_; }

    static Choice choiceFor(const OVSelectionCounts& counts);

private:
    // The stored counts; shown keeps the custom range open for counts a preset also names.
    void showCounts(std::optional<Choice> shown = std::nullopt);
    void choiceChanged();
    void rangeChanged(GtkSpinButton* changed);
    void store(const OVSelectionCounts& counts, std::optional<Choice> shown = std::nullopt);

    GtkWidget* view_ = nullptr; // owned through a reference
    GtkDropDown* choice_ = nullptr;
    GtkWidget* rangeBox_ = nullptr;
    GtkSpinButton* minimum_ = nullptr;
    GtkSpinButton* maximum_ = nullptr;
    GtkCheckButton* noMaximum_ = nullptr;
    OVActionPtr action_;
    std::shared_ptr<OVActionsManager> store_;
    bool updating_ = false;
};
