// SPDX-License-Identifier: GPL-3.0-or-later
// The window of running scripts, under a display.
#include "runner/RunnerTestSupport.h"

#include "model/OVShellScriptAction.h"
#include "platform/GuiResources.h"
#include "runner/OVScriptRuns.h"
#include "runner/OVScriptRunsWindowController.h"

#include <gtk/gtk.h>

namespace {

using Clock = OVScriptRunsWindowController::Clock;

class ScriptRunsWindowTest : public RunBehaviourTest {
protected:
    void SetUp() override
    {
        if (!ov::guiReady())
            GTEST_SKIP() << "no display";
        RunBehaviourTest::SetUp();
        OVScriptRuns::timing() = {0.05, 0.3, 10.0};
    }
    void TearDown() override { OVScriptRuns::timing() = {}; }

    // The lines of the window: title, time and button of each.
    struct Line {
        std::string title;
        std::string time;
        GtkWidget* button;
    };
    static std::vector<Line> lines(const OVScriptRunsWindowController& c)
    {
        std::vector<Line> out;
        for (GtkWidget* line = gtk_widget_get_first_child(GTK_WIDGET(c.outlet<GtkBox>("runsBox"))); line;
             line = gtk_widget_get_next_sibling(line)) {
            GtkWidget* spinner = gtk_widget_get_first_child(line);
            GtkWidget* texts = gtk_widget_get_next_sibling(spinner);
            GtkWidget* title = gtk_widget_get_first_child(texts);
            GtkWidget* time = gtk_widget_get_next_sibling(title);
            EXPECT_TRUE(gtk_spinner_get_spinning(GTK_SPINNER(spinner)));
            out.push_back({gtk_label_get_text(GTK_LABEL(title)), gtk_label_get_text(GTK_LABEL(time)),
                           gtk_widget_get_next_sibling(texts)});
        }
        return out;
    }
};

TEST_F(ScriptRunsWindowTest, OneLineARunAndStopForEach)
{
    auto c = OVScriptRunsWindowController::controllerForRuns();
    ASSERT_TRUE(c->window());
    int firstStops = 0, secondStops = 0;
    const auto now = Clock::now();
    c->addRun(101, "Resize photos", now - std::chrono::seconds(7), [&] { ++firstStops; });
    c->addRun(202, "Back up", now - std::chrono::seconds(3725), [&] { ++secondStops; });
    c->showWindow();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(c->window())); }));
    auto shown = lines(*c);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].title, "Resize photos");
    EXPECT_EQ(shown[0].time, "0:07");
    EXPECT_EQ(shown[1].title, "Back up");
    EXPECT_EQ(shown[1].time, "1:02:05");
    EXPECT_EQ(OVScriptRunsWindowController::formatElapsed(std::chrono::seconds(750)), "12:30");

    // A click on the second line's button (a button clicks a moment after its activation), then
    // the action once more: one stop, for that run only.
    ASSERT_TRUE(gtk_widget_activate(shown[1].button));
    ASSERT_TRUE(ovtest::pumpUntil([&] { return secondStops > 0; }));
    gtk_widget_activate_action(GTK_WIDGET(c->window()), "scripts.stop", "x", gint64(202));
    ASSERT_TRUE(ovtest::pumpPending());
    EXPECT_EQ(secondStops, 1);
    EXPECT_EQ(firstStops, 0);
    EXPECT_FALSE(gtk_widget_get_sensitive(shown[1].button));
    EXPECT_EQ(lines(*c)[1].time, "Stopping…");

    c->removeRun(202);
    ASSERT_EQ(lines(*c).size(), 1u);
    EXPECT_EQ(lines(*c)[0].title, "Resize photos");
    c->removeRun(101);
    EXPECT_FALSE(c->hasRuns());
    c->close();
}

// Through real runs: a quick one never shows, two long ones share the window, Stop on a line
// ends that run's processes and the window goes with the last run.
TEST_F(ScriptRunsWindowTest, LongRunsShareTheWindowUntilTheLastEnds)
{
    auto quick = OVAction::action<OVShellScriptAction>();
    quick->setScriptURL(write("quick.sh", "exit 0\n"));
    quick->setTitle(std::string("Quick"));
    run(*quick, {"/x"});
    EXPECT_FALSE(OVScriptRuns::window());

    auto action = OVAction::action<OVShellScriptAction>();
    action->setScriptURL(write("long.sh", "sleep 300 & wait\n"));
    action->setTitle(std::string("Long one"));
    int ended = 0;
    OVRunAction(*action, {"/a"}, [&](bool, std::optional<OVError>) { ++ended; });
    OVRunAction(*action, {"/b"}, [&](bool, std::optional<OVError>) { ++ended; });
    ASSERT_TRUE(ovtest::pumpUntil([&] { return OVScriptRuns::window() && OVScriptRuns::window()->runCount() == 2; }));
    auto window = OVScriptRuns::window();
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window->window())));
    auto shown = lines(*window);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].title, "Long one");
    EXPECT_EQ(shown[1].title, "Long one");

    gtk_widget_activate(shown[0].button);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return ended == 1; }));
    EXPECT_EQ(window->runCount(), 1u);
    EXPECT_TRUE(OVScriptRuns::window());
    EXPECT_EQ(OVScriptRuns::runIds().size(), 1u);

    gtk_widget_activate(lines(*window)[0].button);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return ended == 2; }));
    EXPECT_FALSE(OVScriptRuns::window());
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(window->window())));
}

} // namespace
