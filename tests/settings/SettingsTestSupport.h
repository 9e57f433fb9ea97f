// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the settings window tests: private folders, a store and preferences of the test's
// own, the alerts on screen, and the wormhole messages the store and preferences send.
#pragma once

#include "messaging/OVProtocol.h"
#include "messaging/OVWormhole.h"
#include "model/OVActionsManager.h"
#include "model/OVShellScriptAction.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/GRef.h"
#include "platform/GuiResources.h"
#include "platform/ProductPaths.h"
#include "support/TestSupport.h"

#include <adwaita.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace settingstest {

// Counts the wormhole messages of one name in the test's container.
class MessageCounter {
public:
    explicit MessageCounter(const std::string& name)
    {
        hole_ = OVProtocol::wormhole();
        hole_->listenForMessageWithIdentifier(name, [this](const auto&) { ++count_; });
    }
    int count() const { return count_; }
    // Waits (capped) until more than `seen` messages arrived.
    bool waitBeyond(int seen, unsigned timeoutMs = 5000) const
    {
        return ovtest::pumpUntil([&] { return count_ > seen; }, timeoutMs);
    }

private:
    std::shared_ptr<OVWormhole> hole_;
    int count_ = 0;
};

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ov::guiReady())
            GTEST_SKIP() << "no display";
        home_ = std::make_unique<ovtest::TempHome>();
        defaults_ = OVUserDefaults::create();
    }

    void TearDown() override
    {
        for (GtkWindow* w : windows_)
            gtk_window_destroy(w);
        windows_.clear();
        closeAlerts();
        settle();
        home_.reset();
    }

    // A store of the test's own holding user actions titled "Action 0", "Action 1"...
    std::shared_ptr<OVActionsManager> makeStore(int count, bool save = true)
    {
        auto store = OVActionsManager::create();
        EXPECT_TRUE(store);
        OVActionList actions;
        for (int i = 0; i < count; ++i) {
            auto a = OVAction::action<OVShellScriptAction>();
            a->setTitle("Action " + std::to_string(i));
            actions.push_back(a);
        }
        store->updateActions(actions);
        if (save)
            store->actuallySave();
        return store;
    }

    static std::vector<std::string> titles(const OVActionList& actions)
    {
        std::vector<std::string> out;
        for (const auto& a : actions)
            out.push_back(a->title().value_or("<none>"));
        return out;
    }

    // The titles of the saved top-level actions, the first `count` of them.
    static std::vector<std::string> savedTitles(std::size_t count = SIZE_MAX)
    {
        auto fresh = OVActionsManager::create();
        auto all = fresh ? titles(fresh->actions()) : std::vector<std::string>{"<unreadable>"};
        all.resize(std::min(count, all.size()));
        return all;
    }

    // A window of the test's own around a view, shown and laid out.
    GtkWindow* showInWindow(GtkWidget* view, int width = 800, int height = 600)
    {
        GtkWindow* window = GTK_WINDOW(gtk_window_new());
        gtk_window_set_default_size(window, width, height);
        gtk_window_set_child(window, view);
        gtk_window_present(window);
        windows_.push_back(window);
        ovtest::pumpUntil([&] { return gtk_widget_get_mapped(view) && gtk_widget_get_height(view) > 0; });
        settle();
        return window;
    }

    // Lets pending layout and idle work run.
    static void settle()
    {
        ovtest::pumpUntil([] { return !g_main_context_pending(nullptr); }, 2000);
    }

    // What Return in an entry does: its text field activates.
    static void pressReturn(GtkEntry* entry)
    {
        g_signal_emit_by_name(gtk_editable_get_delegate(GTK_EDITABLE(entry)), "activate");
    }

    // The widget holds its window's focus (the window itself may not be active under Xvfb).
    static bool hasFocus(GtkEntry* entry)
    {
        GtkRoot* root = gtk_widget_get_root(GTK_WIDGET(entry));
        GtkWidget* focus = root ? gtk_root_get_focus(root) : nullptr;
        return focus && (focus == GTK_WIDGET(entry) || gtk_widget_is_ancestor(focus, GTK_WIDGET(entry)));
    }

    // The message dialogs that exist (shown only, unless asked for all).
    static std::vector<AdwMessageDialog*> alerts(bool shownOnly = true)
    {
        std::vector<AdwMessageDialog*> found;
        GListModel* toplevels = gtk_window_get_toplevels();
        for (guint i = 0; i < g_list_model_get_n_items(toplevels); ++i) {
            ov::GRef<GObject> item(G_OBJECT(g_list_model_get_item(toplevels, i)));
            if (ADW_IS_MESSAGE_DIALOG(item.get()) && (!shownOnly || gtk_widget_get_visible(GTK_WIDGET(item.get()))))
                found.push_back(ADW_MESSAGE_DIALOG(item.get()));
        }
        return found;
    }

    // The message dialog on screen with this heading, or null.
    static AdwMessageDialog* findAlert(const std::string& heading)
    {
        for (AdwMessageDialog* alert : alerts()) {
            const char* h = adw_message_dialog_get_heading(alert);
            if (h && heading == h)
                return alert;
        }
        return nullptr;
    }

    static int countAlerts() { return int(alerts().size()); }

    static AdwMessageDialog* waitForAlert(const std::string& heading)
    {
        AdwMessageDialog* found = nullptr;
        ovtest::pumpUntil([&] { return (found = findAlert(heading)) != nullptr; }, 3000);
        return found;
    }

    static GtkButton* findButton(GtkWidget* widget, const std::string& label)
    {
        if (GTK_IS_BUTTON(widget) && gtk_button_get_label(GTK_BUTTON(widget)) && label == gtk_button_get_label(GTK_BUTTON(widget)))
            return GTK_BUTTON(widget);
        for (GtkWidget* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child))
            if (GtkButton* found = findButton(child, label))
                return found;
        return nullptr;
    }

    // Ticks the suppression box if asked, then clicks the button of that index.
    static void answer(AdwMessageDialog* alert, int button, bool tickSuppression = false)
    {
        if (tickSuppression) {
            GtkWidget* box = adw_message_dialog_get_extra_child(alert);
            ASSERT_TRUE(box && GTK_IS_CHECK_BUTTON(box));
            gtk_check_button_set_active(GTK_CHECK_BUTTON(box), TRUE);
        }
        const char* label = adw_message_dialog_get_response_label(alert, std::to_string(button).c_str());
        ASSERT_TRUE(label);
        GtkButton* target = findButton(GTK_WIDGET(alert), label);
        ASSERT_TRUE(target) << label;
        g_signal_emit_by_name(target, "clicked");
        settle();
    }

    static void closeAlerts()
    {
        for (AdwMessageDialog* alert : alerts(false))
            gtk_window_destroy(GTK_WINDOW(alert));
    }

    std::unique_ptr<ovtest::TempHome> home_;
    std::shared_ptr<OVUserDefaults> defaults_;
    std::vector<GtkWindow*> windows_;
};

} // namespace settingstest
