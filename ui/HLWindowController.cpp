// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HLWindowController.h"

#include "platform/GuiPresent.h"
#include "platform/GuiResources.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "ui/HLInterfaceFile.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kSwipeThreshold = 0.3;
// Touchpad deltas come in surface units, not as normalised positions: this many units count as
// the width of the surface.
constexpr double kTouchpadWidthUnits = 1000.0;

gboolean onCloseRequest(GtkWindow* window, gpointer data)
{
    bool close = true;
    ov::guarded("closing a window", [&] { close = static_cast<HLWindowController*>(data)->windowShouldClose(); });
    if (close)
        gtk_widget_set_visible(GTK_WIDGET(window), FALSE);
    return TRUE;
}

} // namespace

HLWindowController::~HLWindowController()
{
    if (window_) {
        g_signal_handlers_disconnect_by_data(window_.get(), this);
        if (!destroyed_)
            gtk_window_destroy(window_.get());
    }
}

void HLWindowController::loadWindow()
{
    if (loaded_)
        return;
    if (!ov::guiReady()) {
        // No display: the controller still does its work, with no window to show it.
        loaded_ = true;
        hl_viewDidLoad();
        return;
    }
    builder_.reset(hl::builderForClassChain(classHierarchy()));
    GObject* object = builder_ ? gtk_builder_get_object(builder_.get(), "window") : nullptr;
    GtkWindow* window = object && GTK_IS_WINDOW(object) ? GTK_WINDOW(object) : nullptr;
    if (!window)
        window = GTK_WINDOW(gtk_window_new());
    window_ = ov::GRef<GtkWindow>::retain(window);
    g_signal_connect(window, "close-request", G_CALLBACK(onCloseRequest), this);
    if (wantsSwipeEvents_) {
        touches_ = std::make_unique<std::map<long, double>>();
        attachSwipeTracking();
    }
    loaded_ = true;
    hl_viewDidLoad();
}

GObject* HLWindowController::outlet(const char* name) const
{
    return builder_ ? gtk_builder_get_object(builder_.get(), name) : nullptr;
}

void HLWindowController::showWindow()
{
    if (window_ && !destroyed_)
        ov::presentWindow(window_.get());
}

HLWindowController::Room HLWindowController::roomOnScreen() const
{
    if (!window_)
        return {};
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window_.get()));
    GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(window_.get()));
    ov::GRef<GdkMonitor> monitor;
    if (surface && gtk_widget_get_mapped(GTK_WIDGET(window_.get())))
        monitor = ov::GRef<GdkMonitor>::retain(gdk_display_get_monitor_at_surface(display, surface));
    if (!monitor) {
        GListModel* monitors = gdk_display_get_monitors(display);
        if (g_list_model_get_n_items(monitors) > 0)
            monitor.reset(GDK_MONITOR(g_list_model_get_item(monitors, 0)));
    }
    if (!monitor)
        return {};
    GdkRectangle geometry{};
    gdk_monitor_get_geometry(monitor.get(), &geometry);
    return {std::max(0, geometry.width), std::max(0, geometry.height - kTopBarHeight)};
}

void HLWindowController::close()
{
    if (!window_ || destroyed_)
        return;
    destroyed_ = true;
    gtk_window_destroy(window_.get());
}

void HLWindowController::beginSheetInWindow(GtkWindow* parent)
{
    hl_sheetWillAppear();
    std::weak_ptr<HLWindowController> weak = weak_from_this();
    ov::GRef<GtkWindow> keepParent = ov::GRef<GtkWindow>::retain(parent);
    ov::runOnNextTurn([weak, keepParent = std::make_shared<ov::GRef<GtkWindow>>(std::move(keepParent))] {
        auto self = weak.lock();
        if (!self || !self->window_ || self->destroyed_)
            return;
        gtk_window_set_transient_for(self->window_.get(), keepParent->get());
        gtk_window_set_modal(self->window_.get(), TRUE);
        gtk_window_present(self->window_.get());
        self->hl_sheetDidAppear();
    });
}

void HLWindowController::closeSheet()
{
    hl_sheetWillDisappear();
    if (window_ && !destroyed_) {
        gtk_widget_set_visible(GTK_WIDGET(window_.get()), FALSE);
        gtk_window_set_transient_for(window_.get(), nullptr);
    }
    hl_sheetDidDisappear();
}

void HLWindowController::touchesBegan(const std::vector<Touch>& touches)
{
    if (!touches_)
        return;
    touches_->clear();
    for (const auto& t : touches)
        (*touches_)[t.identity] = t.x;
}

void HLWindowController::touchesEnded(const std::vector<Touch>& touches)
{
    if (!touches_)
        return;
    if (touches.size() > 1) {
        double sum = 0;
        for (const auto& t : touches)
            if (auto it = touches_->find(t.identity); it != touches_->end())
                sum += t.x - it->second;
        if (std::fabs(sum) >= kSwipeThreshold) {
            if (sum > 0)
                didSwipeForward();
            else
                didSwipeBack();
        }
    }
    touches_->clear();
}

void HLWindowController::attachSwipeTracking()
{
    // A touchpad swipe reports one movement for all fingers: each finger is taken to have moved
    // by it.
    GtkEventController* legacy = gtk_event_controller_legacy_new();
    g_signal_connect(legacy, "event", G_CALLBACK(onTouchpadEvent), this);
    gtk_widget_add_controller(GTK_WIDGET(window_.get()), legacy);
}

gboolean HLWindowController::onTouchpadEvent(GtkEventControllerLegacy*, GdkEvent* event, gpointer data)
{
    auto* self = static_cast<HLWindowController*>(data);
    if (gdk_event_get_event_type(event) != GDK_TOUCHPAD_SWIPE)
        return FALSE;
    ov::guarded("swipe tracking", [&] {
        const auto phase = gdk_touchpad_event_get_gesture_phase(event);
        double dx = 0, dy = 0;
        gdk_touchpad_event_get_deltas(event, &dx, &dy);
        std::vector<Touch> touches;
        if (phase == GDK_TOUCHPAD_GESTURE_PHASE_BEGIN) {
            self->touchpadDx_ = 0;
            self->touchpadFingers_ = int(gdk_touchpad_event_get_n_fingers(event));
            for (int i = 0; i < self->touchpadFingers_; ++i)
                touches.push_back({i, 0.0});
            self->touchesBegan(touches);
        } else if (phase == GDK_TOUCHPAD_GESTURE_PHASE_UPDATE) {
            self->touchpadDx_ += dx;
        } else if (phase == GDK_TOUCHPAD_GESTURE_PHASE_END) {
            for (int i = 0; i < self->touchpadFingers_; ++i)
                touches.push_back({i, self->touchpadDx_ / kTouchpadWidthUnits});
            self->touchesEnded(touches);
        }
    });
    return FALSE;
}
