// SPDX-License-Identifier: GPL-3.0-or-later
// What the settings window's tables share: the row numbers selected, and dragging rows within one
// table (a payload naming its table and rows; the reorder itself is OVRowReorder's).
#pragma once

#include "model/OVAction.h"
#include "settings/OVRowReorder.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ovsettings {

// What a screen reader says for a widget of a row; a list's row widget has no text of its own.
void setAccessibleLabel(GtkWidget* widget, const std::string& label);
// The same for the row widget a list item's child is shown in.
void setRowAccessibleLabel(GtkWidget* child, const std::string& label);

std::vector<unsigned> selectedRows(GtkSelectionModel* selection);
// Selects exactly these rows (those inside the list).
void selectRows(GtkSelectionModel* selection, const std::vector<unsigned>& rows);

// A drag of rows: which table they come from and their numbers. The payload's type is
// registered under the drag type's name; it has no serialized form, so it never leaves the process.
struct DraggedRows {
    std::uint64_t table = 0;
    std::vector<unsigned> rows;
};
GType draggedRowsType(const char* dragType);
GdkContentProvider* draggedRowsProvider(const char* dragType, DraggedRows rows);
const DraggedRows* draggedRowsFromValue(const char* dragType, const GValue* value);
// A number no other table of the process has.
std::uint64_t nextTableIdentity();

} // namespace ovsettings
