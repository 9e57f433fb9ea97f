// SPDX-License-Identifier: GPL-3.0-or-later
// One drawn row of the action table: icon, name (a label, or a field while renaming) and switch.
// Shared by its row widget and the handlers of its widgets. The list rebinds rows, so the action it
// shows changes with every bind.
#pragma once

#include "model/OVAction.h"
#include "settings/OVEditorRowDelegate.h"

#include <gtk/gtk.h>

#include <memory>

struct OVEditorRow {
    // Builds the row's widgets as the child of a list item.
    static std::shared_ptr<OVEditorRow> create(GtkListItem* item, std::weak_ptr<OVEditorRowDelegate> delegate);
    // The live row that a row widget belongs to, if any.
    static OVEditorRow* ofWidget(GtkWidget* widget);

    unsigned position() const { return gtk_list_item_get_position(item); }
    // Shows what the action holds now.
    void showAction();
    // The field for renaming, made on first use: most rows never need one.
    GtkEntry* nameField();
    // Puts the field with the shown name in place of the label and focuses it.
    void showNameField();
    // Puts the label back, showing what was typed; false when no rename was open.
    bool hideNameField();
    // The row and its switch are read out by the shown title.
    void nameForScreenReaders();

    std::weak_ptr<OVEditorRow> self;
    std::weak_ptr<OVEditorRowDelegate> delegate;
    GtkListItem* item = nullptr;
    GtkWidget* box = nullptr;
    GtkImage* image = nullptr;
    GtkStack* nameStack = nullptr; // shows the label, or the entry while renaming
    GtkLabel* nameLabel = nullptr;
    GtkEntry* nameEntry = nullptr; // made by nameField()
    GtkSwitch* toggle = nullptr;
    OVActionPtr action;
    bool binding = false; // the switch is being set from the action, not by the user
    bool editing = false;
    bool alive = true;    // false once the row widget is gone (a focused entry can outlive it)
};
