// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVEditorRow.h"

#include "model/OVUnknownAction.h"
#include "platform/GRef.h"
#include "platform/Log.h"
#include "platform/Translation.h"
#include "settings/OVImageIcon.h"
#include "settings/OVTableRows.h"

#include <string>

namespace {

constexpr const char* kRowKey = "ov-editor-row";

using RowPtr = std::shared_ptr<OVEditorRow>;

// Every handler of a row's widgets shares the row, which lives until the last of them is gone.
void connectRow(gpointer instance, const char* signal, GCallback callback, const RowPtr& row)
{
    g_signal_connect_data(instance, signal, callback, new RowPtr(row),
                          [](gpointer data, GClosure*) { delete static_cast<RowPtr*>(data); }, GConnectFlags(0));
}

OVEditorRow* liveRow(gpointer data)
{
    OVEditorRow* row = static_cast<RowPtr*>(data)->get();
    return row->alive ? row : nullptr;
}

} // namespace

std::shared_ptr<OVEditorRow> OVEditorRow::create(GtkListItem* item, std::weak_ptr<OVEditorRowDelegate> delegate)
{
    auto row = std::make_shared<OVEditorRow>();
    row->self = row;
    row->delegate = std::move(delegate);
    row->item = item;
    row->box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_margin_top(row->box, 2);
    gtk_widget_set_margin_bottom(row->box, 2);
    row->image = GTK_IMAGE(gtk_image_new());
    gtk_image_set_pixel_size(row->image, OVImage::displaySize);
    // A label, and an entry in its place while renaming. (GtkEditableLabel of GTK 4.8 ends its
    // editing from a timer that outlives a row destroyed within 100 ms of losing focus.)
    row->nameLabel = GTK_LABEL(gtk_label_new(""));
    gtk_label_set_xalign(row->nameLabel, 0);
    gtk_label_set_ellipsize(row->nameLabel, PANGO_ELLIPSIZE_END);
    row->nameStack = GTK_STACK(gtk_stack_new());
    gtk_widget_set_hexpand(GTK_WIDGET(row->nameStack), TRUE);
    gtk_stack_add_child(row->nameStack, GTK_WIDGET(row->nameLabel));
    gtk_stack_set_visible_child(row->nameStack, GTK_WIDGET(row->nameLabel));
    row->toggle = GTK_SWITCH(gtk_switch_new());
    gtk_widget_set_valign(GTK_WIDGET(row->toggle), GTK_ALIGN_CENTER);
    gtk_box_append(GTK_BOX(row->box), GTK_WIDGET(row->image));
    gtk_box_append(GTK_BOX(row->box), GTK_WIDGET(row->nameStack));
    gtk_box_append(GTK_BOX(row->box), GTK_WIDGET(row->toggle));
    g_object_set_data_full(G_OBJECT(row->box), kRowKey, new RowPtr(row), [](gpointer p) { delete static_cast<RowPtr*>(p); });
    g_object_weak_ref(G_OBJECT(row->box), [](gpointer data, GObject*) {
        auto* row = static_cast<OVEditorRow*>(data);
        row->alive = false;
        if (auto d = row->delegate.lock())
            d->forgetRow(row);
    }, row.get());
    gtk_list_item_set_child(item, row->box);

    connectRow(row->toggle, "notify::active", G_CALLBACK(+[](GtkSwitch* toggle, GParamSpec*, gpointer data) {
        OVEditorRow* row = liveRow(data);
        if (!row || row->binding)
            return;
        if (auto d = row->delegate.lock())
            ov::guarded("an action's switch", [&] { d->didToggleEnabled(*row, gtk_switch_get_active(toggle)); });
    }), row);
    GtkDragSource* drag = gtk_drag_source_new();
    gtk_drag_source_set_actions(drag, GDK_ACTION_MOVE);
    connectRow(drag, "prepare", G_CALLBACK(+[](GtkDragSource*, double, double, gpointer data) -> GdkContentProvider* {
        OVEditorRow* row = liveRow(data);
        GdkContentProvider* provider = nullptr;
        if (auto d = row ? row->delegate.lock() : nullptr)
            ov::guarded("starting a drag", [&] { provider = d->dragContentFrom(*row); });
        return provider;
    }), row);
    connectRow(drag, "drag-begin", G_CALLBACK(+[](GtkDragSource* source, GdkDrag*, gpointer data) {
        OVEditorRow* row = liveRow(data);
        if (!row)
            return;
        ov::GRef<GdkPaintable> icon(gtk_widget_paintable_new(row->box));
        gtk_drag_source_set_icon(source, icon.get(), 0, 0);
    }), row);
    gtk_widget_add_controller(row->box, GTK_EVENT_CONTROLLER(drag));
    return row;
}

OVEditorRow* OVEditorRow::ofWidget(GtkWidget* widget)
{
    auto* row = widget ? static_cast<RowPtr*>(g_object_get_data(G_OBJECT(widget), kRowKey)) : nullptr;
    return row && (*row)->alive ? row->get() : nullptr;
}

GtkEntry* OVEditorRow::nameField()
{
    if (nameEntry)
        return nameEntry;
    const RowPtr shared = self.lock();
    nameEntry = GTK_ENTRY(gtk_entry_new());
    ovsettings::setAccessibleLabel(GTK_WIDGET(nameEntry), "Name");
    gtk_stack_add_child(nameStack, GTK_WIDGET(nameEntry));
    // Renaming ends with Return, with Escape (which applies what was typed, like Return) and
    // when the field loses focus.
    connectRow(nameEntry, "activate", G_CALLBACK(+[](GtkEntry*, gpointer data) {
        OVEditorRow* row = liveRow(data);
        if (auto d = row ? row->delegate.lock() : nullptr)
            ov::guarded("renaming an action", [&] { d->endEditing(*row, false); });
    }), shared);
    GtkEventController* escape = gtk_event_controller_key_new();
    gtk_event_controller_set_propagation_phase(escape, GTK_PHASE_CAPTURE);
    connectRow(escape, "key-pressed", G_CALLBACK(+[](GtkEventControllerKey*, guint keyval, guint, GdkModifierType,
                                                            gpointer data) -> gboolean {
        OVEditorRow* row = liveRow(data);
        if (!row || keyval != GDK_KEY_Escape || !row->editing)
            return FALSE;
        if (auto d = row->delegate.lock())
            ov::guarded("renaming an action", [&] { d->endEditing(*row, false); });
        return TRUE;
    }), shared);
    gtk_widget_add_controller(GTK_WIDGET(nameEntry), escape);
    GtkEventController* focus = gtk_event_controller_focus_new();
    connectRow(focus, "leave", G_CALLBACK(+[](GtkEventControllerFocus* controller, gpointer data) {
        OVEditorRow* row = liveRow(data);
        // Only focus moving elsewhere in the window ends it, not the window losing the keyboard
        // to another one.
        GtkRoot* root = gtk_widget_get_root(gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(controller)));
        if (root && GTK_IS_WINDOW(root) && !gtk_window_is_active(GTK_WINDOW(root)))
            return;
        if (auto d = row ? row->delegate.lock() : nullptr)
            ov::guarded("renaming an action", [&] { d->endEditing(*row, true); });
    }), shared);
    gtk_widget_add_controller(GTK_WIDGET(nameEntry), focus);
    return nameEntry;
}

void OVEditorRow::showAction()
{
    binding = true;
    const bool unknown = action->isUnknown();
    ovsettings::setImage(image, action->icon());
    gtk_label_set_text(nameLabel, unknown ? _(OVUnknownAction::kDisplayTitle) : action->title().value_or("").c_str());
    nameForScreenReaders();
    // Rows are reused for other actions: every one sets both.
    gtk_switch_set_active(toggle, action->enabled() && !unknown);
    gtk_widget_set_sensitive(GTK_WIDGET(toggle), !unknown);
    const std::string tip = unknown ? ov::stringPrintf(_("Kept unchanged for the newer Orvane that made it (\"%s\", %s); "
                                                         "this version cannot show or run it. It can only be removed."),
                                                       action->title().value_or("").c_str(), action->className())
                                    : std::string();
    gtk_widget_set_tooltip_text(box, unknown ? tip.c_str() : nullptr);
    binding = false;
}

void OVEditorRow::showNameField()
{
    editing = true;
    gtk_editable_set_text(GTK_EDITABLE(nameEntry), gtk_label_get_text(nameLabel));
    gtk_stack_set_visible_child(nameStack, GTK_WIDGET(nameEntry));
    gtk_widget_grab_focus(GTK_WIDGET(nameEntry));
    gtk_editable_select_region(GTK_EDITABLE(nameEntry), 0, -1);
}

bool OVEditorRow::hideNameField()
{
    if (!editing)
        return false;
    // First, so the focus change of hiding the entry does not end it a second time.
    editing = false;
    gtk_label_set_text(nameLabel, gtk_editable_get_text(GTK_EDITABLE(nameEntry)));
    gtk_stack_set_visible_child(nameStack, GTK_WIDGET(nameLabel));
    nameForScreenReaders();
    return true;
}

void OVEditorRow::nameForScreenReaders()
{
    const std::string title = gtk_label_get_text(nameLabel);
    ovsettings::setRowAccessibleLabel(box, title);
    ovsettings::setAccessibleLabel(GTK_WIDGET(toggle), title);
}
