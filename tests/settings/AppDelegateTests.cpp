// SPDX-License-Identifier: GPL-3.0-or-later
// The settings application's launch, activation, commands and quitting.
#include "SettingsTestSupport.h"

#include "platform/Workspace.h"
#include "settings/AppDelegate.h"
#include "settings/OVAppDefaults.h"
#include "settings/OVEditorModule.h"
#include "settings/OVMainWindowController.h"
#include "settings/RZPreferencesModule.h"

#include <filesystem>

namespace {

using ovsettings::AppDelegate;

class Launch : public settingstest::SettingsTest {
protected:
    void TearDown() override
    {
        if (delegate_ && delegate_->mainWindowController())
            delegate_->mainWindowController()->close();
        delegate_.reset();
        ov::setWorkspaceRecorder(std::nullopt);
        SettingsTest::TearDown();
    }

    std::shared_ptr<AppDelegate> launch()
    {
        delegate_ = AppDelegate::create(nullptr, &OVActionsManager::create, defaults_);
        delegate_->applicationWillFinishLaunching();
        delegate_->applicationDidFinishLaunching();
        return delegate_;
    }

    static bool windowShown(const AppDelegate& d)
    {
        return d.mainWindowController() && gtk_widget_get_visible(GTK_WIDGET(d.mainWindowController()->window()));
    }

    std::shared_ptr<AppDelegate> delegate_;
};

TEST_F(Launch, AStoreThatCannotLoadShowsTheErrorAlertGoesNoFurtherAndWritesNothing)
{
    const std::string storePath = OVActionsManager::saveURL();
    home_->writeFile("data/ORVANE.app.orvane.Orvane/Actions.plist", "bplist00 but nothing an archive holds");
    const std::string before = ovtest::readAll(storePath);
    std::vector<std::string> opened;
    ov::setWorkspaceRecorder(ov::WorkspaceRecorder{[&](const std::string& call, const std::vector<std::string>& args) {
        opened.push_back(call + " " + (args.empty() ? "" : args.front()));
    }});
    const auto configBefore = std::distance(std::filesystem::directory_iterator(home_->configHome()), {});

    auto d = launch();
    AdwMessageDialog* alert = waitForAlert("Error Loading Actions Database");
    ASSERT_TRUE(alert);
    EXPECT_STREQ(adw_message_dialog_get_body(alert), "There was an error loading the Orvane actions database.");
    EXPECT_STREQ(adw_message_dialog_get_response_label(alert, "0"), "Contact Support");
    EXPECT_STREQ(adw_message_dialog_get_response_label(alert, "1"), "Quit");
    d->applicationDidBecomeActive();
    EXPECT_EQ(d->mainWindowController(), nullptr);
    EXPECT_FALSE(d->terminationRequested());

    answer(alert, 0);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return d->terminationRequested(); }));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened.front(), "openURI " + AppDelegate::supportURL());
    const std::string readme = AppDelegate::supportURL();
    ASSERT_EQ(readme.rfind("file://", 0), 0u);
    EXPECT_EQ(readme.substr(readme.size() - 15), "/README.md#help") << readme;
    ov::GCharPtr readmePath(g_filename_from_uri(readme.substr(0, readme.size() - 5).c_str(), nullptr, nullptr));
    EXPECT_NE(ovtest::readAll(readmePath.get()).find("## Help"), std::string::npos);

    d->applicationWillTerminate();
    settle();
    EXPECT_EQ(ovtest::readAll(storePath), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home_->configHome()), {}), configBefore);
}

TEST_F(Launch, TheWindowComesBackOnLaterActivationsButNotTheFirst)
{
    makeStore(2);
    OVAppDefaults::standardUserDefaults()->setSuppressQuitAlert(true);
    auto d = launch();
    ASSERT_TRUE(windowShown(*d));
    EXPECT_TRUE(d->dockIconVisible());
    EXPECT_FALSE(d->hasLaunched());
    EXPECT_EQ(countAlerts(), 0);

    // The preferences page re-reads its boxes only when the window is brought forward.
    auto c = d->mainWindowController();
    c->selectModuleAtRow(OVMainWindowController::kPreferencesRow);
    auto page = c->preferencesModule();
    EXPECT_TRUE(gtk_check_button_get_active(page->submenuCheckbox()));
    OVUserDefaults::create()->setUseSubmenu(false);
    d->applicationDidBecomeActive();
    EXPECT_TRUE(d->hasLaunched());
    EXPECT_TRUE(gtk_check_button_get_active(page->submenuCheckbox()));
    d->applicationDidBecomeActive();
    EXPECT_FALSE(gtk_check_button_get_active(page->submenuCheckbox()));

    // Closed to the background, then opened again.
    gtk_window_close(c->window());
    settle();
    EXPECT_FALSE(windowShown(*d));
    EXPECT_FALSE(d->dockIconVisible());
    EXPECT_FALSE(d->applicationShouldHandleReopen(false));
    d->applicationDidBecomeActive();
    EXPECT_TRUE(windowShown(*d));
    EXPECT_TRUE(d->dockIconVisible());

    // The menu commands select their page and bring the window forward.
    gtk_window_close(c->window());
    settle();
    d->openAbout();
    EXPECT_TRUE(windowShown(*d));
    EXPECT_EQ(c->currentModule(), c->modules()[OVMainWindowController::kAboutRow]);
    d->openPreferences();
    EXPECT_EQ(c->currentModule(), c->modules()[OVMainWindowController::kPreferencesRow]);
}

TEST_F(Launch, QuittingAppliesTheNameBeingTypedAndSavesAtOnce)
{
    makeStore(2);
    auto d = launch();
    auto c = d->mainWindowController();
    c->selectModuleAtRow(OVMainWindowController::kEditorRow);
    auto editor = c->editorModule();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return editor->nameLabelAt(1) != nullptr; }));
    editor->selectRows({1});
    editor->editDisplayName();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return editor->isEditingName(1); }));
    gtk_editable_set_text(GTK_EDITABLE(editor->nameFieldAt(1)), "Typed, never confirmed");

    d->quitApp();
    EXPECT_TRUE(d->terminationRequested());
    d->applicationWillTerminate(); // what the application's shutdown runs
    // No turn of the loop: the process may be gone after this.
    EXPECT_EQ(savedTitles(2), (std::vector<std::string>{"Action 0", "Typed, never confirmed"}));
}

// The application's own signals and commands, run for real: startup, activation, the menu
// commands with their shortcuts, and quitting through its shutdown.
TEST_F(Launch, TheApplicationRunsTheDelegateFromStartToShutdown)
{
    makeStore(2);
    OVAppDefaults::standardUserDefaults()->setSuppressQuitAlert(true);
    // No session bus: the application then runs on its own instead of starting one.
    const std::string oldBus = g_getenv("DBUS_SESSION_BUS_ADDRESS") ? g_getenv("DBUS_SESSION_BUS_ADDRESS") : "";
    g_setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", TRUE);
    ov::GRef<AdwApplication> app(adw_application_new("app.orvane.Orvane.Test", G_APPLICATION_NON_UNIQUE));
    delegate_ = AppDelegate::create(GTK_APPLICATION(app.get()), &OVActionsManager::create, defaults_);

    struct Run {
        AppDelegate* d;
        GApplication* app;
        int step = 0;
        int ticks = 0;
        bool finished = false; // the timer has removed itself
        std::vector<std::string> failures;
    } run{delegate_.get(), G_APPLICATION(app.get())};
    const guint timer = g_timeout_add(20, [](gpointer data) -> gboolean {
        auto* r = static_cast<Run*>(data);
        auto c = r->d->mainWindowController();
        const auto shown = [&] { return c && gtk_widget_get_visible(GTK_WIDGET(c->window())); };
        if (++r->ticks > 250) { // five seconds
            r->failures.push_back("stuck at step " + std::to_string(r->step));
            g_application_quit(r->app);
            r->finished = true;
            return G_SOURCE_REMOVE;
        }
        if (r->step == 0 && shown()) {
            if (gtk_window_get_application(c->window()) != GTK_APPLICATION(r->app))
                r->failures.push_back("the window does not belong to the application");
            gtk_window_close(c->window()); // to the background: the application stays
            r->step = 1;
        } else if (r->step == 1 && !shown()) {
            g_application_activate(r->app); // opened again
            r->step = 2;
        } else if (r->step == 2 && shown()) {
            g_action_group_activate_action(G_ACTION_GROUP(r->app), "preferences", nullptr);
            if (c->currentModule() != c->modules()[OVMainWindowController::kPreferencesRow])
                r->failures.push_back("preferences did not show its page");
            c->selectModuleAtRow(OVMainWindowController::kEditorRow);
            auto editor = c->editorModule();
            editor->selectRows({0});
            editor->editDisplayName();
            r->step = 3;
        } else if (r->step == 3 && c->editorModule()->isEditingName(0)) {
            gtk_editable_set_text(GTK_EDITABLE(c->editorModule()->nameFieldAt(0)), "Typed before quitting");
            g_action_group_activate_action(G_ACTION_GROUP(r->app), "quit", nullptr);
            r->finished = true;
            return G_SOURCE_REMOVE;
        }
        return G_SOURCE_CONTINUE;
    }, &run);
    const int status = g_application_run(G_APPLICATION(app.get()), 0, nullptr);
    if (!run.finished)
        g_source_remove(timer);
    g_setenv("DBUS_SESSION_BUS_ADDRESS", oldBus.c_str(), TRUE);
    if (oldBus.empty())
        g_unsetenv("DBUS_SESSION_BUS_ADDRESS");

    EXPECT_EQ(status, 0);
    EXPECT_TRUE(run.failures.empty()) << run.failures.front();
    EXPECT_EQ(run.step, 3);
    EXPECT_TRUE(delegate_->hasLaunched());
    ov::GCharPtr quit(g_strjoinv(",", gtk_application_get_accels_for_action(GTK_APPLICATION(app.get()), "app.quit")));
    ov::GCharPtr preferences(g_strjoinv(",", gtk_application_get_accels_for_action(GTK_APPLICATION(app.get()), "app.preferences")));
    EXPECT_STREQ(quit.get(), "<Control>q");
    EXPECT_STREQ(preferences.get(), "<Control>comma");
    // The shutdown applied the open rename and saved.
    EXPECT_EQ(savedTitles(2), (std::vector<std::string>{"Typed before quitting", "Action 1"}));
}

TEST_F(Launch, ASaveThatFailsIsReportedOnce)
{
    auto store = makeStore(1);
    auto d = launch();
    // A folder where the file should be: the atomic rename over it fails.
    std::filesystem::remove(OVActionsManager::saveURL());
    std::filesystem::create_directory(OVActionsManager::saveURL());
    d->store()->save();
    d->store()->save();
    AdwMessageDialog* alert = waitForAlert("Could Not Save the Actions");
    ASSERT_TRUE(alert);
    EXPECT_NE(std::string(adw_message_dialog_get_body(alert)).find("Is a directory"), std::string::npos);
    d->store()->actuallySave();
    settle();
    EXPECT_EQ(countAlerts(), 1);
    answer(alert, 0);
    EXPECT_EQ(countAlerts(), 0);
}

} // namespace
