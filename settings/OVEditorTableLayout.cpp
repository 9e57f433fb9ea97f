// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVEditorTableLayout.h"

#include "settings/OVEditorRow.h"

#include <algorithm>

namespace {

void installDropIndicatorStyle()
{
    static bool installed = false;
    GdkDisplay* display = gdk_display_get_default();
    if (installed || !display)
        return;
    installed = true;
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider,
                                    ".ov-drop-above { box-shadow: inset 0 2px @accent_bg_color; }\n"
                                    ".ov-drop-below { box-shadow: inset 0 -2px @accent_bg_color; }\n",
                                    -1);
    gtk_style_context_add_provider_for_display(display, GTK_STYLE_PROVIDER(provider),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
}

} // namespace

OVEditorTableLayout::~OVEditorTableLayout()
{
    if (dropIndicatorRow_)
        g_object_remove_weak_pointer(G_OBJECT(dropIndicatorRow_), reinterpret_cast<gpointer*>(&dropIndicatorRow_));
}

void OVEditorTableLayout::setTable(GtkWidget* table)
{
    installDropIndicatorStyle();
    table_ = table;
}

void OVEditorTableLayout::unbindRow(OVEditorRow* row)
{
    std::erase(boundRows_, row);
    if (dropIndicatorRow_ == row->box)
        showDropIndicator(std::nullopt, 0);
}

void OVEditorTableLayout::forgetRow(OVEditorRow* row) { std::erase(boundRows_, row); }

OVEditorRow* OVEditorTableLayout::rowViewAt(unsigned position) const
{
    for (OVEditorRow* row : boundRows_)
        if (row->position() == position)
            return row;
    return nullptr;
}

std::vector<OVEditorTableLayout::ShownRow> OVEditorTableLayout::shownRows() const
{
    std::vector<ShownRow> shown;
    for (const OVEditorRow* row : boundRows_) {
        GtkWidget* cell = gtk_widget_get_parent(row->box); // the whole row, padding included
        graphene_rect_t bounds;
        if (cell && gtk_widget_get_mapped(cell) && gtk_widget_compute_bounds(cell, table_, &bounds))
            shown.push_back({row->position(), bounds.origin.y, bounds.origin.y + bounds.size.height});
    }
    std::sort(shown.begin(), shown.end(), [](const ShownRow& a, const ShownRow& b) { return a.top < b.top; });
    return shown;
}

std::optional<unsigned> OVEditorTableLayout::rowAt(double y, std::size_t count) const
{
    for (const ShownRow& row : shownRows())
        if (y >= row.top && y < row.bottom && row.position < count)
            return row.position;
    return std::nullopt;
}

std::optional<OVEditorTableLayout::DropLocation> OVEditorTableLayout::dropLocationAt(double y, std::size_t count) const
{
    using Operation = OVEditorState::DropOperation;
    const std::vector<ShownRow> shown = shownRows();
    if (count == 0 || shown.empty())
        return count == 0 ? std::optional(DropLocation{0, Operation::Above}) : std::nullopt;
    for (const ShownRow& row : shown) {
        if (y < row.top || y >= row.bottom)
            continue;
        const double quarter = (row.bottom - row.top) / 4;
        if (y < row.top + quarter)
            return DropLocation{row.position, Operation::Above};
        if (y >= row.bottom - quarter)
            return DropLocation{row.position + 1, Operation::Above};
        return DropLocation{row.position, Operation::On};
    }
    // Past the ends of the list.
    if (y >= shown.back().bottom && shown.back().position + 1 == count)
        return DropLocation{unsigned(count), Operation::Above};
    if (y < shown.front().top && shown.front().position == 0)
        return DropLocation{0, Operation::Above};
    return std::nullopt;
}

void OVEditorTableLayout::showDropIndicator(const std::optional<DropLocation>& location, std::size_t count)
{
    if (dropIndicatorRow_) {
        gtk_widget_remove_css_class(dropIndicatorRow_, "ov-drop-above");
        gtk_widget_remove_css_class(dropIndicatorRow_, "ov-drop-below");
        g_object_remove_weak_pointer(G_OBJECT(dropIndicatorRow_), reinterpret_cast<gpointer*>(&dropIndicatorRow_));
        dropIndicatorRow_ = nullptr;
    }
    if (!location)
        return;
    // The line goes on top of the row below the gap, or under the last row.
    const bool below = location->row > 0 && location->row == count;
    OVEditorRow* row = rowViewAt(below ? location->row - 1 : location->row);
    if (!row)
        return;
    dropIndicatorRow_ = row->box;
    g_object_add_weak_pointer(G_OBJECT(dropIndicatorRow_), reinterpret_cast<gpointer*>(&dropIndicatorRow_));
    gtk_widget_add_css_class(dropIndicatorRow_, below ? "ov-drop-below" : "ov-drop-above");
}
