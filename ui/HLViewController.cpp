// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HLViewController.h"

#include "ui/HLInterfaceFile.h"

HLViewController::~HLViewController() = default;

void HLViewController::loadView()
{
    if (viewHasLoaded_)
        return;
    builder_.reset(hl::builderForClassChain(classHierarchy()));
    GtkWidget* view = builder_ ? GTK_WIDGET(gtk_builder_get_object(builder_.get(), "view")) : nullptr;
    if (!view)
        view = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    view_ = ov::GRef<GtkWidget>(GTK_WIDGET(g_object_ref_sink(view)));
    viewHasLoaded_ = true;
    hl_viewDidLoad();
}

GObject* HLViewController::outlet(const char* name) const
{
    return builder_ ? gtk_builder_get_object(builder_.get(), name) : nullptr;
}

GtkWindow* HLViewController::parentWindow() const
{
    if (parentWindow_)
        return parentWindow_;
    if (view_) {
        if (GtkRoot* root = gtk_widget_get_root(view_.get()); root && GTK_IS_WINDOW(root))
            return GTK_WINDOW(root);
    }
    if (GApplication* app = g_application_get_default(); app && GTK_IS_APPLICATION(app))
        return gtk_application_get_active_window(GTK_APPLICATION(app));
    return nullptr;
}
