#include "settings/OVStatusModule.h"

#include "platform/MainContext.h"
#include "settings/OVStatusHelper.h"
#include "settings/OVWeakSignal.h"

OVStatusModule::OVStatusModule(std::shared_ptr<OVStatusHelper> statusHelper) : statusHelper_(std::move(statusHelper))
{
    setModuleTitle("Orvane");
    setModuleImage(OVImage::named("icon-orvane"));
    setModuleIsResizable(false);
    setViewMinSize({480, 400});
}

OVStatusModule::~OVStatusModule()
{
    if (statusHelper_ && observerToken_)
        statusHelper_->removeIsEnabledObserver(observerToken_);
}

void OVStatusModule::hl_viewDidLoad()
{
    const std::weak_ptr<OVStatusModule> weak = std::static_pointer_cast<OVStatusModule>(shared_from_this());
    for (GtkButton* button : {turnOnButton(), turnOffButton()}) {
        ovsettings::connectWeak(button, "clicked", G_CALLBACK(+[](GtkButton* button, gpointer data) {
            ovsettings::withTarget<OVStatusModule>(data, "the extension switch",
                                                   [&](OVStatusModule& module) { module.toggleEnabled(button); });
        }), weak);
    }
    if (statusHelper_) {
        observerToken_ = statusHelper_->addIsEnabledObserver([weak](bool) {
            // Always a turn later: the answer may arrive in the middle of the logic's own work.
            ov::runOnNextTurn([weak] {
                if (auto self = weak.lock())
                    ov::guarded("the extension status", [&] { self->updateUI(); });
            });
        });
    }
    gtk_spinner_start(checkingProgressIndicator());
    setCurrentView(checkingView());
    if (statusHelper_)
        statusHelper_->checkEnabledWithCompletionHandler({});
}

void OVStatusModule::setCurrentView(GtkWidget* view)
{
    GtkBox* container = outlet<GtkBox>("containerView");
    if (currentView_ && gtk_widget_get_parent(currentView_) == GTK_WIDGET(container))
        gtk_box_remove(container, currentView_);
    currentView_ = view;
    if (!view)
        return;
    gtk_widget_set_hexpand(view, TRUE);
    gtk_widget_set_vexpand(view, TRUE);
    gtk_box_append(container, view);
}

void OVStatusModule::updateUI()
{
    isChecking_ = false;
    for (GtkSpinner* spinner : {checkingProgressIndicator(), enabledProgressIndicator(), disabledProgressIndicator()}) {
        gtk_spinner_stop(spinner);
        gtk_widget_set_visible(GTK_WIDGET(spinner), FALSE);
    }
    gtk_widget_set_visible(GTK_WIDGET(turnOnButton()), TRUE);
    gtk_widget_set_visible(GTK_WIDGET(turnOffButton()), TRUE);
    const bool enabled = statusHelper_ && statusHelper_->isEnabled();
    setCurrentView(enabled ? enabledView() : disabledView());
}

void OVStatusModule::toggleEnabled(GtkButton* sender)
{
    if (isChecking_)
        return;
    isChecking_ = true;
    for (GtkSpinner* spinner : {enabledProgressIndicator(), disabledProgressIndicator()}) {
        gtk_widget_set_visible(GTK_WIDGET(spinner), TRUE);
        gtk_spinner_start(spinner);
    }
    if (sender)
        gtk_widget_set_visible(GTK_WIDGET(sender), FALSE);
    // The switch waits for the registry: let the page show the spinner first.
    const std::weak_ptr<OVStatusModule> weak = std::static_pointer_cast<OVStatusModule>(shared_from_this());
    ov::runOnNextTurn([weak] {
        if (auto self = weak.lock(); self && self->statusHelper_)
            ov::guarded("switching the extension", [&] { self->statusHelper_->toggleEnabled(); });
    });
}
