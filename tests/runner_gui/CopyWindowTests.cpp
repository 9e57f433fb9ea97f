// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/GuiResources.h"
#include "runner/CopyTestSupport.h"
#include "runner/RunnerTestSupport.h"

#include "model/OVCopyToAction.h"
#include "runner/OVFileActionWindowController.h"

#include <gtk/gtk.h>

namespace {

class CopyWindowTest : public RunBehaviourTest {
protected:
    void SetUp() override
    {
        if (!ov::guiReady())
            GTEST_SKIP() << "no display";
        RunBehaviourTest::SetUp();
    }

    static std::string text(const std::shared_ptr<OVFileActionWindowController>& c, const char* label)
    {
        return gtk_label_get_text(c->outlet<GtkLabel>(label));
    }

    // The copy window on the screen, if one is.
    static GtkWindow* shownCopyWindow()
    {
        GListModel* toplevels = gtk_window_get_toplevels();
        GtkWindow* found = nullptr;
        for (guint i = 0; i < g_list_model_get_n_items(toplevels) && !found; ++i) {
            auto* window = GTK_WINDOW(g_list_model_get_item(toplevels, i));
            const char* title = gtk_window_get_title(window);
            if (gtk_widget_get_visible(GTK_WIDGET(window)) && title && g_str_has_prefix(title, "Copying "))
                found = window;
            g_object_unref(window);
        }
        return found;
    }

    struct Started {
        int calls = 0;
        bool success = false;
        std::optional<OVError> error;
    };
    void start(const std::string& destination, const OVPaths& paths, Started* started)
    {
        auto action = OVAction::action<OVCopyToAction>();
        action->setDestinationURL(destination);
        OVRunAction(*action, paths, [started, action](bool success, std::optional<OVError> error) {
            ++started->calls;
            started->success = success;
            started->error = std::move(error);
        });
    }

    // A run copying a folder of two files, held by the gate after the first; answers its window.
    GtkWindow* startHeldCopy(const std::string& destination, const std::string& name, CopyGate& gate, Started* run)
    {
        write("src/" + name + "/one", "1");
        write("src/" + name + "/two", "2");
        start(destination, {home.path() + "/src/" + name}, run);
        EXPECT_TRUE(ovtest::pumpUntil([&] { return gate.reached(); }, 10000));
        return shownCopyWindow();
    }

    static void finish(CopyGate& gate, const Started& run)
    {
        gate.release();
        EXPECT_TRUE(ovtest::pumpUntil([&] { return run.calls > 0; }, 10000));
    }
};

TEST_F(CopyWindowTest, ShowsWhatGoesWhereAndHowFarItHasGot)
{
    std::string dest = folder("Backups");
    write("src/Album/a.jpg", std::string(1000000, 'a'));
    write("src/Album/b.jpg", std::string(1000000, 'b'));
    std::string source = home.path() + "/src/Album";
    CopyGate gate(2); // after the folder and its first picture

    auto c = OVFileActionWindowController::controllerWithSourceFile(source, dest + "/Album");
    c->showWindow();
    EXPECT_STREQ(gtk_window_get_title(c->window()), "Copying \"Album\" to \"Backups\"");
    EXPECT_EQ(text(c, "titleLabel"), "Copying \"Album\" to \"Backups\"");
    EXPECT_EQ(text(c, "progressLabel"), "Calculating...");
    EXPECT_EQ(gtk_image_get_storage_type(c->outlet<GtkImage>("imageView")), GTK_IMAGE_GICON);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(c->window())));

    // Measured, then copied: the tick measures the copy as it grows.
    ASSERT_TRUE(ovtest::pumpUntil([&] { return gate.reached(); }, 10000));
    EXPECT_EQ(c->fileSizeString(), "2.00 MB");
    ASSERT_TRUE(ovtest::pumpUntil([&] { return text(c, "progressLabel") == "1.00 MB of 2.00 MB"; }, 5000))
        << text(c, "progressLabel");
    EXPECT_DOUBLE_EQ(gtk_progress_bar_get_fraction(c->outlet<GtkProgressBar>("progressIndicator")), 0.5);

    std::optional<OVFileActionWindowController::Outcome> outcome;
    c->setCompletionBlock([&](OVFileActionWindowController& done) { outcome = done.outcome(); });
    gate.release();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return outcome.has_value(); }, 10000));
    EXPECT_EQ(*outcome, OVFileActionWindowController::Outcome::Copied);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(c->window())));
    EXPECT_EQ(ovtest::readAll(dest + "/Album/b.jpg"), std::string(1000000, 'b'));
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].informativeText, "Finished copying Album");
}

TEST_F(CopyWindowTest, ClosingTheWindowLeavesTheCopyRunningAndCancelStopsIt)
{
    std::string dest = folder("dest");
    {
        CopyGate gate(2);
        Started run;
        GtkWindow* window = startHeldCopy(dest, "kept", gate, &run);
        ASSERT_TRUE(window);
        gtk_window_close(window);
        EXPECT_FALSE(shownCopyWindow());
        finish(gate, run);
        EXPECT_TRUE(run.success);
        EXPECT_EQ(ovtest::readAll(dest + "/kept/two"), "2");
        ASSERT_EQ(notifications.size(), 1u);
        EXPECT_EQ(notifications[0].informativeText, "Finished copying kept");
    }

    notifications.clear();
    CopyGate gate(2);
    Started run;
    GtkWindow* window = startHeldCopy(dest, "stopped", gate, &run);
    ASSERT_TRUE(window);
    EXPECT_TRUE(gtk_widget_activate_action(GTK_WIDGET(window), "copy.cancel", nullptr));
    finish(gate, run);
    EXPECT_FALSE(run.success);
    ASSERT_TRUE(run.error);
    EXPECT_EQ(run.error->code, ECANCELED);
    EXPECT_FALSE(exists(dest + "/stopped"));
    EXPECT_EQ(ovtest::readAll(home.path() + "/src/stopped/two"), "2");
    EXPECT_TRUE(ovtest::pumpPending()); // a notification sent with the outcome would show now
    EXPECT_TRUE(notifications.empty());
    EXPECT_FALSE(shownCopyWindow());
}

} // namespace
