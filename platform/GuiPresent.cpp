// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/GuiPresent.h"

#include "platform/Application.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/wayland/gdkwayland.h>
#endif
#ifdef GDK_WINDOWING_X11
#include <gdk/x11/gdkx.h>
#endif

namespace ov {

void presentWindow(GtkWindow* window)
{
    if (!window)
        return;
    // GTK focuses a window it presents with the display's startup id, and asks the compositor for
    // a token of its own when there is none; one of its own carries no user action and does not
    // count. The window itself cannot carry the token on Wayland: the compositor ignores an
    // activation for a window it does not know yet.
    if (auto token = takeActivationToken()) {
        GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window));
#ifdef GDK_WINDOWING_WAYLAND
        if (GDK_IS_WAYLAND_DISPLAY(display))
            gdk_wayland_display_set_startup_notification_id(display, token->c_str());
#endif
#ifdef GDK_WINDOWING_X11
        if (GDK_IS_X11_DISPLAY(display))
            gdk_x11_display_set_startup_notification_id(display, token->c_str());
#endif
        (void)display;
    }
    gtk_window_present(window);
}

} // namespace ov
