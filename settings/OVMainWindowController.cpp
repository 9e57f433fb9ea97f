// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVMainWindowController.h"

#include "model/OVActionsManager.h"
#include "model/OVUserDefaults.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/Translation.h"
#include "settings/OVAlert.h"
#include "settings/OVAppDefaults.h"
#include "settings/OVEditorModule.h"
#include "settings/OVImageIcon.h"
#include "settings/OVModuleSwitch.h"
#include "settings/OVStatusModule.h"
#include "settings/OVTableRows.h"
#include "settings/OVWeakSignal.h"
#include "settings/RZAboutModule.h"
#include "settings/RZPreferencesModule.h"

#include <algorithm>

OVMainWindowController::OVMainWindowController(std::shared_ptr<OVActionsManager> store,
                                               std::shared_ptr<OVUserDefaults> defaults,
                                               std::shared_ptr<OVStatusHelper> statusHelper)
    : store_(std::move(store)), defaults_(std::move(defaults)), statusHelper_(std::move(statusHelper))
{
}

OVMainWindowController::~OVMainWindowController()
{
    if (quitAlert_)
        g_object_remove_weak_pointer(G_OBJECT(quitAlert_), reinterpret_cast<gpointer*>(&quitAlert_));
}

void OVMainWindowController::hl_viewDidLoad()
{
    modules_ = {
        HLViewController::controller<OVStatusModule>(statusHelper_),
        HLViewController::controller<OVEditorModule>(store_, defaults_),
        HLViewController::controller<RZPreferencesModule>(defaults_),
        HLViewController::controller<RZAboutModule>(),
    };
    gtk_window_set_title(window(), kApplicationName);
    loadSidebar();
    selectModuleAtRow(kStatusRow);
    // The first page was sized before the window had a surface and knew its borders.
    const std::weak_ptr<OVMainWindowController> weak =
        std::static_pointer_cast<OVMainWindowController>(shared_from_this());
    ovsettings::connectWeak(window(), "map", G_CALLBACK(+[](GtkWidget*, gpointer data) {
        ovsettings::withTarget<OVMainWindowController>(data, "showing the window", [](OVMainWindowController& c) {
            if (!c.sizedOnScreen_ && c.currentModule_) {
                c.sizedOnScreen_ = true;
                c.resizeWindowIfNeededForViewController(c.currentModule_, false);
            }
        });
    }), weak);
}

std::shared_ptr<OVEditorModule> OVMainWindowController::editorModule() const
{
    return std::static_pointer_cast<OVEditorModule>(modules_.at(kEditorRow));
}

std::shared_ptr<RZPreferencesModule> OVMainWindowController::preferencesModule() const
{
    return std::static_pointer_cast<RZPreferencesModule>(modules_.at(kPreferencesRow));
}

std::shared_ptr<OVStatusModule> OVMainWindowController::statusModule() const
{
    return std::static_pointer_cast<OVStatusModule>(modules_.at(kStatusRow));
}

void OVMainWindowController::loadSidebar()
{
    for (const auto& module : modules_) {
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 10);
        gtk_widget_set_margin_top(box, 4);
        gtk_widget_set_margin_bottom(box, 4);
        GtkWidget* image = gtk_image_new();
        ovsettings::setImage(GTK_IMAGE(image), module->moduleImage());
        GtkWidget* label = gtk_label_new(module->moduleTitle().c_str());
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_box_append(GTK_BOX(box), image);
        gtk_box_append(GTK_BOX(box), label);
        gtk_list_box_append(tableView(), box);
        ovsettings::setAccessibleLabel(gtk_widget_get_parent(box), module->moduleTitle());
    }
    const std::weak_ptr<OVMainWindowController> weak =
        std::static_pointer_cast<OVMainWindowController>(shared_from_this());
    ovsettings::connectWeak(tableView(), "row-selected", G_CALLBACK(+[](GtkListBox*, GtkListBoxRow* row, gpointer data) {
        ovsettings::withTarget<OVMainWindowController>(data, "the sidebar", [&](OVMainWindowController& c) {
            const int index = row ? gtk_list_box_row_get_index(row) : -1;
            if (index >= 0 && std::size_t(index) < c.modules_.size())
                c.setCurrentModule(c.modules_[std::size_t(index)]);
        });
    }), weak);
}

void OVMainWindowController::selectModuleAtRow(int row)
{
    if (GtkListBoxRow* r = gtk_list_box_get_row_at_index(tableView(), row))
        gtk_list_box_select_row(tableView(), r);
}

void OVMainWindowController::setCurrentModule(const ModulePtr& module)
{
    if (!module || module == currentModule_)
        return;
    ModulePtr old = std::exchange(currentModule_, module);
    if (old && old->moduleIsResizable() && gtk_widget_get_width(old->view()) > 0)
        lastSizes_[old.get()] = {gtk_widget_get_width(old->view()), gtk_widget_get_height(old->view())};
    ovsettings::switchModule(GTK_BOX(moduleContentView()), old, module, [&] {
        module->setParentWindow(window());
        module->setParentWindowController(this);
        gtk_window_set_resizable(window(), module->moduleIsResizable());
        if (!gtk_window_is_fullscreen(window()))
            resizeWindowIfNeededForViewController(module, true);
    });

    const std::string& title = !module->moduleWindowTitle().empty() ? module->moduleWindowTitle() : module->moduleTitle();
    if (!title.empty())
        gtk_window_set_title(window(), title.c_str());
}

OVMainWindowController::Size OVMainWindowController::windowSizeWithController(const ModulePtr& module) const
{
    if (!module)
        return {};
    Size moduleSize{int(module->viewMinSize().width), int(module->viewMinSize().height)};
    if (moduleSize.width == 0 && moduleSize.height == 0) {
        if (auto it = lastSizes_.find(module.get()); it != lastSizes_.end()) {
            moduleSize = it->second;
        } else {
            int minimum = 0, natural = 0;
            gtk_widget_measure(module->view(), GTK_ORIENTATION_HORIZONTAL, -1, &minimum, &natural, nullptr, nullptr);
            moduleSize.width = natural;
            gtk_widget_measure(module->view(), GTK_ORIENTATION_VERTICAL, natural, &minimum, &natural, nullptr, nullptr);
            moduleSize.height = natural;
        }
    }
    if (moduleSize.width == 0 && moduleSize.height == 0)
        return {};
    // What lies around the module area (sidebar, header bar) stays as it is.
    int aroundWidth = 0, aroundHeight = 0;
    GtkWidget* root = GTK_WIDGET(window());
    graphene_rect_t area;
    if (gtk_widget_get_width(moduleContentView()) > 0 && gtk_widget_compute_bounds(moduleContentView(), root, &area)) {
        aroundWidth = gtk_widget_get_width(root) - int(area.size.width);
        aroundHeight = gtk_widget_get_height(root) - int(area.size.height);
    } else {
        // Not laid out yet: the sidebar's and the header's own sizes.
        int minimum = 0, natural = 0;
        gtk_widget_measure(GTK_WIDGET(outlet("sidebar")), GTK_ORIENTATION_HORIZONTAL, -1, &minimum, &natural, nullptr, nullptr);
        aroundWidth = natural + 1; // and the separator
        gtk_widget_measure(GTK_WIDGET(outlet("headerBar")), GTK_ORIENTATION_VERTICAL, -1, &minimum, &natural, nullptr, nullptr);
        aroundHeight = natural;
    }
    return {moduleSize.width + aroundWidth, moduleSize.height + aroundHeight};
}

bool OVMainWindowController::resizeWindowIfNeededForViewController(const ModulePtr& module, bool)
{
    // Windows here cannot be moved by the program; the window manager keeps their place.
    Size size = windowSizeWithController(module);
    if (size.width <= 0 || size.height <= 0)
        return false;
    // Never larger than the screen: the pages scroll instead.
    if (const Room room = roomOnScreen(); room.width > 0 && room.height > 0) {
        size.width = std::min(size.width, room.width);
        size.height = std::min(size.height, room.height);
    }
    // The default size is the surface's, which also holds the resize border around the window.
    int borderWidth = 0, borderHeight = 0;
    GtkWidget* root = GTK_WIDGET(window());
    if (GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(window())); surface && gtk_widget_get_width(root) > 0) {
        borderWidth = std::max(0, gdk_surface_get_width(surface) - gtk_widget_get_width(root));
        borderHeight = std::max(0, gdk_surface_get_height(surface) - gtk_widget_get_height(root));
    }
    gtk_window_set_default_size(window(), size.width + borderWidth, size.height + borderHeight);
    return true;
}

void OVMainWindowController::actuallyShowWindow()
{
    if (currentModule_)
        currentModule_->hl_viewWillAppear();
    gtk_window_present(window());
    if (currentModule_)
        currentModule_->hl_viewDidAppear();
}

void OVMainWindowController::setDockIconVisible(bool visible) { dockIconVisible_ = visible; }

bool OVMainWindowController::windowShouldClose()
{
    if (OVAppDefaults::standardUserDefaults()->suppressQuitAlert()) {
        closeToBackground();
        return true;
    }
    if (quitAlert_)
        return false;
    ovsettings::OVAlertRequest request;
    request.messageText = ov::stringPrintf(_("%s will continue to run in the background"), kApplicationName);
    request.buttons = {_("Okay")};
    request.showsSuppressionButton = true;
    request.cancelButton = 0;
    const std::weak_ptr<OVMainWindowController> weak =
        std::static_pointer_cast<OVMainWindowController>(shared_from_this());
    quitAlert_ = ovsettings::beginAlert(window(), nullptr, request, [weak](int, bool suppress) {
        auto self = weak.lock();
        if (!self)
            return;
        if (suppress)
            OVAppDefaults::standardUserDefaults()->setSuppressQuitAlert(true);
        gtk_widget_set_visible(GTK_WIDGET(self->window()), FALSE);
        self->closeToBackground();
    });
    g_object_add_weak_pointer(G_OBJECT(quitAlert_), reinterpret_cast<gpointer*>(&quitAlert_));
    return false;
}

void OVMainWindowController::closeToBackground()
{
    setDockIconVisible(false);
    if (didClose_)
        didClose_();
}
