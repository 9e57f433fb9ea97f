// SPDX-License-Identifier: GPL-3.0-or-later
// A stack of view controllers shown one at a time inside one container, sliding in from the right
// when pushed and from the left when popped. Changes are applied on the next main-context turn,
// in call order.
#pragma once

#include "platform/GRef.h"
#include "ui/HLViewController.h"

#include <gtk/gtk.h>

#include <memory>
#include <vector>

class HLWindowController;

class HLNavigationController : public std::enable_shared_from_this<HLNavigationController> {
public:
    using ControllerPtr = std::shared_ptr<HLViewController>;
    static constexpr unsigned kTransitionMilliseconds = 150;

    // A stack in a container of its own, inside the given window (or window controller's
    // window) when there is one.
    static std::shared_ptr<HLNavigationController> create(GtkWindow* window = nullptr,
                                                          HLWindowController* windowController = nullptr);
    ~HLNavigationController();

    GtkWidget* view() const { return GTK_WIDGET(stack_.get()); }
    GtkWindow* window() const;
    HLWindowController* windowController() const { return windowController_; }

    std::vector<ControllerPtr> viewControllers() const { return viewControllerStack_; }
    ControllerPtr currentViewController() const { return currentViewController_; }
    void setViewControllers(const std::vector<ControllerPtr>& controllers, bool animated = false);
    void pushViewController(const ControllerPtr& controller, bool animated);
    ControllerPtr popViewControllerAnimated(bool animated);
    ControllerPtr popToRootViewControllerAnimated(bool animated);
    void popToController(const ControllerPtr& controller, bool animated);

    bool isVisible() const { return isVisible_; }
    void setIsVisible(bool visible);

    // Grows the window so the controller's minimum size fits; answers whether it resized.
    bool resizeWindowIfNeededForViewController(const ControllerPtr& controller, bool animated);

private:
    HLNavigationController() = default;
    void setCurrentViewController(const ControllerPtr& controller, bool animated, bool isPop);
    void finishTransition(const ControllerPtr& from, const ControllerPtr& to);
    void removeRetiredViews();
    void transitionEnded();

    ov::GRef<GtkStack> stack_;
    ov::GRef<GtkWindow> window_;
    HLWindowController* windowController_ = nullptr;
    std::vector<ControllerPtr> viewControllerStack_;
    ControllerPtr currentViewController_;
    std::vector<ControllerPtr> retired_; // views still in the container until their slide ends
    ControllerPtr pendingFrom_, pendingTo_;
    bool isVisible_ = false;
    HLSize originalMinSize_;
    bool haveOriginalMinSize_ = false;
    gulong transitionHandler_ = 0;
};
