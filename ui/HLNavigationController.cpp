// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HLNavigationController.h"

#include "platform/Log.h"
#include "platform/MainContext.h"
#include "ui/HLWindowController.h"

#include <algorithm>

std::shared_ptr<HLNavigationController> HLNavigationController::create(GtkWindow* window,
                                                                       HLWindowController* windowController)
{
    std::shared_ptr<HLNavigationController> nav(new HLNavigationController());
    nav->stack_ = ov::GRef<GtkStack>(GTK_STACK(g_object_ref_sink(gtk_stack_new())));
    gtk_widget_set_hexpand(nav->view(), TRUE);
    gtk_widget_set_vexpand(nav->view(), TRUE);
    nav->window_ = ov::GRef<GtkWindow>::retain(window);
    nav->windowController_ = windowController;
    nav->transitionHandler_ = g_signal_connect_data(
        nav->stack_.get(), "notify::transition-running",
        G_CALLBACK(+[](GtkStack*, GParamSpec*, gpointer data) {
            auto* weak = static_cast<std::weak_ptr<HLNavigationController>*>(data);
            ov::guarded("the end of a slide", [&] {
                if (auto self = weak->lock())
                    self->transitionEnded();
            });
        }),
        new std::weak_ptr<HLNavigationController>(nav),
        [](gpointer data, GClosure*) { delete static_cast<std::weak_ptr<HLNavigationController>*>(data); },
        GConnectFlags(0));
    return nav;
}

HLNavigationController::~HLNavigationController()
{
    if (transitionHandler_)
        g_signal_handler_disconnect(stack_.get(), transitionHandler_);
}

GtkWindow* HLNavigationController::window() const
{
    if (window_)
        return window_.get();
    return windowController_ ? windowController_->window() : nullptr;
}

void HLNavigationController::setViewControllers(const std::vector<ControllerPtr>& controllers, bool animated)
{
    viewControllerStack_ = controllers;
    for (const auto& c : viewControllerStack_)
        c->setNavigationController(shared_from_this());
    if (!viewControllerStack_.empty())
        setCurrentViewController(viewControllerStack_.back(), animated, false);
}

void HLNavigationController::pushViewController(const ControllerPtr& controller, bool animated)
{
    if (!controller)
        return;
    std::weak_ptr<HLNavigationController> weak = weak_from_this();
    ov::runOnNextTurn([weak, controller, animated] {
        auto self = weak.lock();
        if (!self)
            return;
        controller->setNavigationController(self);
        self->viewControllerStack_.push_back(controller);
        self->setCurrentViewController(controller, animated, false);
    });
}

HLNavigationController::ControllerPtr HLNavigationController::popViewControllerAnimated(bool animated)
{
    if (!viewControllerStack_.empty())
        viewControllerStack_.pop_back();
    ControllerPtr top = viewControllerStack_.empty() ? nullptr : viewControllerStack_.back();
    std::weak_ptr<HLNavigationController> weak = weak_from_this();
    ov::runOnNextTurn([weak, top, animated] {
        if (auto self = weak.lock(); self && top)
            self->setCurrentViewController(top, animated, true);
    });
    return top;
}

HLNavigationController::ControllerPtr HLNavigationController::popToRootViewControllerAnimated(bool animated)
{
    ControllerPtr root = viewControllerStack_.empty() ? nullptr : viewControllerStack_.front();
    std::weak_ptr<HLNavigationController> weak = weak_from_this();
    ov::runOnNextTurn([weak, animated] {
        auto self = weak.lock();
        if (!self || self->viewControllerStack_.empty())
            return;
        self->viewControllerStack_.resize(1);
        self->setCurrentViewController(self->viewControllerStack_.front(), animated, true);
    });
    return root;
}

void HLNavigationController::popToController(const ControllerPtr& controller, bool animated)
{
    if (controller && controller == currentViewController_) {
        ov::ovLog("View controller is already the top item");
        return;
    }
    auto it = std::find(viewControllerStack_.begin(), viewControllerStack_.end(), controller);
    if (it == viewControllerStack_.end()) {
        ov::ovLog("Could not find in stack: %p", static_cast<const void*>(controller.get()));
        std::string stack;
        for (const auto& c : viewControllerStack_)
            stack += ov::stringPrintf("%s%p", stack.empty() ? "" : ", ", static_cast<const void*>(c.get()));
        ov::ovLog("Stack: (%s)", stack.c_str());
        return;
    }
    viewControllerStack_.erase(it + 1, viewControllerStack_.end());
    std::weak_ptr<HLNavigationController> weak = weak_from_this();
    ov::runOnNextTurn([weak, controller, animated] {
        if (auto self = weak.lock())
            self->setCurrentViewController(controller, animated, true);
    });
}

void HLNavigationController::setIsVisible(bool visible)
{
    isVisible_ = visible;
    for (const auto& c : viewControllerStack_)
        c->hl_setIsVisible(visible);
}

void HLNavigationController::setCurrentViewController(const ControllerPtr& controller, bool animated, bool isPop)
{
    if (!controller || controller == currentViewController_)
        return;
    animated = animated && currentViewController_;
    if (GtkWindow* w = window()) {
        if (!haveOriginalMinSize_) {
            int width = 0, height = 0;
            gtk_widget_get_size_request(GTK_WIDGET(w), &width, &height);
            originalMinSize_ = {double(std::max(width, 0)), double(std::max(height, 0))};
            haveOriginalMinSize_ = true;
        }
        gtk_widget_set_size_request(GTK_WIDGET(w), originalMinSize_.width > 0 ? int(originalMinSize_.width) : -1,
                                    originalMinSize_.height > 0 ? int(originalMinSize_.height) : -1);
    }
    controller->setParentWindowController(windowController_);
    controller->setParentWindow(window());
    GtkWidget* page = controller->view();
    gtk_widget_set_hexpand(page, TRUE);
    gtk_widget_set_vexpand(page, TRUE);

    ControllerPtr old = currentViewController_;
    if (old)
        old->hl_viewWillDisappear();
    controller->hl_viewWillAppear();
    currentViewController_ = controller;

    if (gtk_widget_get_parent(page) != view())
        gtk_stack_add_child(stack_.get(), page);
    if (!old) {
        gtk_stack_set_transition_type(stack_.get(), GTK_STACK_TRANSITION_TYPE_NONE);
        gtk_stack_set_visible_child(stack_.get(), page);
        controller->hl_viewDidAppear();
        return;
    }
    gtk_stack_set_transition_duration(stack_.get(), animated ? kTransitionMilliseconds : 0);
    gtk_stack_set_transition_type(stack_.get(), isPop ? GTK_STACK_TRANSITION_TYPE_SLIDE_RIGHT
                                                      : GTK_STACK_TRANSITION_TYPE_SLIDE_LEFT);
    resizeWindowIfNeededForViewController(controller, animated);
    if (pendingTo_) // a slide still running: its hooks come first
        finishTransition(std::exchange(pendingFrom_, nullptr), std::exchange(pendingTo_, nullptr));
    retired_.push_back(old);
    gtk_stack_set_visible_child(stack_.get(), page);
    if (gtk_stack_get_transition_running(stack_.get())) {
        pendingFrom_ = old; // the did-hooks wait for the slide to end
        pendingTo_ = controller;
        return;
    }
    finishTransition(old, controller);
}

void HLNavigationController::transitionEnded()
{
    if (pendingTo_ && !gtk_stack_get_transition_running(stack_.get()))
        finishTransition(std::exchange(pendingFrom_, nullptr), std::exchange(pendingTo_, nullptr));
}

void HLNavigationController::finishTransition(const ControllerPtr& from, const ControllerPtr& to)
{
    to->hl_setIsVisible(isVisible_);
    from->hl_viewDidDisappear();
    to->hl_viewDidAppear();
    removeRetiredViews();
}

void HLNavigationController::removeRetiredViews()
{
    for (const auto& c : retired_) {
        if (c == currentViewController_)
            continue;
        if (gtk_widget_get_parent(c->view()) == view())
            gtk_stack_remove(stack_.get(), c->view());
    }
    retired_.clear();
}

bool HLNavigationController::resizeWindowIfNeededForViewController(const ControllerPtr& controller, bool)
{
    GtkWindow* w = window();
    if (!w || !controller)
        return false;
    const HLSize min = controller->viewMinSize();
    if (min.isZero())
        return false;
    const int containerWidth = gtk_widget_get_width(view());
    const int containerHeight = gtk_widget_get_height(view());
    if (!controller->forceResize() && containerWidth > min.width && containerHeight > min.height)
        return false;
    // The window keeps what lies around the container (sidebar, header bar).
    const int windowWidth = gtk_widget_get_width(GTK_WIDGET(w));
    const int windowHeight = gtk_widget_get_height(GTK_WIDGET(w));
    const int width = int(min.width) + std::max(0, windowWidth - containerWidth);
    const int height = int(min.height) + std::max(0, windowHeight - containerHeight);
    gtk_window_set_default_size(w, width, height);
    gtk_widget_set_size_request(GTK_WIDGET(w), width, height);
    return true;
}
