// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/AppDelegate.h"

#include "menus/OVMenuExporter.h"
#include "model/OVActionsManager.h"
#include "model/OVDefaultCatalogue.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/ProductPaths.h"
#include "platform/Translation.h"
#include "platform/Workspace.h"
#include "settings/OVAlert.h"
#include "settings/OVEditorModule.h"
#include "settings/OVMainWindowController.h"
#include "settings/OVStatusHelper.h"
#include "settings/OVWeakSignal.h"

namespace ovsettings {
namespace {

void releaseWeak(GtkWindow** slot)
{
    if (*slot)
        g_object_remove_weak_pointer(G_OBJECT(*slot), reinterpret_cast<gpointer*>(slot));
    *slot = nullptr;
}

void keepWeak(GtkWindow** slot, GtkWindow* window)
{
    releaseWeak(slot);
    *slot = window;
    if (window)
        g_object_add_weak_pointer(G_OBJECT(window), reinterpret_cast<gpointer*>(slot));
}

} // namespace

std::shared_ptr<AppDelegate> AppDelegate::create(GtkApplication* application, StoreProvider storeProvider,
                                                 std::shared_ptr<OVUserDefaults> defaults, StatusProvider statusProvider)
{
    std::shared_ptr<AppDelegate> delegate(
        new AppDelegate(application, std::move(storeProvider), std::move(defaults), std::move(statusProvider)));
    delegate->attach();
    return delegate;
}

AppDelegate::AppDelegate(GtkApplication* application, StoreProvider storeProvider, std::shared_ptr<OVUserDefaults> defaults,
                         StatusProvider statusProvider)
    : application_(application), storeProvider_(std::move(storeProvider)), defaults_(std::move(defaults)),
      statusProvider_(std::move(statusProvider))
{
}

AppDelegate::~AppDelegate()
{
    if (store_)
        store_->setSaveFailureHandler({});
    releaseWeak(&databaseErrorAlert_);
    releaseWeak(&saveFailureAlert_);
}

void AppDelegate::attach()
{
    if (!application_)
        return;
    const std::weak_ptr<AppDelegate> weak = weak_from_this();
    connectWeak(application_, "startup", G_CALLBACK(+[](GApplication*, gpointer data) {
        withTarget<AppDelegate>(data, "the application's start", [](AppDelegate& d) {
            d.installCommands();
            d.applicationWillFinishLaunching();
        });
    }), weak);
    connectWeak(application_, "activate", G_CALLBACK(+[](GApplication*, gpointer data) {
        withTarget<AppDelegate>(data, "the application's activation", [](AppDelegate& d) { d.activated(); });
    }), weak);
    connectWeak(application_, "shutdown", G_CALLBACK(+[](GApplication*, gpointer data) {
        withTarget<AppDelegate>(data, "the application's end", [](AppDelegate& d) { d.applicationWillTerminate(); });
    }), weak);
}

void AppDelegate::installCommands()
{
    const std::weak_ptr<AppDelegate> weak = weak_from_this();
    GActionMap* map = G_ACTION_MAP(application_);
    addCommand(map, "about", weak, &AppDelegate::openAbout);
    addCommand(map, "preferences", weak, &AppDelegate::openPreferences);
    addCommand(map, "quit", weak, &AppDelegate::quitApp);
    const char* preferencesAccels[] = {"<Control>comma", nullptr};
    gtk_application_set_accels_for_action(application_, "app.preferences", preferencesAccels);
    const char* quitAccels[] = {"<Control>q", nullptr};
    gtk_application_set_accels_for_action(application_, "app.quit", quitAccels);
    const char* closeAccels[] = {"<Control>w", nullptr};
    gtk_application_set_accels_for_action(application_, "window.close", closeAccels);
}

// A unique application is activated at launch and again each time it is opened while running:
// the first time finishes the launch, later ones reopen.
void AppDelegate::activated()
{
    if (!didFinishLaunching_) {
        applicationDidFinishLaunching();
    } else if (mainWindowController_) {
        applicationShouldHandleReopen(gtk_widget_get_visible(GTK_WIDGET(mainWindowController_->window())));
    }
    applicationDidBecomeActive();
}

void AppDelegate::applicationWillFinishLaunching()
{
    store_ = storeProvider_ ? storeProvider_() : nullptr;
    if (!store_) {
        loadFailed_ = true;
        showDatabaseError();
        return;
    }
    const std::weak_ptr<AppDelegate> weak = weak_from_this();
    store_->setSaveFailureHandler([weak](const std::string& error) {
        if (auto self = weak.lock())
            ov::guarded("a failed save", [&] { self->showSaveFailure(error); });
    });
    // The application stays when its window closes.
    if (application_ && !holding_) {
        g_application_hold(G_APPLICATION(application_));
        holding_ = true;
    }
    setDockIconVisible(true);
}

void AppDelegate::generateDefaultsIfNeeded()
{
    OVDefaultCatalogue(store_, defaults_).generateDefaultsIfNeeded();
}

void AppDelegate::applicationDidFinishLaunching()
{
    // Nothing of the launch goes on without a store.
    if (loadFailed_ || !store_ || didFinishLaunching_)
        return;
    didFinishLaunching_ = true;
    generateDefaultsIfNeeded();
    if (statusProvider_)
        statusHelper_ = statusProvider_();
    // While the application runs, the menus exported to other file managers follow its edits even
    // where the session's own watcher does not run (an uninstalled build). Its first refresh reads
    // the store and the preferences again: after the window, not before it.
    if (application_) {
        const std::weak_ptr<AppDelegate> weakSelf = weak_from_this();
        ov::runOnNextTurn([weakSelf] {
            if (auto self = weakSelf.lock())
                ov::guarded("watching the exported menus", [&] { self->exportWatcher_ = OVMenuExporter::Watcher::create(); });
        });
    }
    mainWindowController_ = HLWindowController::controller<OVMainWindowController>(store_, defaults_, statusHelper_);
    if (application_ && g_application_get_is_registered(G_APPLICATION(application_)))
        gtk_window_set_application(mainWindowController_->window(), application_);
    const std::weak_ptr<AppDelegate> weak = weak_from_this();
    mainWindowController_->setDidCloseHandler([weak] {
        if (auto self = weak.lock())
            self->setDockIconVisible(false);
    });
    if (canShowMainWindow()) {
        mainWindowController_->showWindow();
        showWindow();
    }
    setDockIconVisible(true);
}

void AppDelegate::forceRestartExtension()
{
    if (statusHelper_)
        statusHelper_->forceRestart();
}

void AppDelegate::showWindow()
{
    forceRestartExtension();
    mainWindowController_->actuallyShowWindow();
}

void AppDelegate::applicationDidBecomeActive()
{
    if (loadFailed_)
        return;
    setDockIconVisible(true);
    if (!hasLaunched_) {
        // The launch itself showed the window.
        hasLaunched_ = true;
        return;
    }
    if (mainWindowController_ && canShowMainWindow())
        mainWindowController_->actuallyShowWindow();
}

bool AppDelegate::applicationShouldHandleReopen(bool)
{
    if (!mainWindowController_ || !canShowMainWindow())
        return false;
    GtkWindow* window = mainWindowController_->window();
    if (GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(window)); surface && GDK_IS_TOPLEVEL(surface)
        && (gdk_toplevel_get_state(GDK_TOPLEVEL(surface)) & GDK_TOPLEVEL_STATE_MINIMIZED))
        gtk_window_unminimize(window);
    if (gtk_widget_get_visible(GTK_WIDGET(window)))
        mainWindowController_->actuallyShowWindow();
    return false;
}

void AppDelegate::applicationWillTerminate()
{
    // A forced restart must not leave the extension ignored because the application quit in its gap.
    if (statusHelper_)
        statusHelper_->applicationWillTerminate();
    if (!store_)
        return;
    // A name or a script still being typed is part of what the user did.
    if (mainWindowController_)
        mainWindowController_->editorModule()->flushPendingChanges(true);
    // At once: a delayed save would never happen once the process is gone.
    store_->actuallySave();
}

void AppDelegate::openAbout() { openModule(OVMainWindowController::kAboutRow); }

void AppDelegate::openPreferences() { openModule(OVMainWindowController::kPreferencesRow); }

void AppDelegate::openModule(int row)
{
    if (!mainWindowController_ || !canShowMainWindow()) {
        if (GdkDisplay* display = gdk_display_get_default())
            gdk_display_beep(display);
        return;
    }
    mainWindowController_->selectModuleAtRow(row);
    mainWindowController_->actuallyShowWindow();
}

void AppDelegate::quitApp() { terminate(); }

void AppDelegate::terminate()
{
    terminationRequested_ = true;
    if (application_)
        g_application_quit(G_APPLICATION(application_));
}

std::string AppDelegate::supportURL()
{
    // share/orvane's sibling share/doc/orvane, in the build tree as installed.
    const std::string readme = ov::pathByAppending(ov::deletingLastPathComponent(ov::resourcesPath()), "doc/orvane/README.md");
    ov::GCharPtr uri(g_filename_to_uri(readme.c_str(), nullptr, nullptr));
    return uri ? std::string(uri.get()) + "#help" : std::string();
}

void AppDelegate::showDatabaseError()
{
    OVAlertRequest request;
    request.messageText = _("Error Loading Actions Database");
    request.informativeText = _("There was an error loading the Orvane actions database.");
    request.buttons = {_("Contact Support"), _("Quit")};
    request.cancelButton = 1;
    // Keeps the application while the alert is up, whatever windows it has.
    if (application_)
        g_application_hold(G_APPLICATION(application_));
    const std::weak_ptr<AppDelegate> weak = weak_from_this();
    GtkApplication* application = application_;
    GtkWindow* alert = beginAlert(nullptr, application_, request, [weak, application](int response, bool) {
        const auto finish = [weak, application] {
            if (auto self = weak.lock())
                self->terminate();
            if (application)
                g_application_release(G_APPLICATION(application));
        };
        if (response == 0) {
            // Quit only once the help page has been handed over.
            ov::openURI(supportURL(), [finish](bool, const std::string&) { finish(); });
            return;
        }
        finish();
    });
    keepWeak(&databaseErrorAlert_, alert);
}

void AppDelegate::showSaveFailure(const std::string& error)
{
    if (saveFailureAlert_) // one is enough until it is answered
        return;
    OVAlertRequest request;
    request.messageText = _("Could Not Save the Actions");
    request.informativeText = ov::stringPrintf(_("Orvane could not write its list of actions (%s). Your changes are kept "
                                                 "while Orvane runs and are saved again with your next change."),
                                               error.c_str());
    request.buttons = {_("Okay")};
    request.cancelButton = 0;
    GtkWindow* parent = mainWindowController_ ? mainWindowController_->window() : nullptr;
    if (parent && !gtk_widget_get_visible(GTK_WIDGET(parent)))
        parent = nullptr;
    keepWeak(&saveFailureAlert_, beginAlert(parent, application_, request, [](int, bool) {}));
}

} // namespace ovsettings
