// SPDX-License-Identifier: GPL-3.0-or-later
// The settings window and its pages: module switching, the close alert, the preferences and
// about pages.
#include "SettingsTestSupport.h"

#include "messaging/OVProtocol.h"
#include "settings/OVAppDefaults.h"
#include "settings/OVEditorModule.h"
#include "settings/OVMainWindowController.h"
#include "settings/OVStatusModule.h"
#include "settings/RZAboutModule.h"
#include "settings/RZPreferencesModule.h"

#include <glib/gstdio.h>

#include "platform/Files.h"
#include "platform/ProductPaths.h"
#include "platform/UserFolders.h"
#include "platform/Workspace.h"

namespace {

using settingstest::MessageCounter;
using Journal = std::vector<std::string>;

class JournalModule : public HLModuleViewController {
public:
    void hl_viewWillAppear() override { journal_->push_back(name_ + ".willAppear"); }
    void hl_viewDidAppear() override
    {
        // The view is in place when this runs.
        journal_->push_back(name_ + (gtk_widget_get_parent(view()) ? ".didAppear" : ".didAppear-without-view"));
    }
    void hl_viewWillDisappear() override { journal_->push_back(name_ + ".willDisappear"); }
    void hl_viewDidDisappear() override
    {
        journal_->push_back(name_ + (gtk_widget_get_parent(view()) ? ".didDisappear-still-shown" : ".didDisappear"));
    }

protected:
    JournalModule(std::string name, Journal* journal, bool resizable) : name_(std::move(name)), journal_(journal)
    {
        setModuleTitle(name_);
        setModuleIsResizable(resizable);
        setViewMinSize({400, 300});
    }
    friend class HLViewController;

private:
    std::string name_;
    Journal* journal_;
};

class MainWindow : public settingstest::SettingsTest {
protected:
    std::shared_ptr<OVMainWindowController> openWindow()
    {
        store_ = makeStore(3);
        auto controller = HLWindowController::controller<OVMainWindowController>(store_, defaults_);
        controller->showWindow();
        EXPECT_TRUE(ovtest::pumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(controller->window())); }));
        settle();
        return controller;
    }

    static std::string appDefaultsFile() { return ov::userConfigDir() + "/app.orvane.Orvane.plist"; }

    std::shared_ptr<OVActionsManager> store_;
};

TEST_F(MainWindow, ModulesSwitchWithHooksInOrderAndTheWindowFollowsTheirTitleAndResizability)
{
    auto c = openWindow();
    ASSERT_EQ(c->modules().size(), 4u);
    const std::vector<std::string> sidebar{"Orvane", "Manage Actions", "Preferences", "About"};
    for (std::size_t i = 0; i < sidebar.size(); ++i)
        EXPECT_EQ(c->modules()[i]->moduleTitle(), sidebar[i]);
    EXPECT_TRUE(std::dynamic_pointer_cast<OVStatusModule>(c->currentModule()));
    EXPECT_FALSE(gtk_window_get_resizable(c->window()));
    EXPECT_STREQ(gtk_window_get_title(c->window()), "Orvane");

    // The editor is resizable, the pages are not; the title follows the page.
    c->selectModuleAtRow(OVMainWindowController::kEditorRow);
    EXPECT_EQ(c->currentModule(), c->modules()[1]);
    EXPECT_TRUE(gtk_window_get_resizable(c->window()));
    EXPECT_STREQ(gtk_window_get_title(c->window()), "Manage Actions");
    EXPECT_TRUE(c->modules()[1]->moduleIsVisible());
    EXPECT_FALSE(c->modules()[0]->moduleIsVisible());
    c->selectModuleAtRow(OVMainWindowController::kStatusRow);
    EXPECT_FALSE(gtk_window_get_resizable(c->window()));
    EXPECT_STREQ(gtk_window_get_title(c->window()), "Orvane");
    // The window is sized for the page: the page's size plus the sidebar and the header.
    const auto size = c->windowSizeWithController(c->currentModule());
    const HLSize page = c->currentModule()->viewMinSize();
    EXPECT_GT(size.width, page.width);
    EXPECT_GT(size.height, page.height);
    ASSERT_TRUE(ovtest::pumpUntil([&] {
        return gtk_widget_get_width(c->moduleContentView()) == int(page.width) &&
               gtk_widget_get_height(c->moduleContentView()) == int(page.height);
    })) << gtk_widget_get_width(c->moduleContentView()) << "x" << gtk_widget_get_height(c->moduleContentView());

    Journal journal;
    auto a = HLViewController::controller<JournalModule>("a", &journal, true);
    auto b = HLViewController::controller<JournalModule>("b", &journal, false);
    c->setCurrentModule(a);
    journal.clear();
    c->setCurrentModule(b);
    EXPECT_EQ(journal, (Journal{"a.willDisappear", "b.willAppear", "a.didDisappear", "b.didAppear"}));
    EXPECT_FALSE(gtk_window_get_resizable(c->window()));
    EXPECT_STREQ(gtk_window_get_title(c->window()), "b");
    EXPECT_EQ(b->parentWindow(), c->window());

    // The same module again: nothing happens.
    journal.clear();
    c->setCurrentModule(b);
    EXPECT_TRUE(journal.empty());

    // A window title wins over the title; with neither the title stays.
    a->setModuleWindowTitle("Window of a");
    c->setCurrentModule(a);
    EXPECT_STREQ(gtk_window_get_title(c->window()), "Window of a");
    b->setModuleTitle("");
    c->setCurrentModule(b);
    EXPECT_STREQ(gtk_window_get_title(c->window()), "Window of a");

    // Bringing the window forward runs the page's appearance hooks.
    journal.clear();
    c->actuallyShowWindow();
    EXPECT_EQ(journal, (Journal{"b.willAppear", "b.didAppear"}));
}

TEST_F(MainWindow, ClosingAsksOnceUntilSuppressedAndLeavesTheApplicationInTheBackground)
{
    auto c = openWindow();
    const std::string question = "Orvane will continue to run in the background";
    c->setDockIconVisible(true);

    gtk_window_close(c->window());
    AdwMessageDialog* alert = waitForAlert(question);
    ASSERT_TRUE(alert);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(c->window()))); // still up while asking
    gtk_window_close(c->window());
    settle();
    EXPECT_EQ(countAlerts(), 1);
    answer(alert, 0);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(c->window())));
    EXPECT_FALSE(c->dockIconVisible());
    EXPECT_FALSE(OVAppDefaults::standardUserDefaults()->suppressQuitAlert());

    // Each close asks again; ticking the box is written at once.
    c->actuallyShowWindow();
    gtk_window_close(c->window());
    alert = waitForAlert(question);
    ASSERT_TRUE(alert);
    answer(alert, 0, true);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(c->window())));
    EXPECT_NE(ovtest::readAll(appDefaultsFile()).find("SuppressQuitAlert"), std::string::npos);
    EXPECT_TRUE(OVAppDefaults::standardUserDefaults()->suppressQuitAlert());

    c->actuallyShowWindow();
    c->setDockIconVisible(true);
    gtk_window_close(c->window());
    settle();
    EXPECT_EQ(countAlerts(), 0);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(c->window())));
    EXPECT_FALSE(c->dockIconVisible());
}

TEST_F(MainWindow, PreferencesAreWrittenAtOnceAndReadAgainOnEveryAppearance)
{
    auto c = openWindow();
    MessageCounter changes(OVProtocol::kUserDefaultsDidChangeNotification);
    c->selectModuleAtRow(OVMainWindowController::kPreferencesRow);
    auto page = c->preferencesModule();
    EXPECT_EQ(c->currentModule(), page);
    EXPECT_TRUE(page->hl_isLoaded());
    EXPECT_TRUE(gtk_check_button_get_active(page->submenuCheckbox()));
    EXPECT_FALSE(gtk_check_button_get_active(page->disableNotificationsCheckbox()));
    EXPECT_TRUE(gtk_check_button_get_active(page->showFinderWindowCheckbox()));
    EXPECT_FALSE(gtk_check_button_get_active(page->overwriteFileCheckbox()));
    settle();
    EXPECT_EQ(changes.count(), 0); // showing the page writes nothing

    // A click is in the file before anything else happens, and announced.
    gtk_check_button_set_active(page->submenuCheckbox(), FALSE);
    EXPECT_FALSE(OVUserDefaults::create()->useSubmenu());
    gtk_check_button_set_active(page->overwriteFileCheckbox(), TRUE);
    EXPECT_TRUE(OVUserDefaults::create()->overwriteDestinationFile());
    gtk_check_button_set_active(page->disableNotificationsCheckbox(), TRUE);
    gtk_check_button_set_active(page->showFinderWindowCheckbox(), FALSE);
    auto fresh = OVUserDefaults::create();
    EXPECT_TRUE(fresh->disableActionNotifications());
    EXPECT_FALSE(fresh->showFileOnMoveCopyComplete());
    EXPECT_TRUE(changes.waitBeyond(0));

    // Changed elsewhere while the page was hidden: shown when it appears again.
    c->selectModuleAtRow(OVMainWindowController::kAboutRow);
    fresh->setUseSubmenu(true);
    fresh->setOverwriteDestinationFile(false);
    c->selectModuleAtRow(OVMainWindowController::kPreferencesRow);
    EXPECT_TRUE(gtk_check_button_get_active(page->submenuCheckbox()));
    EXPECT_FALSE(gtk_check_button_get_active(page->overwriteFileCheckbox()));
    EXPECT_TRUE(fresh->disableActionNotifications()); // re-reading wrote nothing back
}

TEST_F(MainWindow, AboutShowsNameVersionYearAndCreditsFromTheResourcesWhenThereAreSome)
{
    auto c = openWindow();
    auto about = std::static_pointer_cast<RZAboutModule>(c->modules()[OVMainWindowController::kAboutRow]);
    EXPECT_STREQ(gtk_label_get_text(about->appNameLabel()), "Orvane");
    EXPECT_EQ(std::string(gtk_label_get_text(about->appVersionLabel())), "Version " + std::string(ORVANE_TEST_VERSION));
    const std::string copyright = gtk_label_get_text(about->copyrightLabel());
    EXPECT_EQ(copyright.find("CURRENT_YEAR"), std::string::npos);
    EXPECT_NE(copyright.find(std::to_string(RZAboutModule::year())), std::string::npos);
    EXPECT_EQ(RZAboutModule::copyrightText("© CURRENT_YEAR, CURRENT_YEAR", 2031), "© 2031, 2031");
    EXPECT_EQ(RZAboutModule::copyrightText("No year here", 2031), "No year here");
    const std::string licence = gtk_label_get_text(about->licenceLabel());
    EXPECT_NE(licence.find("GNU General Public License, version 3 or later"), std::string::npos) << licence;

    // Credits: the resource when there is one (whatever bytes it holds), else the libraries.
    const char* oldResources = g_getenv("ORVANE_RESOURCES_DIR");
    const std::string resources = home_->makeFolder("resources");
    g_setenv("ORVANE_RESOURCES_DIR", resources.c_str(), TRUE);
    auto plain = HLViewController::controller<RZAboutModule>();
    EXPECT_STREQ(gtk_label_get_text(plain->creditsLabel()), RZAboutModule::kLibrariesCredits);
    home_->writeFile("resources/Credits", std::string("Thanks to \xff everyone\n", 20));
    auto credited = HLViewController::controller<RZAboutModule>();
    if (oldResources)
        g_setenv("ORVANE_RESOURCES_DIR", oldResources, TRUE);
    else
        g_unsetenv("ORVANE_RESOURCES_DIR");
    const std::string credits = gtk_label_get_text(credited->creditsLabel());
    EXPECT_TRUE(g_utf8_validate(credits.c_str(), -1, nullptr));
    EXPECT_EQ(credits.rfind("Thanks to ", 0), 0u);
    EXPECT_NE(credits.find("everyone"), std::string::npos);
}

TEST_F(MainWindow, AboutShowsTheShippedCreditsAsTextAndOpensThem)
{
    // The data folder as it is installed (the build tree's copy of it).
    const std::string shipped = ov::pathByAppending(ov::resourcesPath(), "Credits.rtf");
    ASSERT_TRUE(ov::isRegularFile(shipped)) << shipped;
    EXPECT_EQ(RZAboutModule::creditsPath(), shipped);
    std::vector<std::pair<std::string, std::vector<std::string>>> opened;
    ov::setWorkspaceRecorder(ov::WorkspaceRecorder{[&](const std::string& call, const std::vector<std::string>& args) {
        opened.emplace_back(call, args);
    }});
    ovtest::Restore noRecorder{[] { ov::setWorkspaceRecorder(std::nullopt); }};

    auto c = openWindow();
    c->selectModuleAtRow(OVMainWindowController::kAboutRow);
    settle();
    auto about = std::static_pointer_cast<RZAboutModule>(c->modules()[OVMainWindowController::kAboutRow]);
    const std::string credits = gtk_label_get_text(about->creditsLabel());
    EXPECT_EQ(credits.rfind("Orvane uses these libraries\n", 0), 0u) << credits;
    for (const char* library : {"\nGLib and GIO\n", "\nlibzip\n", "https://www.libvips.org\n"})
        EXPECT_NE(credits.find(library), std::string::npos) << library;
    for (const char* markup : {"\\", "{", "}", "rtf", "Cantarell", "\n\n\n"})
        EXPECT_EQ(credits.find(markup), std::string::npos) << markup;

    GtkWidget* button = GTK_WIDGET(about->outlet("creditsButton"));
    ASSERT_TRUE(button);
    EXPECT_TRUE(gtk_widget_get_visible(button));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return gtk_widget_get_mapped(button); }));
    g_signal_emit_by_name(button, "clicked");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].first, "openURI");
    ASSERT_EQ(opened[0].second.size(), 1u);
    ov::GCharPtr path(g_filename_from_uri(opened[0].second[0].c_str(), nullptr, nullptr));
    ASSERT_TRUE(path);
    EXPECT_EQ(std::string(path.get()), shipped);
}

} // namespace
