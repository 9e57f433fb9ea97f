// SPDX-License-Identifier: GPL-3.0-or-later
// The status page and the launch's use of the extension status logic, with the real plug-in
// registry tool in the test's own home; starting and quitting applications is only recorded.
#include "SettingsTestSupport.h"

#include "menus/OVMenuExporter.h"
#include "platform/Process.h"
#include "settings/AppDelegate.h"
#include "settings/OVAppDefaults.h"
#include "settings/OVMainWindowController.h"
#include "settings/OVStatusHelper.h"
#include "settings/OVStatusModule.h"

#include <algorithm>
#include <filesystem>

#include <sys/stat.h>

namespace {

const std::string kPluginKit = ORVANE_BINARY_DIR "/tools/orvane-pluginkit";
const std::string kExtension = "app.orvane.Orvane.extension";
const std::string kRunner = "app.orvane.Orvanehelper";

class StatusPage : public settingstest::SettingsTest {
protected:
    void TearDown() override
    {
        if (delegate_ && delegate_->mainWindowController())
            delegate_->mainWindowController()->close();
        delegate_.reset();
        module_.reset();
        helper_.reset();
        SettingsTest::TearDown();
    }

    // "ignore", "use", "quit ID", "open ID" in the order they happened.
    std::vector<std::string> calls_;

    std::shared_ptr<OVStatusHelper> makeHelper()
    {
        OVStatusHelper::Environment env;
        env.registryTool = kPluginKit;
        env.extensionIdentifier = kExtension;
        env.runnerIdentifier = kRunner;
        env.runCommand = [this](const std::vector<std::string>& argv) {
            calls_.push_back(argv.at(2));
            ov::runAndWait(argv);
        };
        env.openApplication = [this](const std::string& id) { calls_.push_back("open " + id); };
        env.terminateApplications = [this](const std::string& id) { calls_.push_back("quit " + id); };
        env.delay = 0.05;
        return helper_ = OVStatusHelper::create(std::move(env));
    }

    static void elect(const char* election) { ASSERT_EQ(ov::runAndWait({kPluginKit, "-e", election, "-i", kExtension}), 0); }

    static bool spinning(GtkSpinner* s) { return gtk_widget_get_visible(GTK_WIDGET(s)) && gtk_spinner_get_spinning(s); }
    static bool shown(GtkButton* b) { return gtk_widget_get_visible(GTK_WIDGET(b)); }

    long count(const std::string& call) const { return std::count(calls_.begin(), calls_.end(), call); }

    std::shared_ptr<OVStatusHelper> helper_;
    std::shared_ptr<OVStatusModule> module_;
    std::shared_ptr<ovsettings::AppDelegate> delegate_;
};

TEST_F(StatusPage, ShowsEachAnswerAndSwitchesOncePerPressUntilTheRegistryAnswers)
{
    elect("ignore");
    module_ = HLViewController::controller<OVStatusModule>(makeHelper());
    // No answer can have arrived before the page loaded: it starts on the checking view.
    EXPECT_EQ(module_->currentView(), module_->checkingView());
    EXPECT_TRUE(spinning(module_->checkingProgressIndicator()));
    showInWindow(module_->view(), 600, 450);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return module_->currentView() == module_->disabledView(); }));
    EXPECT_EQ(gtk_widget_get_parent(module_->checkingView()), nullptr);
    EXPECT_FALSE(spinning(module_->checkingProgressIndicator()));

    // Two quick presses: one election, the pressed button hidden and both spinners going until the answer.
    g_signal_emit_by_name(module_->turnOnButton(), "clicked");
    g_signal_emit_by_name(module_->turnOnButton(), "clicked");
    EXPECT_TRUE(module_->isChecking());
    EXPECT_FALSE(shown(module_->turnOnButton()));
    EXPECT_TRUE(spinning(module_->disabledProgressIndicator()) && spinning(module_->enabledProgressIndicator()));
    EXPECT_EQ(module_->currentView(), module_->disabledView()); // the page waits for the registry
    ASSERT_TRUE(ovtest::pumpUntil([&] { return module_->currentView() == module_->enabledView(); }));
    EXPECT_EQ(count("use"), 1);
    EXPECT_FALSE(module_->isChecking());
    EXPECT_TRUE(shown(module_->turnOnButton()) && shown(module_->turnOffButton()));
    EXPECT_FALSE(spinning(module_->enabledProgressIndicator()));
    ASSERT_TRUE(ovtest::pumpUntil([&] { return count("open " + kRunner) == 1; })); // the runner follows

    // An answer that repeats the known state still ends a switch in progress.
    module_->toggleEnabled(module_->turnOffButton());
    helper_->setIsEnabled(true);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return !module_->isChecking(); }));
    EXPECT_TRUE(shown(module_->turnOffButton()));
    EXPECT_FALSE(spinning(module_->enabledProgressIndicator()));
    EXPECT_EQ(module_->currentView(), module_->enabledView());

    // Turning off: the registry records it and the runner is asked to quit.
    ASSERT_TRUE(ovtest::pumpUntil([&] { return count("ignore") == 1; })); // the press above, run on its turn
    ASSERT_TRUE(ovtest::pumpUntil([&] { return module_->currentView() == module_->disabledView(); }));
    EXPECT_GE(count("quit " + kRunner), 1);
    EXPECT_EQ(ovtest::runTool({kPluginKit, "-m", "-i", kExtension}).out.substr(0, 1), "-");
}

TEST_F(StatusPage, AFirstLaunchWritesTheCatalogueAndLeavesTheExtensionRestartedAndOn)
{
    elect("ignore"); // the user had turned it off
    OVAppDefaults::standardUserDefaults()->setSuppressQuitAlert(true);
    delegate_ = ovsettings::AppDelegate::create(nullptr, &OVActionsManager::create, defaults_, [this] { return makeHelper(); });
    delegate_->applicationWillFinishLaunching();
    delegate_->applicationDidFinishLaunching();
    // Saved, and what the window lists.
    ASSERT_TRUE(ovtest::pumpUntil([] { return savedTitles().size() == 19u; }));
    const auto saved = savedTitles();
    EXPECT_EQ(saved.front(), "Create new file");
    EXPECT_EQ(titles(delegate_->store()->actions()), saved);

    auto page = delegate_->mainWindowController()->statusModule();
    EXPECT_EQ(delegate_->mainWindowController()->currentModule(), page);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return count("use") == 1 && page->currentView() == page->enabledView(); }));
    // The forced restart: ignore, the extension's processes asked to quit, then use again.
    const auto at = [&](const std::string& call) { return std::find(calls_.begin(), calls_.end(), call) - calls_.begin(); };
    EXPECT_LT(at("ignore"), at("quit " + kExtension));
    EXPECT_LT(at("quit " + kExtension), at("use"));
    ASSERT_TRUE(ovtest::pumpUntil([&] { return count("open " + kRunner) >= 1; }));

    // A second launch adds nothing.
    delegate_->mainWindowController()->close();
    delegate_.reset();
    delegate_ = ovsettings::AppDelegate::create(nullptr, &OVActionsManager::create, defaults_);
    delegate_->applicationWillFinishLaunching();
    delegate_->applicationDidFinishLaunching();
    EXPECT_EQ(savedTitles(), saved);
}

TEST_F(StatusPage, FileManagerSwitchesExportTheMenuToTheInstalledOnesOnly)
{
    makeStore(2);
    // Only a "nemo" on the PATH: no other file manager gets a row.
    const std::string bin = home_->makeFolder("bin");
    const std::string nemo = home_->writeFile("bin/nemo", "#!/bin/sh\n");
    ::chmod(nemo.c_str(), 0755);
    ovtest::ScopedEnv path("PATH", bin);
    int watcherStarts = 0;
    OVMenuExporter::setSessionWatcherStarter([&] { ++watcherStarts; });
    ovtest::Restore realStarter{[] { OVMenuExporter::setSessionWatcherStarter(std::nullopt); }};
    module_ = HLViewController::controller<OVStatusModule>(nullptr);
    showInWindow(module_->view(), 600, 600);
    EXPECT_TRUE(gtk_widget_get_visible(module_->fileManagersGroup()));
    GtkSwitch* sw = module_->fileManagerSwitch("nemo");
    ASSERT_TRUE(sw);
    EXPECT_FALSE(module_->fileManagerSwitch("thunar"));
    EXPECT_FALSE(gtk_switch_get_active(sw));

    const std::string actions = home_->dataHome() + "/nemo/actions";
    const auto exported = [&] {
        std::error_code ec;
        return std::distance(std::filesystem::directory_iterator(actions, ec), std::filesystem::directory_iterator{});
    };
    gtk_switch_set_active(sw, TRUE);
    EXPECT_TRUE(OVUserDefaults::create()->exportsMenuTo("nemo"));
    EXPECT_EQ(exported(), 4); // each action, and its entry for a folder's background
    // The session's watcher keeps it so once the window is gone.
    EXPECT_EQ(watcherStarts, 1);
    gtk_switch_set_active(sw, FALSE);
    EXPECT_EQ(exported(), 0);
    EXPECT_EQ(watcherStarts, 1);
    EXPECT_EQ(countAlerts(), 0);

    // Turned on elsewhere: the page shows it when it appears again.
    OVUserDefaults::create()->setExportsMenuTo("nemo", true);
    module_->hl_viewWillAppear();
    ASSERT_TRUE(module_->fileManagerSwitch("nemo"));
    EXPECT_TRUE(gtk_switch_get_active(module_->fileManagerSwitch("nemo")));
}

} // namespace
