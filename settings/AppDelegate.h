// SPDX-License-Identifier: GPL-3.0-or-later
// The settings application's delegate: the launch sequence, the database error alert, the main
// window, activation and reopening, the menu commands and saving on quit.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>

class OVActionsManager;
class OVMainWindowController;
class OVStatusHelper;
namespace OVMenuExporter {
class Watcher;
}
class OVUserDefaults;

namespace ovsettings {

class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
public:
    // Where the store comes from (the process's shared store in the program).
    using StoreProvider = std::function<std::shared_ptr<OVActionsManager>()>;
    // The extension status logic (the process's shared one in the program); none leaves the
    // extension alone and the status page waiting.
    using StatusProvider = std::function<std::shared_ptr<OVStatusHelper>()>;

    // application may be null (tests drive the delegate directly); otherwise its startup,
    // activate and shutdown signals run the delegate, and it gets the menu commands as actions.
    static std::shared_ptr<AppDelegate> create(GtkApplication* application, StoreProvider storeProvider,
                                               std::shared_ptr<OVUserDefaults> defaults,
                                               StatusProvider statusProvider = {});
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Platform entry points.
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    void applicationDidBecomeActive();
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    void applicationWillTerminate();

    // Menu commands.
    void openAbout();
    void openPreferences();
    void quitApp();

    void setDockIconVisible(bool visible) { dockIconVisible_ = visible; }
    bool dockIconVisible() const { return dockIconVisible_; }

    bool hasLaunched() const { return hasLaunched_; }
    bool didFinishLaunching() const { return didFinishLaunching_; }
    bool terminationRequested() const { return terminationRequested_; }
    const std::shared_ptr<OVActionsManager>& store() const { return store_; }
    const std::shared_ptr<OVMainWindowController>& mainWindowController() const { return mainWindowController_; }
    // The alert shown when the store cannot be loaded, while it is up.
    GtkWindow* databaseErrorAlert() const { return databaseErrorAlert_; }

    // The README's help section in the installed documentation.
    static std::string supportURL();

private:
    AppDelegate(GtkApplication* application, StoreProvider storeProvider, std::shared_ptr<OVUserDefaults> defaults,
                StatusProvider statusProvider);
    void attach();
    void installCommands();
    void activated();

    // The first-run catalogue: default actions that are missing, then a save.
    void generateDefaultsIfNeeded();
    // Restarts the file-manager extension (the extension status logic's forced restart).
    void forceRestartExtension();
    // The delegate's part of showing the window at launch.
    void showWindow();
    bool canShowMainWindow() const { return true; }
    void openModule(int row);
    void showDatabaseError();
    void showSaveFailure(const std::string& error);
    void terminate();

    GtkApplication* application_ = nullptr; // not owned: the application owns its delegate's run
    StoreProvider storeProvider_;
    std::shared_ptr<OVUserDefaults> defaults_;
    StatusProvider statusProvider_;
    std::shared_ptr<OVStatusHelper> statusHelper_;
    std::shared_ptr<OVActionsManager> store_;
    std::shared_ptr<OVMainWindowController> mainWindowController_;
    std::unique_ptr<OVMenuExporter::Watcher> exportWatcher_;
    GtkWindow* databaseErrorAlert_ = nullptr; // weak
    GtkWindow* saveFailureAlert_ = nullptr;   // weak
    bool hasLaunched_ = false;
    bool didFinishLaunching_ = false;
    bool loadFailed_ = false;
    bool holding_ = false;
    bool dockIconVisible_ = false;
    bool terminationRequested_ = false;
};

} // namespace ovsettings
