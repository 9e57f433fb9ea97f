// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVStatusModule.h"

#include <adwaita.h>

#include "menus/OVMenuExporter.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/Translation.h"
#include "settings/OVAlert.h"
#include "settings/OVStatusHelper.h"
#include "settings/OVWeakSignal.h"

OVStatusModule::OVStatusModule(std::shared_ptr<OVStatusHelper> statusHelper) : statusHelper_(std::move(statusHelper))
{
    setModuleTitle("Orvane");
    setModuleImage(OVImage::named("icon-orvane"));
    setModuleIsResizable(false);
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
    updateFileManagers();
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
    // A status page scrolls by itself; here the page scrolls as a whole, with the file managers'
    // rows, so the status takes its full height instead of a scrolling box of its own.
    for (GtkWidget* child = gtk_widget_get_first_child(view); child; child = gtk_widget_get_next_sibling(child))
        if (GTK_IS_SCROLLED_WINDOW(child))
            gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(child), GTK_POLICY_NEVER, GTK_POLICY_NEVER);
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

void OVStatusModule::hl_viewWillAppear()
{
    updateFileManagers();
}

void OVStatusModule::updateFileManagers()
{
    auto* group = ADW_PREFERENCES_GROUP(fileManagersGroup());
    for (auto& [name, row] : fileManagerRows_)
        adw_preferences_group_remove(group, row);
    fileManagerRows_.clear();
    const std::weak_ptr<OVStatusModule> weak = std::static_pointer_cast<OVStatusModule>(shared_from_this());
    for (const auto& state : OVMenuExporter::fileManagerStates()) {
        GtkWidget* row = adw_action_row_new();
        adw_preferences_row_set_title(ADW_PREFERENCES_ROW(row), ov::stringPrintf(_("Also show in %s"), state.title.c_str()).c_str());
        GtkWidget* sw = gtk_switch_new();
        gtk_widget_set_valign(sw, GTK_ALIGN_CENTER);
        gtk_switch_set_active(GTK_SWITCH(sw), state.exported);
        g_object_set_data_full(G_OBJECT(sw), "file-manager", g_strdup(state.name.c_str()), g_free);
        adw_action_row_add_suffix(ADW_ACTION_ROW(row), sw);
        adw_action_row_set_activatable_widget(ADW_ACTION_ROW(row), sw);
        // Connected after the state is set: only the user's flips export.
        ovsettings::connectWeak(sw, "notify::active", G_CALLBACK(+[](GtkSwitch* sw, GParamSpec*, gpointer data) {
            ovsettings::withTarget<OVStatusModule>(data, "a file-manager switch",
                                                   [&](OVStatusModule& module) { module.fileManagerSwitched(sw); });
        }), weak);
        adw_preferences_group_add(group, row);
        fileManagerRows_.emplace_back(state.name, row);
    }
    gtk_widget_set_visible(GTK_WIDGET(group), !fileManagerRows_.empty());
    // Room for the status and every row where the screen has it; the page scrolls where not.
    const double rows = double(fileManagerRows_.size());
    setViewMinSize({480, fileManagerRows_.empty() ? 400 : 380 + 80 + 56 * rows});
}

GtkSwitch* OVStatusModule::fileManagerSwitch(const std::string& name) const
{
    for (const auto& [rowName, row] : fileManagerRows_)
        if (rowName == name)
            return GTK_SWITCH(adw_action_row_get_activatable_widget(ADW_ACTION_ROW(row)));
    return nullptr;
}

void OVStatusModule::fileManagerSwitched(GtkSwitch* sw)
{
    const char* name = static_cast<const char*>(g_object_get_data(G_OBJECT(sw), "file-manager"));
    const auto fileManager = name ? fileManagerNamed(name) : std::nullopt;
    if (!fileManager)
        return;
    const bool on = gtk_switch_get_active(sw);
    std::string error;
    const bool written = OVMenuExporter::setExportEnabled(*fileManager, on, &error);
    // The session's watcher left (or never started) while no export was on; from now on it keeps
    // the menu up to date after this window has closed, as it will from the next login.
    if (on)
        OVMenuExporter::startSessionWatcher();
    if (written)
        return;
    // The choice is kept: the files follow at the next change that can be written.
    ovsettings::OVAlertRequest request;
    request.messageText = _("Could Not Update the Other File Managers");
    request.informativeText = error;
    request.buttons = {_("Okay")};
    request.cancelButton = 0;
    ovsettings::beginAlert(parentWindow(), nullptr, request, [](int, bool) {});
}
