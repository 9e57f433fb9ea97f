// SPDX-License-Identifier: GPL-3.0-or-later
// The action table as drawn: the rows bound to a list item now, where each sits, which row or gap
// a point of the table falls on, and the line that shows where a drop would go.
#pragma once

#include "settings/OVEditorState.h"

#include <gtk/gtk.h>

#include <cstddef>
#include <optional>
#include <vector>

struct OVEditorRow;

class OVEditorTableLayout {
public:
    OVEditorTableLayout() = default;
    ~OVEditorTableLayout();
    OVEditorTableLayout(const OVEditorTableLayout&) = delete;
    OVEditorTableLayout& operator=(const OVEditorTableLayout&) = delete;

    void setTable(GtkWidget* table);

    // Rows bound to an item, in no order.
    const std::vector<OVEditorRow*>& boundRows() const { return boundRows_; }
    void addBoundRow(OVEditorRow* row) { boundRows_.push_back(row); }
    // The row no longer shows an item (its drop line goes with it).
    void unbindRow(OVEditorRow* row);
    // The row's widget is gone.
    void forgetRow(OVEditorRow* row);
    // The row now drawn for a row number, or null when it is scrolled away.
    OVEditorRow* rowViewAt(unsigned position) const;

    // The row drawn at height y of the table, if any, of a list of count rows.
    std::optional<unsigned> rowAt(double y, std::size_t count) const;
    // Where a drop at height y goes: the top and bottom quarter of a row are the gaps above and
    // below it, the middle is the row itself.
    struct DropLocation {
        unsigned row;
        OVEditorState::DropOperation operation;
    };
    std::optional<DropLocation> dropLocationAt(double y, std::size_t count) const;
    // Draws the line of a drop location, or with none removes it.
    void showDropIndicator(const std::optional<DropLocation>& location, std::size_t count);

private:
    struct ShownRow {
        unsigned position;
        double top, bottom;
    };
    std::vector<ShownRow> shownRows() const; // top to bottom

    GtkWidget* table_ = nullptr;
    std::vector<OVEditorRow*> boundRows_;
    GtkWidget* dropIndicatorRow_ = nullptr; // weak
};
