// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVEditorContextMenu.h"

#include "platform/Log.h"

OVEditorContextMenu::~OVEditorContextMenu()
{
    if (popover_) {
        g_signal_handler_disconnect(popover_, closedHandler_);
        gtk_widget_unparent(GTK_WIDGET(popover_));
    }
}

void OVEditorContextMenu::load(GMenuModel* designed, GtkWidget* table, std::function<void()> closed)
{
    closed_ = std::move(closed);
    for (int i = 0, n = designed ? g_menu_model_get_n_items(designed) : 0; i < n; ++i)
        items_.emplace_back(g_menu_item_new_from_model(designed, i));
    menu_ = ov::GRef<GMenu>(g_menu_new());
    popover_ = GTK_POPOVER(gtk_popover_menu_new_from_model(G_MENU_MODEL(menu_.get())));
    gtk_popover_set_has_arrow(popover_, FALSE);
    gtk_widget_set_halign(GTK_WIDGET(popover_), GTK_ALIGN_START);
    gtk_widget_set_parent(GTK_WIDGET(popover_), table);
    closedHandler_ = g_signal_connect(popover_, "closed", G_CALLBACK(+[](GtkPopover*, gpointer data) {
        auto* menu = static_cast<OVEditorContextMenu*>(data);
        if (menu->closed_)
            ov::guarded("closing the context menu", [&] { menu->closed_(); });
    }), this);
}

void OVEditorContextMenu::update(OVEditorState::ContextMenu items)
{
    g_menu_remove_all(menu_.get());
    if (items == OVEditorState::ContextMenu::None)
        return;
    const bool isDefault = items == OVEditorState::ContextMenu::WithoutRemoval;
    for (const auto& item : items_) {
        ov::GVariantPtr tag(g_menu_item_get_attribute_value(item.get(), "tag", G_VARIANT_TYPE_INT32));
        if (isDefault && tag && g_variant_get_int32(tag.get()) == kDefaultActionHiddenTag)
            continue;
        g_menu_append_item(menu_.get(), item.get());
    }
}

bool OVEditorContextMenu::popUp(double x, double y)
{
    if (g_menu_model_get_n_items(model()) == 0)
        return false;
    const GdkRectangle at{int(x), int(y), 1, 1};
    gtk_popover_set_pointing_to(popover_, &at);
    gtk_popover_popup(popover_);
    return true;
}
