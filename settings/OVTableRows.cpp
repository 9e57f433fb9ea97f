// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVTableRows.h"

#include <atomic>
#include <map>
#include <string>

namespace ovsettings {

void setAccessibleLabel(GtkWidget* widget, const std::string& label)
{
    if (widget)
        gtk_accessible_update_property(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_PROPERTY_LABEL, label.c_str(), -1);
}

void setRowAccessibleLabel(GtkWidget* child, const std::string& label)
{
    // A list view shows the child in a row; a column view in a cell of a row.
    for (GtkWidget* up = child ? gtk_widget_get_parent(child) : nullptr; up; up = gtk_widget_get_parent(up)) {
        const std::string name = gtk_widget_get_css_name(up);
        if (name != "cell" && name != "row")
            return;
        setAccessibleLabel(up, label);
        if (name == "row")
            return;
    }
}

std::vector<unsigned> selectedRows(GtkSelectionModel* selection)
{
    std::vector<unsigned> rows;
    if (!selection)
        return rows;
    GtkBitset* set = gtk_selection_model_get_selection(selection);
    GtkBitsetIter iter;
    guint value = 0;
    for (bool ok = gtk_bitset_iter_init_first(&iter, set, &value); ok; ok = gtk_bitset_iter_next(&iter, &value))
        rows.push_back(value);
    gtk_bitset_unref(set);
    return rows;
}

void selectRows(GtkSelectionModel* selection, const std::vector<unsigned>& rows)
{
    GtkBitset* selected = gtk_bitset_new_empty();
    const guint count = g_list_model_get_n_items(G_LIST_MODEL(selection));
    for (unsigned row : rows)
        if (row < count)
            gtk_bitset_add(selected, row);
    GtkBitset* mask = gtk_bitset_new_range(0, count);
    gtk_selection_model_set_selection(selection, selected, mask);
    gtk_bitset_unref(selected);
    gtk_bitset_unref(mask);
}

GType draggedRowsType(const char* dragType)
{
    static std::map<std::string, GType> types; // main thread only
    GType& type = types[dragType];
    if (!type)
        type = g_boxed_type_register_static(
            dragType, [](gpointer p) -> gpointer { return new DraggedRows(*static_cast<DraggedRows*>(p)); },
            [](gpointer p) { delete static_cast<DraggedRows*>(p); });
    return type;
}

GdkContentProvider* draggedRowsProvider(const char* dragType, DraggedRows rows)
{
    GValue value = G_VALUE_INIT;
    g_value_init(&value, draggedRowsType(dragType));
    g_value_take_boxed(&value, new DraggedRows(std::move(rows)));
    GdkContentProvider* provider = gdk_content_provider_new_for_value(&value);
    g_value_unset(&value);
    return provider;
}

const DraggedRows* draggedRowsFromValue(const char* dragType, const GValue* value)
{
    if (!value || !G_VALUE_HOLDS(value, draggedRowsType(dragType)))
        return nullptr;
    return static_cast<const DraggedRows*>(g_value_get_boxed(value));
}

std::uint64_t nextTableIdentity()
{
    static std::atomic<std::uint64_t> next{1};
    return next++;
}

} // namespace ovsettings
