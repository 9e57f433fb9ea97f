// SPDX-License-Identifier: GPL-3.0-or-later
// The base of every page and view of the interface: a widget tree loaded from the interface file
// named after the class, and the hooks its owner calls as it shows and hides it.
#pragma once

#include "platform/GRef.h"

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

class HLNavigationController;
class HLWindowController;

struct HLSize {
    double width = 0;
    double height = 0;
    bool isZero() const { return width == 0 && height == 0; }
};

class HLViewController : public std::enable_shared_from_this<HLViewController> {
public:
    // A new controller of the class, loaded from its interface file (the view is the object
    // "view"); hl_viewDidLoad has run when this returns.
    template <typename T, typename... Args>
    static std::shared_ptr<T> controller(Args&&... args)
    {
        std::shared_ptr<T> c(new T(std::forward<Args>(args)...));
        c->loadView();
        return c;
    }
    virtual ~HLViewController();
    HLViewController(const HLViewController&) = delete;
    HLViewController& operator=(const HLViewController&) = delete;

    // The class chain, most derived first, used to find the interface file.
    virtual std::vector<std::string> classHierarchy() const { return {"HLViewController"}; }

    GtkWidget* view() const { return view_.get(); }
    // A named object of the interface file, or null.
    GObject* outlet(const char* name) const;
    template <typename T>
    T* outlet(const char* name) const { return reinterpret_cast<T*>(outlet(name)); }

    // The set window; else the window of the view; else the application's active window.
    GtkWindow* parentWindow() const;
    void setParentWindow(GtkWindow* window) { parentWindow_ = window; }
    HLWindowController* parentWindowController() const { return parentWindowController_; }
    void setParentWindowController(HLWindowController* controller) { parentWindowController_ = controller; }
    std::shared_ptr<HLNavigationController> navigationController() const { return navigationController_; }
    void setNavigationController(std::shared_ptr<HLNavigationController> nav) { navigationController_ = std::move(nav); }

    HLSize viewMinSize() const { return viewMinSize_; }
    void setViewMinSize(HLSize size) { viewMinSize_ = size; }
    bool forceResize() const { return forceResize_; }
    void setForceResize(bool v) { forceResize_ = v; }

    bool hl_viewHasLoaded() const { return viewHasLoaded_; }
    bool hl_isVisible() const { return isVisible_; }
    void hl_setIsVisible(bool v) { isVisible_ = v; }

    virtual void hl_viewDidLoad() {}
    virtual void hl_viewWillAppear() {}
    virtual void hl_viewDidAppear() {}
    virtual void hl_viewWillDisappear() {}
    virtual void hl_viewDidDisappear() {}

protected:
    HLViewController() = default;
    // Builds the view from the interface file, or an empty box when the class has none.
    void loadView();

private:
    ov::GRef<GtkBuilder> builder_;
    ov::GRef<GtkWidget> view_; // a reference of our own: the view outlives its parent's changes
    GtkWindow* parentWindow_ = nullptr;
    HLWindowController* parentWindowController_ = nullptr;
    std::shared_ptr<HLNavigationController> navigationController_;
    HLSize viewMinSize_;
    bool forceResize_ = false;
    bool viewHasLoaded_ = false;
    bool isVisible_ = false;
};
