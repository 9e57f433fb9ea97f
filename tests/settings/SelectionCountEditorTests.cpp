// SPDX-License-Identifier: GPL-3.0-or-later
// The selection counts under every kind editor, driven through their controls and checked in
// the action and in Actions.plist.
#include "SettingsTestSupport.h"

#include "model/OVMoveActionGroup.h"
#include "model/OVUnknownAction.h"
#include "settings/OVEditorModule.h"
#include "support/UnknownActions.h"

namespace {

class SelectionCountEditor : public settingstest::SettingsTest {
protected:
    std::shared_ptr<OVEditorModule> showEditor(const std::shared_ptr<OVActionsManager>& store)
    {
        auto editor = HLViewController::controller<OVEditorModule>(store, defaults_);
        showInWindow(editor->view());
        EXPECT_TRUE(ovtest::pumpUntil([&] { return g_list_model_get_n_items(G_LIST_MODEL(editor->selectionModel())) ==
                                                  store->actions().size(); }));
        return editor;
    }

    // The counts of the row's action as a fresh store reads them from Actions.plist, once saved.
    static bool savedAs(std::size_t row, const OVSelectionCounts& expected)
    {
        return ovtest::pumpUntil([&] {
            auto fresh = OVActionsManager::create();
            return fresh && fresh->actions().size() > row && fresh->actions()[row]->selectionCounts() == expected;
        });
    }

    static bool visible(GtkWidget* widget) { return gtk_widget_is_visible(widget); }
};

TEST_F(SelectionCountEditor, EveryKindShowsTheChoiceAndForOneItemIsSaved)
{
    auto store = makeStore(2);
    auto group = OVAction::action<OVMoveActionGroup>();
    group->setTitle("Group");
    store->addAction(group);
    store->actuallySave();
    auto editor = showEditor(store);
    const OVSelectionCountControl& counts = editor->selectionCounts();

    EXPECT_FALSE(visible(counts.view())) << "nothing selected, nothing to limit";
    editor->selectRows({0});
    ASSERT_TRUE(visible(counts.view()));
    EXPECT_EQ(gtk_widget_get_parent(counts.view()), editor->moduleContentView());
    EXPECT_EQ(gtk_widget_get_last_child(editor->moduleContentView()), counts.view()) << "below the kind editor";
    EXPECT_EQ(gtk_drop_down_get_selected(counts.choiceDropDown()), OVSelectionCountControl::AnyNumber);

    gtk_drop_down_set_selected(counts.choiceDropDown(), OVSelectionCountControl::OneItem);
    EXPECT_EQ(store->actions()[0]->selectionCounts(), (OVSelectionCounts{1, 1}));
    EXPECT_TRUE(savedAs(0, {1, 1}));

    // A group (another kind, another editor) gets the same control, showing its own counts.
    editor->selectRows({2});
    EXPECT_EQ(counts.action(), group);
    EXPECT_EQ(gtk_drop_down_get_selected(counts.choiceDropDown()), OVSelectionCountControl::AnyNumber);
    gtk_drop_down_set_selected(counts.choiceDropDown(), OVSelectionCountControl::TwoOrMore);
    EXPECT_TRUE(savedAs(2, {2, std::nullopt}));

    // Back on the first action, its choice shows again; "any number" removes the limit.
    editor->selectRows({0});
    EXPECT_EQ(gtk_drop_down_get_selected(counts.choiceDropDown()), OVSelectionCountControl::OneItem);
    EXPECT_FALSE(visible(GTK_WIDGET(counts.minimumSpin())));
    gtk_drop_down_set_selected(counts.choiceDropDown(), OVSelectionCountControl::AnyNumber);
    EXPECT_TRUE(savedAs(0, {}));
}

TEST_F(SelectionCountEditor, ACustomRangeNeverCrossesItsEnds)
{
    auto store = makeStore(1);
    auto editor = showEditor(store);
    editor->selectRows({0});
    const OVSelectionCountControl& counts = editor->selectionCounts();

    gtk_drop_down_set_selected(counts.choiceDropDown(), OVSelectionCountControl::CustomRange);
    ASSERT_TRUE(visible(GTK_WIDGET(counts.minimumSpin())));
    EXPECT_EQ(gtk_drop_down_get_selected(counts.choiceDropDown()), OVSelectionCountControl::CustomRange)
        << "the range stays open though 1 to 1 is also a preset";
    gtk_spin_button_set_value(counts.maximumSpin(), 5);
    gtk_spin_button_set_value(counts.minimumSpin(), 3);
    EXPECT_TRUE(savedAs(0, {3, 5}));

    // Raising the start past the end takes the end along, instead of a range that limits nothing.
    gtk_spin_button_set_value(counts.minimumSpin(), 7);
    EXPECT_EQ(gtk_spin_button_get_value_as_int(counts.maximumSpin()), 7);
    EXPECT_TRUE(savedAs(0, {7, 7}));
    // Lowering the end below the start takes the start along.
    gtk_spin_button_set_value(counts.maximumSpin(), 2);
    EXPECT_EQ(gtk_spin_button_get_value_as_int(counts.minimumSpin()), 2);
    EXPECT_TRUE(savedAs(0, {2, 2}));

    gtk_check_button_set_active(counts.noMaximumCheck(), TRUE);
    EXPECT_FALSE(gtk_widget_get_sensitive(GTK_WIDGET(counts.maximumSpin())));
    EXPECT_TRUE(savedAs(0, {2, std::nullopt}));
    EXPECT_EQ(gtk_drop_down_get_selected(counts.choiceDropDown()), OVSelectionCountControl::CustomRange);
}

TEST_F(SelectionCountEditor, AnActionOfAnUnknownKindGetsNoCounts)
{
    auto store = makeStore(1, false);
    store->addAction(ovtest::unknownAction("Future"));
    store->actuallySave();
    auto editor = showEditor(store);
    editor->selectRows({1});
    EXPECT_FALSE(visible(editor->selectionCounts().view()));
    editor->selectRows({0});
    EXPECT_TRUE(visible(editor->selectionCounts().view()));
}

} // namespace
