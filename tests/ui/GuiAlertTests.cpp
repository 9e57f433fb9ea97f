// SPDX-License-Identifier: GPL-3.0-or-later
// The real alert dialog with a text field: its first response follows the field's rule as the
// user types, and the answer arrives once.
#include "platform/GuiAlert.h"
#include "platform/GuiResources.h"
#include "support/TestSupport.h"

#include <adwaita.h>
#include <gtk/gtk.h>
#include <gtest/gtest.h>

namespace {

AdwMessageDialog* findDialog()
{
    GListModel* windows = gtk_window_get_toplevels();
    for (guint i = 0; i < g_list_model_get_n_items(windows); ++i) {
        auto* window = static_cast<GtkWidget*>(g_list_model_get_item(windows, i));
        g_object_unref(window); // the list keeps it
        if (ADW_IS_MESSAGE_DIALOG(window) && gtk_widget_get_visible(window))
            return ADW_MESSAGE_DIALOG(window);
    }
    return nullptr;
}

class GuiAlertTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ov::guiReady())
            GTEST_SKIP() << "no display";
    }

    // Shows the confirmation of a secure delete and answers its dialog.
    AdwMessageDialog* show(std::vector<int>* answers)
    {
        ov::AlertRequest request;
        request.messageText = "Are you sure you want to delete the following:";
        request.informativeText = "/a\n/b";
        request.buttons = {"Delete Forever", "Cancel"};
        request.textField = ov::AlertTextField{[](const std::string& text) { return text == "DELETE"; }};
        ov::showAlert(request, [answers](int response) { answers->push_back(response); });
        AdwMessageDialog* dialog = nullptr;
        EXPECT_TRUE(ovtest::pumpUntil([&] { return (dialog = findDialog()) != nullptr; }));
        return dialog;
    }
};

TEST_F(GuiAlertTest, TheFirstButtonIsEnabledOnlyWhileTheFieldHoldsExactlyTheWord)
{
    std::vector<int> answers;
    AdwMessageDialog* dialog = show(&answers);
    ASSERT_TRUE(dialog);
    GtkWidget* field = adw_message_dialog_get_extra_child(dialog);
    ASSERT_TRUE(GTK_IS_EDITABLE(field));
    EXPECT_FALSE(adw_message_dialog_get_response_enabled(dialog, "0"));
    EXPECT_TRUE(adw_message_dialog_get_response_enabled(dialog, "1"));
    EXPECT_STREQ(adw_message_dialog_get_response_label(dialog, "0"), "Delete Forever");
    // The field takes the keyboard by itself shortly after the dialog shows.
    EXPECT_TRUE(ovtest::pumpUntil([&] { return gtk_widget_has_focus(field) || gtk_widget_is_focus(field)
                                               || gtk_widget_get_focus_child(field) != nullptr; }, 3000));

    for (const char* typed : {"delete", "DELETE ", "DELETEE", "DELET"}) {
        gtk_editable_set_text(GTK_EDITABLE(field), typed);
        EXPECT_FALSE(adw_message_dialog_get_response_enabled(dialog, "0")) << typed;
    }
    gtk_editable_set_text(GTK_EDITABLE(field), "DELETE");
    EXPECT_TRUE(adw_message_dialog_get_response_enabled(dialog, "0"));

    adw_message_dialog_response(dialog, "0");
    EXPECT_TRUE(ovtest::pumpUntil([&] { return !answers.empty(); }));
    gtk_window_destroy(GTK_WINDOW(dialog));
    ovtest::pumpPending(); // a second answer from the destroyed dialog would show now
    EXPECT_EQ(answers, std::vector<int>{0});
}

TEST_F(GuiAlertTest, ClosingTheDialogCountsAsNoAnswer)
{
    std::vector<int> answers;
    AdwMessageDialog* dialog = show(&answers);
    ASSERT_TRUE(dialog);
    gtk_window_close(GTK_WINDOW(dialog));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return !answers.empty(); }));
    EXPECT_EQ(answers, std::vector<int>{-1});
    if (findDialog() == dialog)
        gtk_window_destroy(GTK_WINDOW(dialog));
}

// A password prompt ends in each way a user can end it, with the keyboard in its field; GTK
// reports anything that outlives the field as a critical, which the test run makes fatal.
TEST_F(GuiAlertTest, APasswordPromptEndsCleanlyHoweverItCloses)
{
    for (const char* how : {"enter", "close", "destroy"}) {
        SCOPED_TRACE(how);
        std::vector<int> answers;
        auto typed = std::make_shared<std::string>();
        ov::AlertRequest request;
        request.messageText = "Compress with password";
        request.buttons = {"Continue", "Cancel"};
        request.textField = ov::AlertTextField{[](const std::string& text) { return !text.empty(); }, true, typed};
        ov::showAlert(request, [&answers](int response) { answers.push_back(response); });
        AdwMessageDialog* dialog = nullptr;
        ASSERT_TRUE(ovtest::pumpUntil([&] { return (dialog = findDialog()) != nullptr; }));
        GtkWidget* field = adw_message_dialog_get_extra_child(dialog);
        ASSERT_TRUE(GTK_IS_PASSWORD_ENTRY(field));
        auto* text = GTK_WIDGET(gtk_editable_get_delegate(GTK_EDITABLE(field)));
        ASSERT_TRUE(ovtest::pumpUntil([&] { return gtk_widget_has_focus(text); }, 3000));
        gtk_editable_set_text(GTK_EDITABLE(field), "s3cret");

        const std::string way = how;
        if (way == "enter")
            g_signal_emit_by_name(text, "activate"); // what Return in the field does
        else if (way == "close")
            gtk_window_close(GTK_WINDOW(dialog)); // Escape, or the window's close button
        else
            gtk_window_destroy(GTK_WINDOW(dialog));
        ASSERT_TRUE(ovtest::pumpUntil([&] { return !answers.empty() && findDialog() == nullptr; }));
        // The window lets go of its focus widget late; a stale handler would run now.
        GtkWidget* next = gtk_window_new();
        gtk_window_present(GTK_WINDOW(next));
        ovtest::pumpUntil([&] { return gtk_widget_get_mapped(next); });
        gtk_window_destroy(GTK_WINDOW(next));
        ovtest::pumpPending();
        EXPECT_EQ(answers, std::vector<int>{way == "enter" ? 0 : -1});
        EXPECT_EQ(*typed, way == "enter" ? "s3cret" : "");
    }
}

} // namespace

namespace {

GtkSwitch* findSwitch(GtkWidget* widget)
{
    if (GTK_IS_SWITCH(widget))
        return GTK_SWITCH(widget);
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child))
        if (GtkSwitch* found = findSwitch(child))
            return found;
    return nullptr;
}

} // namespace

// The switch under a password field starts where the caller left it, and its state is handed
// back only with a button's answer.
TEST_F(GuiAlertTest, TheSwitchStartsAtItsValueAndArrivesWithTheAnswer)
{
    for (bool chooseButton : {true, false}) {
        SCOPED_TRACE(chooseButton ? "continue" : "close");
        std::vector<int> answers;
        auto typed = std::make_shared<std::string>();
        auto strong = std::make_shared<bool>(true);
        ov::AlertRequest request;
        request.messageText = "Compress with password";
        request.buttons = {"Continue", "Cancel"};
        request.textField = ov::AlertTextField{[](const std::string& text) { return !text.empty(); }, true, typed};
        request.toggle = ov::AlertSwitch{"Strong encryption (AES-256)", "Some tools cannot open it.", strong};
        ov::showAlert(request, [&answers](int response) { answers.push_back(response); });
        AdwMessageDialog* dialog = nullptr;
        ASSERT_TRUE(ovtest::pumpUntil([&] { return (dialog = findDialog()) != nullptr; }));
        GtkSwitch* toggle = findSwitch(adw_message_dialog_get_extra_child(dialog));
        ASSERT_TRUE(toggle);
        EXPECT_TRUE(gtk_switch_get_active(toggle));
        gtk_switch_set_active(toggle, FALSE);
        EXPECT_TRUE(*strong) << "nothing is handed back before an answer";
        if (chooseButton) {
            adw_message_dialog_response(dialog, "0");
            EXPECT_FALSE(*strong);
        } else {
            gtk_window_close(GTK_WINDOW(dialog));
            EXPECT_TRUE(*strong) << "closing keeps the caller's value";
        }
        EXPECT_TRUE(ovtest::pumpUntil([&] { return answers.size() == 1; }));
        EXPECT_EQ(answers.front(), chooseButton ? 0 : -1);
        if (findDialog() == dialog)
            gtk_window_destroy(GTK_WINDOW(dialog));
        ovtest::pumpUntil([&] { return findDialog() == nullptr; });
    }
}
