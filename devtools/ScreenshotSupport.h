// SPDX-License-Identifier: GPL-3.0-or-later
// Writing PNGs of the programs' windows for reviewers (orvane-screenshots), under a display.
#pragma once

#include "platform/MainContext.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

namespace screenshots {

// Lets the window lay out and draw.
inline void letDraw() { ov::iterateMainUntil([] { return false; }, 700); }

// A PNG of the window; with a popover open on it, the popover is drawn over the window where it
// stands (it is a surface of its own, so a snapshot of the window alone would miss it).
inline bool saveWindow(GtkWindow* window, const std::string& path, GtkPopover* popover = nullptr)
{
    GtkWidget* widget = GTK_WIDGET(window);
    const int width = gtk_widget_get_width(widget);
    const int height = gtk_widget_get_height(widget);
    if (width <= 0 || height <= 0)
        return false;
    double popX = 0, popY = 0;
    int popWidth = 0, popHeight = 0;
    const bool withPopover = popover && gtk_widget_get_mapped(GTK_WIDGET(popover));
    if (withPopover) {
        GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(popover));
        double windowX = 0, windowY = 0, popoverX = 0, popoverY = 0;
        gtk_native_get_surface_transform(GTK_NATIVE(window), &windowX, &windowY);
        gtk_native_get_surface_transform(GTK_NATIVE(popover), &popoverX, &popoverY);
        popX = gdk_popup_get_position_x(GDK_POPUP(surface)) + popoverX - windowX;
        popY = gdk_popup_get_position_y(GDK_POPUP(surface)) + popoverY - windowY;
        popWidth = gtk_widget_get_width(GTK_WIDGET(popover));
        popHeight = gtk_widget_get_height(GTK_WIDGET(popover));
    }
    // The canvas holds both, wherever the popover sticks out.
    const double left = std::min(0.0, popX), top = std::min(0.0, popY);
    const int canvasWidth = int(std::max(double(width), popX + popWidth) - left);
    const int canvasHeight = int(std::max(double(height), popY + popHeight) - top);

    GtkSnapshot* snapshot = gtk_snapshot_new();
    graphene_point_t origin = GRAPHENE_POINT_INIT(float(-left), float(-top));
    gtk_snapshot_translate(snapshot, &origin);
    GdkPaintable* windowImage = gtk_widget_paintable_new(widget);
    gdk_paintable_snapshot(windowImage, snapshot, width, height);
    g_object_unref(windowImage);
    if (withPopover) {
        GdkPaintable* popoverImage = gtk_widget_paintable_new(GTK_WIDGET(popover));
        graphene_point_t at = GRAPHENE_POINT_INIT(float(popX), float(popY));
        gtk_snapshot_save(snapshot);
        gtk_snapshot_translate(snapshot, &at);
        gdk_paintable_snapshot(popoverImage, snapshot, popWidth, popHeight);
        gtk_snapshot_restore(snapshot);
        g_object_unref(popoverImage);
    }
    GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
    bool ok = false;
    if (node) {
        GskRenderer* renderer = gtk_native_get_renderer(GTK_NATIVE(window));
        graphene_rect_t viewport = GRAPHENE_RECT_INIT(0, 0, float(canvasWidth), float(canvasHeight));
        GdkTexture* texture = gsk_renderer_render_texture(renderer, node, &viewport);
        ok = texture && gdk_texture_save_to_png(texture, path.c_str());
        if (texture)
            g_object_unref(texture);
        gsk_render_node_unref(node);
    }
    std::printf("%s %s\n", ok ? "wrote" : "could not write", path.c_str());
    return ok;
}

// Shows one window through the program's own code, waits until it is drawn, saves it, closes it.
inline bool capture(const std::string& folder, const std::string& name, const std::function<void()>& show)
{
    GListModel* toplevels = gtk_window_get_toplevels();
    const guint before = g_list_model_get_n_items(toplevels);
    show();
    ov::iterateMainUntil([&] { return g_list_model_get_n_items(toplevels) > before; }, 3000);
    letDraw();
    for (guint i = g_list_model_get_n_items(toplevels); i-- > 0;) {
        auto* window = GTK_WINDOW(g_list_model_get_item(toplevels, i));
        if (gtk_widget_get_visible(GTK_WIDGET(window))) {
            const bool ok = saveWindow(window, folder + "/" + name + ".png");
            gtk_window_destroy(window);
            g_object_unref(window);
            return ok;
        }
        g_object_unref(window);
    }
    std::printf("could not write %s/%s.png: no window appeared\n", folder.c_str(), name.c_str());
    return false;
}

} // namespace screenshots
