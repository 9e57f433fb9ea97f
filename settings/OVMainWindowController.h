// SPDX-License-Identifier: GPL-3.0-or-later
// The settings window: a sidebar of pages on the left, the selected page on the right. Closing it
// leaves the application running in the background.
#pragma once

#include "ui/HLModuleViewController.h"
#include "ui/HLWindowController.h"

#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class OVActionsManager;
class OVEditorModule;
class OVStatusHelper;
class OVStatusModule;
class OVUserDefaults;
class RZPreferencesModule;

class OVMainWindowController : public HLWindowController {
public:
    using ModulePtr = std::shared_ptr<HLModuleViewController>;
    enum Row : int { kStatusRow = 0, kEditorRow = 1, kPreferencesRow = 2, kAboutRow = 3 };
    static constexpr const char* kApplicationName = "Orvane";

    ~OVMainWindowController() override;
    std::vector<std::string> classHierarchy() const override { return {"OVMainWindowController", "HLWindowController"}; }

    void hl_viewDidLoad() override;
    bool windowShouldClose() override;

    const std::vector<ModulePtr>& modules() const { return modules_; }
    const ModulePtr& currentModule() const { return currentModule_; }
    std::shared_ptr<OVEditorModule> editorModule() const;
    std::shared_ptr<RZPreferencesModule> preferencesModule() const;
    std::shared_ptr<OVStatusModule> statusModule() const;

    // Selects the sidebar row, which shows its module.
    void selectModuleAtRow(int row);
    void setCurrentModule(const ModulePtr& module);
    // The current module's appearance hooks around bringing the window to the front.
    void actuallyShowWindow();

    // No Dock here: the state is kept, and it is what the application reports.
    void setDockIconVisible(bool visible);
    bool dockIconVisible() const { return dockIconVisible_; }
    // Told when the window closes to the background (the application's Dock state follows).
    void setDidCloseHandler(std::function<void()> handler) { didClose_ = std::move(handler); }

    // The window's content size for a module: its size plus what surrounds the module area.
    struct Size {
        int width = 0;
        int height = 0;
    };
    Size windowSizeWithController(const ModulePtr& module) const;
    bool resizeWindowIfNeededForViewController(const ModulePtr& module, bool animated);

    GtkListBox* tableView() const { return outlet<GtkListBox>("tableView"); }
    GtkWidget* contentView() const { return GTK_WIDGET(outlet("contentView")); }
    GtkWidget* moduleContentView() const { return GTK_WIDGET(outlet("moduleContentView")); }
    // The quit alert while it is shown.
    GtkWindow* quitAlert() const { return quitAlert_; }

protected:
    // Without a status helper the status page waits for an answer that never comes.
    OVMainWindowController(std::shared_ptr<OVActionsManager> store, std::shared_ptr<OVUserDefaults> defaults,
                           std::shared_ptr<OVStatusHelper> statusHelper = nullptr);
    friend class HLWindowController;

private:
    void loadSidebar();
    void closeToBackground();

    std::shared_ptr<OVActionsManager> store_;
    std::shared_ptr<OVUserDefaults> defaults_;
    std::shared_ptr<OVStatusHelper> statusHelper_;
    std::vector<ModulePtr> modules_;
    ModulePtr currentModule_;
    std::map<const HLModuleViewController*, Size> lastSizes_; // of resizable modules, as the user left them
    GtkWindow* quitAlert_ = nullptr; // weak
    bool dockIconVisible_ = false;
    bool sizedOnScreen_ = false;
    std::function<void()> didClose_;
};
