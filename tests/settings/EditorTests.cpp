// SPDX-License-Identifier: GPL-3.0-or-later
// The action list editor, driven through its commands and its table, checked in the store, in
// Actions.plist and in what the rows show.
#include "SettingsTestSupport.h"

#include "messaging/OVProtocol.h"
#include "model/OVBundledScriptAction.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVOpenWithAppAction.h"
#include "model/OVTypes.h"
#include "settings/OVEditorModule.h"
#include "settings/OVEditorRegistry.h"
#include "settings/OVEmptyModule.h"
#include "model/OVUnknownAction.h"
#include "support/UnknownActions.h"

namespace {

using settingstest::MessageCounter;

class Editor : public settingstest::SettingsTest {
protected:
    std::shared_ptr<OVEditorModule> showEditor(const std::shared_ptr<OVActionsManager>& store)
    {
        auto editor = HLViewController::controller<OVEditorModule>(store, defaults_);
        showInWindow(editor->view());
        EXPECT_TRUE(ovtest::pumpUntil([&] { return rowsShowStore(*editor, *store); }));
        return editor;
    }

    // Every row on screen shows the title and switch of the store's action at its place.
    static bool rowsShowStore(const OVEditorModule& editor, const OVActionsManager& store)
    {
        const OVActionList actions = store.actions();
        if (g_list_model_get_n_items(G_LIST_MODEL(editor.selectionModel())) != actions.size())
            return false;
        for (unsigned i = 0; i < actions.size() && i < 8; ++i) {
            GtkLabel* name = editor.nameLabelAt(i);
            const std::string shown =
                actions[i]->isUnknown() ? OVUnknownAction::kDisplayTitle : actions[i]->title().value_or("");
            if (!name || shown != gtk_label_get_text(name)
                || bool(gtk_switch_get_active(editor.switchAt(i))) != actions[i]->enabled())
                return false;
        }
        return true;
    }

    static void command(const OVEditorModule& editor, const char* name)
    {
        ASSERT_TRUE(gtk_widget_activate_action(editor.view(), name, nullptr)) << name;
    }

    // What a drag of these rows from that table carries.
    static void dragValue(const OVEditorModule& from, const std::vector<unsigned>& rows, GValue* value)
    {
        ov::GRef<GdkContentProvider> provider(from.writeRowsWithIndexes(rows));
        g_value_init(value, g_type_from_name(OVEditorModule::kDragType));
        ASSERT_TRUE(gdk_content_provider_get_value(provider.get(), value, nullptr));
    }

    // Types into the row's open name field and presses Return.
    static void rename(const OVEditorModule& editor, unsigned row, const char* text)
    {
        ASSERT_TRUE(ovtest::pumpUntil([&] { return editor.isEditingName(row); }));
        GtkEntry* field = editor.nameFieldAt(row);
        gtk_editable_set_text(GTK_EDITABLE(field), text);
        pressReturn(field);
    }

    static std::vector<std::string> menuLabels(GMenuModel* menu)
    {
        std::vector<std::string> labels;
        for (int i = 0; i < g_menu_model_get_n_items(menu); ++i) {
            char* label = nullptr;
            if (g_menu_model_get_item_attribute(menu, i, G_MENU_ATTRIBUTE_LABEL, "s", &label)) {
                labels.emplace_back(label);
                g_free(label);
            }
        }
        return labels;
    }

    // The centre, top edge and bottom edge of a drawn row, in table coordinates.
    static graphene_rect_t rowBounds(const OVEditorModule& editor, unsigned index)
    {
        graphene_rect_t bounds = GRAPHENE_RECT_INIT(0, 0, 0, 0);
        GtkWidget* row = gtk_widget_get_parent(gtk_widget_get_parent(GTK_WIDGET(editor.nameLabelAt(index))));
        GtkWidget* cell = gtk_widget_get_parent(row);
        EXPECT_TRUE(gtk_widget_compute_bounds(cell, GTK_WIDGET(editor.tableView()), &bounds));
        return bounds;
    }
};

TEST_F(Editor, DraggedRowsMoveAsABlockAboveTheGapAndOnlyBetweenRowsOfThisTable)
{
    auto store = makeStore(5);
    auto editor = showEditor(store);
    MessageCounter changes(OVProtocol::kDidChangeNotification);

    GValue value = G_VALUE_INIT;
    dragValue(*editor, {1, 3}, &value);

    // The table's geometry: the middle of a row is the row itself, its top edge the gap above.
    const graphene_rect_t row2 = rowBounds(*editor, 2), row4 = rowBounds(*editor, 4);
    auto onto = editor->dropLocationAt(10, row2.origin.y + row2.size.height / 2);
    ASSERT_TRUE(onto);
    EXPECT_EQ(onto->row, 2u);
    EXPECT_EQ(onto->operation, OVEditorModule::DropOperation::On);
    auto gap = editor->dropLocationAt(10, row4.origin.y + 1);
    ASSERT_TRUE(gap);
    EXPECT_EQ(gap->row, 4u);
    EXPECT_EQ(gap->operation, OVEditorModule::DropOperation::Above);
    auto end = editor->dropLocationAt(10, row4.origin.y + row4.size.height - 1);
    ASSERT_TRUE(end);
    EXPECT_EQ(end->row, 5u);

    // Onto a row: refused, nothing moves.
    EXPECT_FALSE(editor->validateDrop(&value, 2, OVEditorModule::DropOperation::On));
    EXPECT_FALSE(editor->acceptDrop(&value, 2, OVEditorModule::DropOperation::On));
    EXPECT_EQ(titles(store->actions()), (std::vector<std::string>{"Action 0", "Action 1", "Action 2", "Action 3", "Action 4"}));

    ASSERT_TRUE(editor->validateDrop(&value, 4, OVEditorModule::DropOperation::Above));
    ASSERT_TRUE(editor->acceptDrop(&value, 4, OVEditorModule::DropOperation::Above));
    const std::vector<std::string> expected{"Action 0", "Action 2", "Action 1", "Action 3", "Action 4"};
    EXPECT_EQ(titles(store->actions()), expected);
    EXPECT_EQ(editor->selectedRows(), (std::vector<unsigned>{2, 3}));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return rowsShowStore(*editor, *store); }));
    ASSERT_TRUE(changes.waitBeyond(0));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return savedTitles() == expected; }));
    g_value_unset(&value);

    // Row numbers from another table mean nothing here.
    auto other = HLViewController::controller<OVEditorModule>(store, defaults_);
    dragValue(*other, {0}, &value);
    EXPECT_FALSE(editor->validateDrop(&value, 5, OVEditorModule::DropOperation::Above));
    EXPECT_FALSE(editor->acceptDrop(&value, 5, OVEditorModule::DropOperation::Above));
    EXPECT_EQ(titles(store->actions()), expected);
    g_value_unset(&value);

    // Numbers outside the list are ignored; the rest still move.
    dragValue(*editor, {0, 7, 99}, &value);
    ASSERT_TRUE(editor->acceptDrop(&value, 5, OVEditorModule::DropOperation::Above));
    EXPECT_EQ(titles(store->actions()), (std::vector<std::string>{"Action 2", "Action 1", "Action 3", "Action 4", "Action 0"}));
    EXPECT_EQ(editor->selectedRows(), (std::vector<unsigned>{4}));
    g_value_unset(&value);
    dragValue(*editor, {42}, &value);
    EXPECT_FALSE(editor->acceptDrop(&value, 0, OVEditorModule::DropOperation::Above));
    g_value_unset(&value);
    EXPECT_TRUE(ovtest::pumpUntil([&] { return rowsShowStore(*editor, *store); }));
}

TEST_F(Editor, MovingPastEitherEndKeepsTheOrderButSavesAndReselects)
{
    auto store = makeStore(5);
    auto editor = showEditor(store);
    MessageCounter changes(OVProtocol::kDidChangeNotification);
    const auto original = titles(store->actions());

    editor->selectRows({0});
    command(*editor, "editor.move-up");
    EXPECT_EQ(titles(store->actions()), original);
    EXPECT_EQ(editor->selectedRows(), (std::vector<unsigned>{0}));
    ASSERT_TRUE(changes.waitBeyond(0));

    editor->selectRows({4});
    command(*editor, "editor.move-down");
    EXPECT_EQ(titles(store->actions()), original);
    EXPECT_EQ(editor->selectedRows(), (std::vector<unsigned>{4}));
    ASSERT_TRUE(changes.waitBeyond(1));

    editor->selectRows({2, 3}); // the first target row moves
    command(*editor, "editor.move-up");
    EXPECT_EQ(titles(store->actions()), (std::vector<std::string>{"Action 0", "Action 2", "Action 1", "Action 3", "Action 4"}));
    EXPECT_EQ(editor->selectedRows(), (std::vector<unsigned>{1}));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return rowsShowStore(*editor, *store); }));
    ASSERT_TRUE(changes.waitBeyond(2));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return savedTitles() == titles(store->actions()); }));
}

TEST_F(Editor, RenamingTrimsKeepsTheTitleForBlanksAndDropsAnActionThatNeverGotAName)
{
    auto store = makeStore(3);
    store->actions()[2]->setTitle(std::nullopt); // a new kind without a default title
    auto editor = showEditor(store);
    MessageCounter changes(OVProtocol::kDidChangeNotification);

    editor->selectRows({0});
    command(*editor, "editor.rename");
    EXPECT_EQ(editor->editingTextField(), editor->nameFieldAt(0));
    rename(*editor, 0, "  Renamed \n");
    EXPECT_EQ(store->actions()[0]->title(), "Renamed");
    EXPECT_STREQ(gtk_label_get_text(editor->nameLabelAt(0)), "Renamed");
    EXPECT_EQ(editor->editingTextField(), nullptr);
    ASSERT_TRUE(changes.waitBeyond(0));

    editor->selectRows({1});
    command(*editor, "editor.rename");
    rename(*editor, 1, " \t ");
    EXPECT_EQ(store->actions()[1]->title(), "Action 1");
    EXPECT_STREQ(gtk_label_get_text(editor->nameLabelAt(1)), "Action 1");

    // Double-click on the untitled row, then nothing typed: it goes.
    editor->selectRows({2});
    editor->didDoubleClickTableView(2);
    auto untitled = store->actions()[2];
    rename(*editor, 2, "");
    ASSERT_EQ(store->actions().size(), 2u);
    EXPECT_EQ(titles(store->actions()), (std::vector<std::string>{"Renamed", "Action 1"}));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return rowsShowStore(*editor, *store); }));
    ASSERT_TRUE(ovtest::pumpUntil([] { return savedTitles().size() == 2; }));
    EXPECT_EQ(savedTitles(), (std::vector<std::string>{"Renamed", "Action 1"}));

    // A rename still open when the table reloads is applied to its own action.
    editor->selectRows({1});
    command(*editor, "editor.rename");
    ASSERT_TRUE(ovtest::pumpUntil([&] { return editor->isEditingName(1); }));
    gtk_editable_set_text(GTK_EDITABLE(editor->nameFieldAt(1)), "Typed before the move");
    editor->selectRows({0});
    command(*editor, "editor.move-down");
    EXPECT_EQ(titles(store->actions()), (std::vector<std::string>{"Typed before the move", "Renamed"}));
}

TEST_F(Editor, DeletingAsksOnceKeepsDefaultsAndHonoursTheSuppressionBox)
{
    auto store = makeStore(5);
    store->actions()[0]->setIsDefault(true);
    store->actions()[2]->setIsDefault(true);
    auto editor = showEditor(store);
    MessageCounter changes(OVProtocol::kDidChangeNotification);
    const std::string question = "Are you sure you want to delete this action?";

    // Only defaults selected: the remove button is off; a user action turns it on.
    editor->selectRows({0, 2});
    EXPECT_FALSE(gtk_widget_get_sensitive(GTK_WIDGET(editor->removeButton())));
    editor->selectRows({0, 1, 2});
    EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(editor->removeButton())));

    command(*editor, "editor.remove");
    command(*editor, "editor.remove"); // a second press while the sheet is up asks nothing more
    AdwMessageDialog* alert = waitForAlert(question);
    ASSERT_TRUE(alert);
    settle();
    EXPECT_EQ(countAlerts(), 1);
    EXPECT_STREQ(adw_message_dialog_get_body(alert), "This action can not be undone.");
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(alert)), GTK_WINDOW(gtk_widget_get_root(editor->view())));
    EXPECT_EQ(store->actions().size(), 5u);
    answer(alert, 0);
    EXPECT_EQ(titles(store->actions()), (std::vector<std::string>{"Action 0", "Action 2", "Action 3", "Action 4"}));
    EXPECT_FALSE(defaults_->suppressActionDeletionAlert());
    ASSERT_TRUE(changes.waitBeyond(0));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return savedTitles() == titles(store->actions()); }));

    // Cancel changes nothing.
    editor->selectRows({2});
    editor->deleteSelectedGroups();
    alert = waitForAlert(question);
    ASSERT_TRUE(alert);
    answer(alert, 1);
    EXPECT_EQ(store->actions().size(), 4u);

    // Ticking the box: this deletion happens and later ones are not asked about.
    editor->selectRows({2});
    editor->tableViewDeleteFromKeyboard();
    alert = waitForAlert(question);
    ASSERT_TRUE(alert);
    answer(alert, 0, true);
    EXPECT_TRUE(OVUserDefaults::create()->suppressActionDeletionAlert());
    EXPECT_EQ(titles(store->actions()), (std::vector<std::string>{"Action 0", "Action 2", "Action 4"}));

    editor->selectRows({2});
    command(*editor, "editor.remove");
    settle();
    EXPECT_EQ(countAlerts(), 0);
    EXPECT_EQ(titles(store->actions()), (std::vector<std::string>{"Action 0", "Action 2"}));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return rowsShowStore(*editor, *store); }));
}

TEST_F(Editor, AddedActionsGoLastStartEditingAndAreSavedOnceNamed)
{
    auto store = makeStore(2);
    auto editor = showEditor(store);
    MessageCounter changes(OVProtocol::kDidChangeNotification);

    ASSERT_TRUE(gtk_widget_activate_action(editor->view(), "editor.add-action", "i", int(OVEditorModule::kAddMove)));
    ASSERT_EQ(store->actions().size(), 3u);
    auto added = std::dynamic_pointer_cast<OVMoveActionGroup>(store->actions()[2]);
    ASSERT_TRUE(added);
    EXPECT_EQ(added->title(), "Move to a folder");
    EXPECT_TRUE(added->enabled());
    EXPECT_EQ(editor->selectedRows(), (std::vector<unsigned>{2}));
    ASSERT_TRUE(ovtest::pumpUntil([&] {
        return editor->isEditingName(2) && editor->editingTextField() == editor->nameFieldAt(2)
            && hasFocus(editor->nameFieldAt(2));
    }));
    EXPECT_EQ(savedTitles().size(), 2u); // adding alone does not save
    rename(*editor, 2, "Projects");
    ASSERT_TRUE(changes.waitBeyond(0));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return savedTitles() == (std::vector<std::string>{"Action 0", "Action 1", "Projects"}); }));

    // Codes without a case add nothing and say so.
    ovtest::LogCapture log;
    editor->addAction(OVEditorModule::kAddAppleScript);
    editor->addAction(5);
    EXPECT_TRUE(log.contains("Not handled: 3"));
    EXPECT_TRUE(log.contains("Not handled: 5"));
    EXPECT_EQ(store->actions().size(), 3u);

    // A built-in script for folders.
    editor->addAction(OVEditorModule::kAddTerminalTab);
    ASSERT_EQ(store->actions().size(), 4u);
    auto script = std::dynamic_pointer_cast<OVBundledScriptAction>(store->actions()[3]);
    ASSERT_TRUE(script);
    EXPECT_EQ(script->title(), "New Terminal Tab Here");
    EXPECT_EQ(script->fileTypes(), (std::optional<OVStringList>{OVStringList{kUTTypeFolder}}));
}

TEST_F(Editor, TheFirstActionOfAnEmptyListIsNotSelectedButItsNameIsBeingEdited)
{
    auto store = makeStore(0);
    auto editor = showEditor(store);
    editor->addAction(OVEditorModule::kAddShellScript);
    ASSERT_EQ(store->actions().size(), 1u);
    EXPECT_TRUE(editor->selectedRows().empty());
    EXPECT_TRUE(ovtest::pumpUntil([&] { return editor->isEditingName(0); }));
    EXPECT_TRUE(std::dynamic_pointer_cast<OVEmptyModule>(editor->currentModule()));
}

TEST_F(Editor, ContextMenuLeavesOutTaggedItemsForDefaultActionsAndSelectsTheClickedRow)
{
    auto store = makeStore(3);
    store->actions()[0]->setIsDefault(true);
    auto editor = showEditor(store);
    const graphene_rect_t row0 = rowBounds(*editor, 0), row1 = rowBounds(*editor, 1);

    editor->popUpContextMenu(editor->rowAt(row0.origin.y + 2), 20, row0.origin.y + 2);
    EXPECT_EQ(editor->selectedRows(), (std::vector<unsigned>{0}));
    EXPECT_EQ(menuLabels(editor->editMenu()), (std::vector<std::string>{"Rename", "Move Up", "Move Down"}));
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(editor->contextMenu())));
    gtk_popover_popdown(editor->contextMenu());

    editor->popUpContextMenu(editor->rowAt(row1.origin.y + 2), 20, row1.origin.y + 2);
    EXPECT_EQ(editor->selectedRows(), (std::vector<unsigned>{1}));
    EXPECT_EQ(menuLabels(editor->editMenu()), (std::vector<std::string>{"Rename", "Move Up", "Move Down", "Remove"}));
    gtk_popover_popdown(editor->contextMenu());

    // Inside the selection the selection stays; its first row decides.
    editor->selectRows({0, 1});
    editor->popUpContextMenu(1, 20, row1.origin.y + 2);
    EXPECT_EQ(editor->selectedRows(), (std::vector<unsigned>{0, 1}));
    EXPECT_EQ(menuLabels(editor->editMenu()).size(), 3u);
    gtk_popover_popdown(editor->contextMenu());

    // Nothing to act on: no menu.
    editor->selectRows({});
    editor->popUpContextMenu(std::nullopt, 20, 500);
    EXPECT_EQ(g_menu_model_get_n_items(editor->editMenu()), 0);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(editor->contextMenu())));
}

// A stand-in kind editor, registered by class name as the real ones will be.
class RecordingEditor : public HLModuleViewController {
public:
    OVActionPtr action;

protected:
    RecordingEditor() = default;
    friend class HLViewController;
};

TEST_F(Editor, SwitchesWriteTheStoreAndSelectionShowsTheKindsEditor)
{
    auto store = makeStore(3);
    auto editor = showEditor(store);
    MessageCounter changes(OVProtocol::kDidChangeNotification);

    gtk_switch_set_active(editor->switchAt(1), FALSE);
    EXPECT_FALSE(store->actions()[1]->enabled());
    ASSERT_TRUE(changes.waitBeyond(0));
    EXPECT_FALSE(OVActionsManager::create()->actions()[1]->enabled());

    // A kind whose editor class name names no editor gets the empty one.
    store->addAction(OVAction::action<OVOpenWithAppAction>());
    editor->reloadData();
    editor->selectRows({3});
    EXPECT_TRUE(std::dynamic_pointer_cast<OVEmptyModule>(editor->currentModule()));
    OVEditorRegistry::registerEditor("OVShellScriptModule", [](const OVActionPtr& action) {
        auto e = HLViewController::controller<RecordingEditor>();
        e->action = action;
        return e;
    });
    editor->selectRows({2});
    auto shown = std::dynamic_pointer_cast<RecordingEditor>(editor->currentModule());
    OVEditorRegistry::unregisterEditor("OVShellScriptModule");
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->action, store->actions()[2]);
    EXPECT_TRUE(shown->moduleIsVisible());
    EXPECT_EQ(gtk_widget_get_parent(shown->view()), editor->moduleContentView());

    editor->selectRows({});
    EXPECT_TRUE(std::dynamic_pointer_cast<OVEmptyModule>(editor->currentModule()));
    EXPECT_FALSE(shown->moduleIsVisible());
    EXPECT_EQ(gtk_widget_get_parent(shown->view()), nullptr);
}

// A store written by a newer version: its action of an unknown kind is listed, off and locked,
// with no editor; it cannot be renamed, and the user may remove it.
TEST_F(Editor, AnActionOfAnUnknownKindIsShownOffCannotBeEditedAndCanBeRemoved)
{
    {
        auto writer = makeStore(2, false);
        OVActionList actions = writer->actions();
        actions.insert(actions.begin() + 1, ovtest::unknownAction("Future"));
        writer->updateActions(actions);
        ASSERT_TRUE(writer->saveToFile());
    }
    auto store = OVActionsManager::create();
    ASSERT_TRUE(store);
    ASSERT_EQ(store->actions().size(), 3u);
    auto editor = showEditor(store);
    EXPECT_STREQ(gtk_label_get_text(editor->nameLabelAt(1)), "Unknown action (from a newer Orvane)");
    EXPECT_FALSE(gtk_switch_get_active(editor->switchAt(1)));
    EXPECT_FALSE(gtk_widget_get_sensitive(GTK_WIDGET(editor->switchAt(1))));
    EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(editor->switchAt(0))));

    editor->selectRows({1});
    EXPECT_TRUE(std::dynamic_pointer_cast<OVEmptyModule>(editor->currentModule()));
    EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(editor->removeButton())));
    // Its title is not written back, so a rename would be lost: none starts.
    editor->didDoubleClickTableView(1);
    command(*editor, "editor.rename");
    settle();
    EXPECT_FALSE(editor->isEditingName(1));

    // Other edits save it back as it was read.
    gtk_switch_set_active(editor->switchAt(0), FALSE);
    EXPECT_TRUE(ovtest::pumpUntil([&] {
        auto saved = OVActionsManager::create();
        return saved && saved->actions().size() == 3 && !saved->actions()[0]->enabled() &&
               saved->actions()[1]->isUnknown();
    }));

    defaults_->setSuppressActionDeletionAlert(true);
    editor->selectRows({1});
    command(*editor, "editor.remove");
    EXPECT_EQ(titles(store->actions()), (std::vector<std::string>{"Action 0", "Action 1"}));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return savedTitles() == titles(store->actions()); }));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return rowsShowStore(*editor, *store); }));
}

} // namespace
