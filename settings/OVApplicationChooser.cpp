// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVApplicationChooser.h"

#include "platform/Log.h"
#include "platform/Translation.h"
#include "settings/OVWeakSignal.h"

#include <gio/gdesktopappinfo.h>

#include <algorithm>

using ovsettings::connectWeak;
using ovsettings::withTarget;

namespace {

GQuark infoQuark()
{
    static const GQuark quark = g_quark_from_static_string("ov-app-info");
    return quark;
}

std::vector<ov::GRef<GAppInfo>> installedApplications()
{
    std::vector<ov::GRef<GAppInfo>> found;
    GList* all = g_app_info_get_all();
    for (GList* l = all; l; l = l->next) {
        auto* info = G_APP_INFO(l->data);
        // Only what a desktop file describes can be stored and opened again.
        if (g_app_info_should_show(info) && G_IS_DESKTOP_APP_INFO(info)
            && g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(info)))
            found.push_back(ov::GRef<GAppInfo>::retain(info));
    }
    g_list_free_full(all, g_object_unref);
    return found;
}

} // namespace

std::shared_ptr<OVApplicationChooser> OVApplicationChooser::create(const std::string& title, GtkWindow* parent,
                                                                   Completion done)
{
    std::shared_ptr<OVApplicationChooser> chooser(new OVApplicationChooser());
    chooser->done_ = std::move(done);
    std::weak_ptr<OVApplicationChooser> weak = chooser;

    chooser->window_ = GTK_WINDOW(gtk_window_new());
    g_object_ref_sink(chooser->window_);
    gtk_window_set_title(chooser->window_, title.c_str());
    gtk_window_set_modal(chooser->window_, TRUE);
    if (parent)
        gtk_window_set_transient_for(chooser->window_, parent);
    gtk_window_set_default_size(chooser->window_, 420, 480);

    GtkWidget* header = gtk_header_bar_new();
    gtk_header_bar_set_show_title_buttons(GTK_HEADER_BAR(header), FALSE);
    GtkWidget* cancel = gtk_button_new_with_label(_("Cancel"));
    GtkWidget* add = gtk_button_new_with_label(_("Add"));
    gtk_widget_add_css_class(add, "suggested-action");
    gtk_header_bar_pack_start(GTK_HEADER_BAR(header), cancel);
    gtk_header_bar_pack_end(GTK_HEADER_BAR(header), add);
    gtk_window_set_titlebar(chooser->window_, header);
    connectWeak(cancel, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
        withTarget<OVApplicationChooser>(data, "cancelling the application chooser", [](OVApplicationChooser& c) { c.cancel(); });
    }), weak);
    connectWeak(add, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
        withTarget<OVApplicationChooser>(data, "the application chooser", [](OVApplicationChooser& c) { c.add(); });
    }), weak);
    connectWeak(chooser->window_, "close-request", G_CALLBACK(+[](GtkWindow*, gpointer data) -> gboolean {
        withTarget<OVApplicationChooser>(data, "closing the application chooser", [](OVApplicationChooser& c) { c.cancel(); });
        return TRUE;
    }), weak);

    chooser->items_ = ov::GRef<GListStore>(g_list_store_new(G_TYPE_OBJECT));
    chooser->selection_ = ov::GRef<GtkMultiSelection>(gtk_multi_selection_new(G_LIST_MODEL(g_object_ref(chooser->items_.get()))));
    GtkListItemFactory* factory = gtk_signal_list_item_factory_new();
    g_signal_connect(factory, "setup", G_CALLBACK(+[](GtkListItemFactory*, GtkListItem* item, gpointer) {
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
        gtk_widget_set_margin_top(box, 4);
        gtk_widget_set_margin_bottom(box, 4);
        GtkWidget* image = gtk_image_new();
        gtk_image_set_pixel_size(GTK_IMAGE(image), 24);
        gtk_box_append(GTK_BOX(box), image);
        GtkWidget* label = gtk_label_new("");
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_box_append(GTK_BOX(box), label);
        gtk_list_item_set_child(item, box);
    }), nullptr);
    g_signal_connect(factory, "bind", G_CALLBACK(+[](GtkListItemFactory*, GtkListItem* item, gpointer) {
        GtkWidget* box = gtk_list_item_get_child(item);
        auto* info = static_cast<GAppInfo*>(g_object_get_qdata(G_OBJECT(gtk_list_item_get_item(item)), infoQuark()));
        if (!box || !info)
            return;
        GtkWidget* image = gtk_widget_get_first_child(box);
        gtk_image_set_from_gicon(GTK_IMAGE(image), g_app_info_get_icon(info));
        gtk_label_set_text(GTK_LABEL(gtk_widget_get_next_sibling(image)), g_app_info_get_name(info));
    }), nullptr);
    GtkWidget* list = gtk_list_view_new(GTK_SELECTION_MODEL(g_object_ref(chooser->selection_.get())), factory);
    GtkWidget* scroll = gtk_scrolled_window_new();
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroll), list);
    gtk_window_set_child(chooser->window_, scroll);

    chooser->setApplications(installedApplications());
    return chooser;
}

OVApplicationChooser::~OVApplicationChooser()
{
    if (window_) {
        gtk_window_destroy(window_);
        g_object_unref(window_);
    }
}

void OVApplicationChooser::setApplications(std::vector<ov::GRef<GAppInfo>> applications)
{
    std::sort(applications.begin(), applications.end(), [](const auto& a, const auto& b) {
        return g_utf8_collate(g_app_info_get_name(a.get()), g_app_info_get_name(b.get())) < 0;
    });
    applications_ = std::move(applications);
    g_list_store_remove_all(items_.get());
    for (const auto& info : applications_) {
        ov::GRef<GObject> item(G_OBJECT(g_object_new(G_TYPE_OBJECT, nullptr)));
        g_object_set_qdata_full(item.get(), infoQuark(), g_object_ref(info.get()), g_object_unref);
        g_list_store_append(items_.get(), item.get());
    }
}

void OVApplicationChooser::selectRows(const std::vector<unsigned>& rows)
{
    gtk_selection_model_unselect_all(GTK_SELECTION_MODEL(selection_.get()));
    for (unsigned row : rows)
        gtk_selection_model_select_item(GTK_SELECTION_MODEL(selection_.get()), row, FALSE);
}

void OVApplicationChooser::present() { gtk_window_present(window_); }

void OVApplicationChooser::add() { finish(true); }

void OVApplicationChooser::cancel() { finish(false); }

void OVApplicationChooser::finish(bool accepted)
{
    if (!done_)
        return;
    std::vector<GAppInfo*> chosen;
    if (accepted) {
        GtkBitset* set = gtk_selection_model_get_selection(GTK_SELECTION_MODEL(selection_.get()));
        GtkBitsetIter iter;
        guint row = 0;
        for (bool ok = gtk_bitset_iter_init_first(&iter, set, &row); ok; ok = gtk_bitset_iter_next(&iter, &row))
            if (row < applications_.size())
                chosen.push_back(applications_[row].get());
        gtk_bitset_unref(set);
    }
    gtk_widget_set_visible(GTK_WIDGET(window_), FALSE);
    auto keep = shared_from_this(); // the completion may drop the owner's reference
    Completion done = std::move(done_);
    done_ = nullptr;
    ov::guarded("choosing applications", [&] { done(chosen); });
}
