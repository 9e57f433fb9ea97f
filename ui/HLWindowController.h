// SPDX-License-Identifier: GPL-3.0-or-later
// The base of every window: loaded from the interface file named after the class (the window is
// the object "window"), shown on its own or as a sheet on another window.
#pragma once

#include "platform/GRef.h"

#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

class HLWindowController : public std::enable_shared_from_this<HLWindowController> {
public:
    template <typename T, typename... Args>
    static std::shared_ptr<T> controller(Args&&... args)
    {
        std::shared_ptr<T> c(new T(std::forward<Args>(args)...));
        c->loadWindow();
        return c;
    }
    virtual ~HLWindowController();
    HLWindowController(const HLWindowController&) = delete;
    HLWindowController& operator=(const HLWindowController&) = delete;

    virtual std::vector<std::string> classHierarchy() const { return {"HLWindowController"}; }

    // None without a display.
    GtkWindow* window() const { return window_.get(); }
    GObject* outlet(const char* name) const;
    template <typename T>
    T* outlet(const char* name) const { return reinterpret_cast<T*>(outlet(name)); }

    void showWindow();
    // The most room the window may take: its monitor (the first one before it is on screen) less
    // a top bar of kTopBarHeight. GTK 4.8 has no work area on Wayland, so the shell's bar is
    // assumed rather than asked for; {0, 0} without a display or monitor.
    struct Room {
        int width = 0;
        int height = 0;
    };
    static constexpr int kTopBarHeight = 32;
    Room roomOnScreen() const;
    // Takes the window off the screen for good; closing it by hand only hides it, so work that
    // the window shows goes on.
    void close();

    GtkWindow* parentWindow() const { return parentWindow_; }
    void setParentWindow(GtkWindow* w) { parentWindow_ = w; }
    HLWindowController* parentWindowController() const { return parentWindowController_; }
    void setParentWindowController(HLWindowController* c) { parentWindowController_ = c; }

    // Hooks first, then the window is attached as a modal sheet on the next main-context turn.
    void beginSheetInWindow(GtkWindow* window);
    void closeSheet();

    virtual void hl_viewDidLoad() {}
    // Asked when the user closes the window; false keeps it on screen (the controller may hide
    // it later, after asking the user something).
    virtual bool windowShouldClose() { return true; }
    virtual void hl_sheetWillAppear() {}
    virtual void hl_sheetDidAppear() {}
    virtual void hl_sheetWillDisappear() {}
    virtual void hl_sheetDidDisappear() {}

    // Two-or-more-finger horizontal swipes, when wanted. Positions are normalised to 0..1 of the
    // touch surface; a sum of movements of at least 0.3 either way is a swipe.
    bool wantsSwipeEvents() const { return wantsSwipeEvents_; }
    struct Touch {
        long identity;
        double x;
    };
    void touchesBegan(const std::vector<Touch>& touches);
    void touchesEnded(const std::vector<Touch>& touches);
    virtual void didSwipeForward() {}
    virtual void didSwipeBack() {}

protected:
    explicit HLWindowController(bool wantsSwipeEvents = false) : wantsSwipeEvents_(wantsSwipeEvents) {}
    void loadWindow();

private:
    void attachSwipeTracking();
    static gboolean onTouchpadEvent(GtkEventControllerLegacy*, GdkEvent* event, gpointer data);

    ov::GRef<GtkBuilder> builder_;
    ov::GRef<GtkWindow> window_;
    GtkWindow* parentWindow_ = nullptr;
    HLWindowController* parentWindowController_ = nullptr;
    bool wantsSwipeEvents_ = false;
    std::unique_ptr<std::map<long, double>> touches_; // made on load, only when swipes are wanted
    double touchpadDx_ = 0;
    int touchpadFingers_ = 0;
    bool loaded_ = false;
    bool destroyed_ = false;
};
