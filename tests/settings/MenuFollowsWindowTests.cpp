// SPDX-License-Identifier: GPL-3.0-or-later
// Every change made in the settings window reaches the file manager's menu: after the store's
// (or the preferences') message, the built orvane-menu prints the changed menu.
#include "SettingsTestSupport.h"

#include "messaging/OVProtocol.h"
#include "settings/OVEditorModule.h"
#include "settings/OVMainWindowController.h"
#include "settings/RZPreferencesModule.h"

namespace {

using settingstest::MessageCounter;

class MenuFollowsWindow : public settingstest::SettingsTest {
protected:
    // The menu the file manager would show for the file, as orvane-menu prints it.
    std::string menu() const
    {
        const std::string tool = std::string(ORVANE_BINARY_DIR) + "/extension/orvane-menu";
        const char* argv[] = {tool.c_str(), "--kind", "items", file_.c_str(), nullptr};
        char* out = nullptr;
        int status = 0;
        GError* error = nullptr;
        if (!g_spawn_sync(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_STDERR_TO_DEV_NULL, nullptr, nullptr, &out,
                          nullptr, &status, &error)) {
            ADD_FAILURE() << error->message;
            g_error_free(error);
            return {};
        }
        std::string text = out ? out : "";
        g_free(out);
        EXPECT_TRUE(g_spawn_check_wait_status(status, nullptr)) << text;
        return text;
    }

    static bool has(const std::string& menu, const std::string& title) { return menu.find(title) != std::string::npos; }
    static bool before(const std::string& menu, const std::string& first, const std::string& second)
    {
        return has(menu, first) && has(menu, second) && menu.find(first) < menu.find(second);
    }

    std::string file_;
};

TEST_F(MenuFollowsWindow, ToggleRenameDragAddDeleteAndSubmenuPreferenceShowInOrvaneMenu)
{
    auto store = makeStore(3);
    file_ = home_->writeFile("files/note.txt", "a note");
    auto c = HLWindowController::controller<OVMainWindowController>(store, defaults_);
    c->showWindow();
    c->selectModuleAtRow(OVMainWindowController::kEditorRow);
    auto editor = c->editorModule();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return editor->switchAt(2) != nullptr; }));
    MessageCounter changes(OVProtocol::kDidChangeNotification);
    MessageCounter preferences(OVProtocol::kUserDefaultsDidChangeNotification);
    std::string shown = menu();
    ASSERT_TRUE(has(shown, "Action 0") && has(shown, "Action 1") && has(shown, "Action 2")) << shown;

    gtk_switch_set_active(editor->switchAt(1), FALSE);
    ASSERT_TRUE(changes.waitBeyond(0));
    shown = menu();
    EXPECT_FALSE(has(shown, "Action 1")) << shown;

    editor->selectRows({0});
    editor->editDisplayName();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return editor->isEditingName(0); }));
    gtk_editable_set_text(GTK_EDITABLE(editor->nameFieldAt(0)), "Renamed zero");
    pressReturn(editor->nameFieldAt(0));
    ASSERT_TRUE(changes.waitBeyond(1));
    shown = menu();
    EXPECT_TRUE(has(shown, "Renamed zero") && !has(shown, "Action 0")) << shown;

    GValue value = G_VALUE_INIT;
    {
        ov::GRef<GdkContentProvider> drag(editor->writeRowsWithIndexes({2}));
        g_value_init(&value, g_type_from_name(OVEditorModule::kDragType));
        ASSERT_TRUE(gdk_content_provider_get_value(drag.get(), &value, nullptr));
    }
    ASSERT_TRUE(editor->acceptDrop(&value, 0, OVEditorModule::DropOperation::Above));
    g_value_unset(&value);
    ASSERT_TRUE(changes.waitBeyond(2));
    shown = menu();
    EXPECT_TRUE(before(shown, "Action 2", "Renamed zero")) << shown;

    editor->addAction(OVEditorModule::kAddShellScript);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return editor->editingTextField() != nullptr; }));
    GtkEntry* field = editor->editingTextField();
    gtk_editable_set_text(GTK_EDITABLE(field), "Fresh script");
    pressReturn(field);
    ASSERT_TRUE(changes.waitBeyond(3));
    shown = menu();
    EXPECT_TRUE(before(shown, "Renamed zero", "Fresh script")) << shown;

    defaults_->setSuppressActionDeletionAlert(true);
    editor->selectRows({1});
    editor->remove();
    ASSERT_TRUE(changes.waitBeyond(4));
    shown = menu();
    EXPECT_FALSE(has(shown, "Renamed zero")) << shown;
    EXPECT_TRUE(has(shown, "Action 2") && has(shown, "Fresh script")) << shown;

    // The submenu preference: wrapped in one "Orvane" item, or flat.
    c->selectModuleAtRow(OVMainWindowController::kPreferencesRow);
    const int seen = preferences.count();
    gtk_check_button_set_active(c->preferencesModule()->submenuCheckbox(), FALSE);
    ASSERT_TRUE(preferences.waitBeyond(seen));
    const std::string flat = menu();
    gtk_check_button_set_active(c->preferencesModule()->submenuCheckbox(), TRUE);
    const std::string wrapped = menu();
    EXPECT_EQ(flat.rfind("Action 2", 0), 0u) << flat;
    EXPECT_EQ(wrapped.rfind("Orvane", 0), 0u) << wrapped;
    c->close();
}

} // namespace
