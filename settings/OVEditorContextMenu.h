// SPDX-License-Identifier: GPL-3.0-or-later
// The action table's context menu: the items of the designed menu, captured once, of which each
// opening shows those that fit its target rows.
#pragma once

#include "platform/GRef.h"
#include "settings/OVEditorState.h"

#include <gtk/gtk.h>

#include <functional>
#include <vector>

class OVEditorContextMenu {
public:
    // Context-menu items with this tag are left out for default actions.
    static constexpr int kDefaultActionHiddenTag = 1000;

    OVEditorContextMenu() = default;
    ~OVEditorContextMenu();
    OVEditorContextMenu(const OVEditorContextMenu&) = delete;
    OVEditorContextMenu& operator=(const OVEditorContextMenu&) = delete;

    // Captures the designed items and makes the menu a child of the table; closed runs when the
    // menu closes.
    void load(GMenuModel* designed, GtkWidget* table, std::function<void()> closed);

    GMenuModel* model() const { return G_MENU_MODEL(menu_.get()); }
    GtkPopover* popover() const { return popover_; }
    // Rebuilds the items for what the menu would act on.
    void update(OVEditorState::ContextMenu items);
    // Opens the menu at (x, y) of the table, unless it has no item.
    bool popUp(double x, double y);

private:
    std::vector<ov::GRef<GMenuItem>> items_;
    ov::GRef<GMenu> menu_;
    GtkPopover* popover_ = nullptr; // a child of the table
    std::function<void()> closed_;
    gulong closedHandler_ = 0;
};
