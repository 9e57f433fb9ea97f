// SPDX-License-Identifier: GPL-3.0-or-later
// The progress window of long tool runs, under a display.
#include "platform/GuiResources.h"
#include "runner/GatedToolSupport.h"

#include "runner/OVToolProgressWindowController.h"
#include "runner/OVToolRun.h"

#include <gtk/gtk.h>

#include <cerrno>

namespace {

class ToolProgressWindowTest : public GatedToolRunTest {
protected:
    void SetUp() override
    {
        if (!ov::guiReady())
            GTEST_SKIP() << "no display";
        GatedToolRunTest::SetUp();
    }

    static std::string text(const OVToolProgressWindowController& c, const char* label)
    {
        return gtk_label_get_text(c.outlet<GtkLabel>(label));
    }
};

TEST_F(ToolProgressWindowTest, AppearsOnceARunLastsCountsItemsAndItsCancelStopsTheRest)
{
    OVToolPool::setWidthForTesting(1);
    auto action = convertAction();
    auto result = start(action, images(3));
    auto run = OVToolRun::currentRun(*action);
    ASSERT_TRUE(run);
    EXPECT_FALSE(run->progressWindow()); // a short run may end before anyone needs a window

    ASSERT_TRUE(ovtest::pumpUntil([&] { return run->progressWindow() != nullptr; }, 5000));
    auto window = run->progressWindow();
    ASSERT_TRUE(window->window());
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window->window())));
    EXPECT_EQ(text(*window, "titleLabel"), "Converting images");
    EXPECT_EQ(text(*window, "progressLabel"), "0 of 3");

    let("img0.png");
    ASSERT_TRUE(ovtest::pumpUntil([&] { return text(*window, "progressLabel") == "1 of 3"; }));
    EXPECT_DOUBLE_EQ(gtk_progress_bar_get_fraction(window->outlet<GtkProgressBar>("progressIndicator")), 1.0 / 3);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return running("img1.png"); }));

    // The button's action, as a click sends it.
    ASSERT_TRUE(gtk_widget_activate_action(GTK_WIDGET(window->window()), "tool.cancel", nullptr));
    ASSERT_TRUE(ovtest::pumpUntil([&] { return result->calls > 0; }));
    EXPECT_FALSE(result->success);
    ASSERT_TRUE(result->error);
    EXPECT_EQ(result->error->code, ECANCELED);
    EXPECT_TRUE(window->isCancelling());
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(window->window())));
    EXPECT_FALSE(run->progressWindow());
    EXPECT_TRUE(ovtest::pumpUntil([&] { return !running("img1.png"); }));

    ASSERT_TRUE(ovtest::pumpPastTimersDueWithin(300));
    EXPECT_EQ(names("started"), (std::vector<std::string>{"img0.png", "img1.png"}));
    // The finished item's output stays; the stopped ones leave nothing.
    EXPECT_EQ(names("pics"), (std::vector<std::string>{"img0.jpg", "img0.png", "img1.png", "img2.png"}));
    EXPECT_EQ(result->calls, 1);
}

TEST_F(ToolProgressWindowTest, ManyItemsShowTheWindowAtOnceAndItClosesWhenTheRunEnds)
{
    auto action = convertAction();
    auto result = start(action, images(int(OVToolRun::kManyItems)));
    auto run = OVToolRun::currentRun(*action);
    ASSERT_TRUE(run && run->progressWindow());
    auto window = run->progressWindow();
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window->window())));
    EXPECT_EQ(text(*window, "progressLabel"), "0 of " + std::to_string(OVToolRun::kManyItems));

    let("all");
    ASSERT_TRUE(ovtest::pumpUntil([&] { return result->calls > 0; }, 60000));
    EXPECT_TRUE(result->success);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(window->window())));
    EXPECT_EQ(window->done(), OVToolRun::kManyItems);
}

} // namespace
