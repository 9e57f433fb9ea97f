// SPDX-License-Identifier: GPL-3.0-or-later
// The settings window on the screen it is given (ctest also runs these on an 800x600 Xvfb): it
// opens no larger than its monitor less the shell's bar, and on every page each control can be
// scrolled into view whole.
#include "SettingsTestSupport.h"

#include "model/OVDefaultCatalogue.h"
#include "settings/OVEditorModule.h"
#include "settings/OVMainWindowController.h"
#include "settings/OVStatusHelper.h"
#include "settings/OVStatusModule.h"

#include <sys/stat.h>

#include <sstream>

namespace {

bool isControl(GtkWidget* w)
{
    return GTK_IS_BUTTON(w) || GTK_IS_SWITCH(w) || GTK_IS_CHECK_BUTTON(w) || GTK_IS_ENTRY(w) || GTK_IS_TEXT_VIEW(w) ||
           GTK_IS_DROP_DOWN(w);
}

// The controls a user sees in the page, in the order they are laid out.
void collectControls(GtkWidget* w, std::vector<GtkWidget*>& out)
{
    if (!gtk_widget_get_visible(w) || !gtk_widget_get_child_visible(w))
        return;
    // A list keeps rows it does not show unallocated, for reuse; its own scrolling shows its items.
    if (GTK_IS_LIST_VIEW(gtk_widget_get_parent(w)) && gtk_widget_get_height(w) == 0)
        return;
    if (isControl(w)) {
        out.push_back(w);
        return;
    }
    for (GtkWidget* child = gtk_widget_get_first_child(w); child; child = gtk_widget_get_next_sibling(child))
        collectControls(child, out);
}

std::vector<GtkScrolledWindow*> scrollersAround(GtkWidget* w)
{
    std::vector<GtkScrolledWindow*> found;
    for (GtkWidget* up = gtk_widget_get_parent(w); up; up = gtk_widget_get_parent(up))
        if (GTK_IS_SCROLLED_WINDOW(up))
            found.push_back(GTK_SCROLLED_WINDOW(up));
    return found;
}

// Whether the widget lies whole inside the area (in the area's coordinates).
bool inside(GtkWidget* w, GtkWidget* area)
{
    graphene_rect_t b;
    if (!gtk_widget_compute_bounds(w, area, &b))
        return false;
    const float slack = 0.5f;
    return b.origin.x >= -slack && b.origin.y >= -slack &&
           b.origin.x + b.size.width <= float(gtk_widget_get_width(area)) + slack &&
           b.origin.y + b.size.height <= float(gtk_widget_get_height(area)) + slack;
}

// One step of scrolling every scrolled window around the widget towards it.
void scrollTowards(GtkWidget* w)
{
    for (GtkScrolledWindow* scroller : scrollersAround(w)) {
        graphene_rect_t b;
        if (!gtk_widget_compute_bounds(w, GTK_WIDGET(scroller), &b))
            continue;
        GtkAdjustment* adj = gtk_scrolled_window_get_vadjustment(scroller);
        const double shown = gtk_widget_get_height(GTK_WIDGET(scroller));
        double value = gtk_adjustment_get_value(adj);
        if (b.origin.y < 0)
            value += b.origin.y;
        else if (b.origin.y + b.size.height > shown)
            value += b.origin.y + b.size.height - shown;
        gtk_adjustment_set_value(adj, value);
    }
}

// Scrolls the control into view; false if it still is cut off by a scrolled window or the window.
bool scrolledIntoView(GtkWidget* control, GtkWindow* window)
{
    const auto visible = [&] {
        if (gtk_widget_get_height(control) <= 0 || !inside(control, GTK_WIDGET(window)))
            return false;
        for (GtkScrolledWindow* scroller : scrollersAround(control))
            if (!inside(control, GTK_WIDGET(scroller)))
                return false;
        return true;
    };
    return ovtest::pumpUntil([&] {
        if (visible())
            return true;
        scrollTowards(control);
        return false;
    }, 3000);
}

std::string describe(GtkWidget* w)
{
    std::ostringstream out;
    out << G_OBJECT_TYPE_NAME(w);
    for (GtkWidget* up = gtk_widget_get_parent(w); up; up = gtk_widget_get_parent(up)) {
        graphene_rect_t b;
        if (gtk_widget_compute_bounds(w, up, &b))
            out << " [" << gtk_widget_get_css_name(up) << " " << b.origin.x << "," << b.origin.y << " " << b.size.width << "x" << b.size.height << " of " << gtk_widget_get_width(up) << "x" << gtk_widget_get_height(up) << "]";
    }
    if (GTK_IS_BUTTON(w) && gtk_button_get_label(GTK_BUTTON(w)))
        out << " \"" << gtk_button_get_label(GTK_BUTTON(w)) << "\"";
    return out.str();
}

class SmallScreen : public settingstest::SettingsTest {
protected:
    void TearDown() override
    {
        if (window_)
            window_->close();
        window_.reset();
        SettingsTest::TearDown();
    }

    // The window with the built-in catalogue, and a row for each other file manager.
    void openWindow()
    {
        const std::string bin = home_->makeFolder("bin");
        for (const char* program : {"nemo", "thunar", "dolphin"})
            ::chmod(home_->writeFile(std::string("bin/") + program, "#!/bin/sh\n").c_str(), 0755);
        const char* path = g_getenv("PATH");
        path_ = std::make_unique<ovtest::ScopedEnv>("PATH", bin + (path ? std::string(":") + path : std::string()));
        store_ = OVActionsManager::create();
        ASSERT_TRUE(store_);
        OVDefaultCatalogue(store_, defaults_).generateDefaultsIfNeeded();
        OVStatusHelper::Environment env;
        env.registryTool = "/bin/true";
        env.runCommand = [](const std::vector<std::string>&) {};
        env.openApplication = [](const std::string&) {};
        env.terminateApplications = [](const std::string&) {};
        status_ = OVStatusHelper::create(std::move(env));
        window_ = HLWindowController::controller<OVMainWindowController>(store_, defaults_, status_);
        window_->showWindow();
        ASSERT_TRUE(ovtest::pumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window_->window())); }));
        room_ = window_->roomOnScreen();
        ASSERT_GT(room_.height, 0);
    }

    // The window fits the screen and each control of the page can be brought into view whole.
    void checkPage(const std::string& page)
    {
        GtkWidget* root = GTK_WIDGET(window_->window());
        const HLSize wanted = window_->currentModule()->viewMinSize();
        // Laid out for this page first: its size where the screen has room for it.
        ovtest::pumpUntil([&] {
            return gtk_widget_get_height(window_->moduleContentView()) >= std::min(int(wanted.height), room_.height - 100);
        }, 2000);
        settle();
        EXPECT_LE(gtk_widget_get_width(root), room_.width) << page;
        EXPECT_LE(gtk_widget_get_height(root), room_.height) << page;
        std::vector<GtkWidget*> controls;
        collectControls(window_->currentModule()->view(), controls);
        ASSERT_FALSE(controls.empty()) << page;
        for (GtkWidget* control : controls)
            EXPECT_TRUE(scrolledIntoView(control, window_->window())) << page << ": " << describe(control) << " is cut off";
    }

    std::unique_ptr<ovtest::ScopedEnv> path_;
    std::shared_ptr<OVActionsManager> store_;
    std::shared_ptr<OVStatusHelper> status_;
    std::shared_ptr<OVMainWindowController> window_;
    HLWindowController::Room room_;
};

TEST_F(SmallScreen, TheStatusPageWithThreeFileManagersScrollsToEveryControl)
{
    openWindow();
    ASSERT_TRUE(window_->statusModule()->fileManagerSwitch("dolphin"));
    for (bool on : {true, false}) {
        status_->setIsEnabled(on);
        window_->statusModule()->updateUI();
        checkPage(on ? "status on" : "status off");
    }
}

TEST_F(SmallScreen, EveryOtherPageAndEditorFitsAndScrollsToEveryControl)
{
    openWindow();
    window_->selectModuleAtRow(OVMainWindowController::kPreferencesRow);
    checkPage("preferences");
    window_->selectModuleAtRow(OVMainWindowController::kAboutRow);
    checkPage("about");
    window_->selectModuleAtRow(OVMainWindowController::kEditorRow);
    auto editor = window_->editorModule();
    const auto count = unsigned(store_->actions().size());
    for (unsigned row = 0; row < count; ++row) {
        editor->selectRows({row});
        checkPage("editor of " + store_->actions()[row]->title().value_or("?"));
    }
    // The selection counts' custom range is the widest thing under an editor.
    editor->selectRows({0});
    gtk_drop_down_set_selected(editor->selectionCounts().choiceDropDown(), OVSelectionCountControl::CustomRange);
    checkPage("editor with a custom range of items");
    GtkWidget* counts = editor->selectionCounts().view();
    int needed = 0;
    gtk_widget_measure(counts, GTK_ORIENTATION_HORIZONTAL, -1, &needed, nullptr, nullptr, nullptr);
    EXPECT_LE(needed, gtk_widget_get_width(counts)) << "the range is squeezed";
}

} // namespace
