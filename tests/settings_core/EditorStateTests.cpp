// SPDX-License-Identifier: GPL-3.0-or-later
// The action list editor's rules without a window: what each command does to the store, what it
// saves and what the table selects afterwards.
#include "model/OVActionsManager.h"
#include "model/OVBundledScriptAction.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVShellScriptAction.h"
#include "model/OVTypes.h"
#include "model/OVUserDefaults.h"
#include "settings/OVEditorState.h"
#include "settings/OVMakeActionForAddCode.h"
#include "support/TestSupport.h"
#include "support/UnknownActions.h"

#include <gtest/gtest.h>

namespace {

using Rows = std::vector<unsigned>;
using Titles = std::vector<std::string>;
using Drop = OVEditorState::DropOperation;

Titles titles(const OVActionList& actions)
{
    Titles out;
    for (const auto& a : actions)
        out.push_back(a->title().value_or("<none>"));
    return out;
}

class EditorStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store_ = OVActionsManager::create();
        ASSERT_TRUE(store_);
        defaults_ = OVUserDefaults::create();
        state_ = std::make_unique<OVEditorState>(store_, defaults_);
    }

    // The store holds user actions "A0", "A1"..., saved as they are.
    void fill(int count)
    {
        OVActionList actions;
        for (int i = 0; i < count; ++i) {
            auto a = OVAction::action<OVShellScriptAction>();
            a->setTitle("A" + std::to_string(i));
            actions.push_back(a);
        }
        store_->updateActions(actions);
        ASSERT_TRUE(store_->saveToFile());
    }

    static Titles saved()
    {
        auto fresh = OVActionsManager::create();
        return fresh ? titles(fresh->actions()) : Titles{"<unreadable>"};
    }
    // The coalesced save has written what the store holds.
    bool savedAsHeld() const
    {
        return ovtest::pumpUntil([&] { return saved() == titles(store_->actions()); });
    }

    Titles held() const { return titles(store_->actions()); }

    ovtest::TempHome home_;
    std::shared_ptr<OVActionsManager> store_;
    std::shared_ptr<OVUserDefaults> defaults_;
    std::unique_ptr<OVEditorState> state_;
};

TEST_F(EditorStateTest, DroppedRowsGoAsOneBlockIntoTheGapCountingOnlyTheRowsAboveIt)
{
    fill(5);
    // Down: two dragged rows, one of them above the gap, so the block starts one row higher.
    EXPECT_EQ(state_->drop({1, 3}, 4, Drop::Above), (Rows{2, 3}));
    EXPECT_EQ(held(), (Titles{"A0", "A2", "A1", "A3", "A4"}));
    EXPECT_TRUE(savedAsHeld());

    // Up to the top, and down to the very end (the gap after the last row).
    EXPECT_EQ(state_->drop({4}, 0, Drop::Above), (Rows{0}));
    EXPECT_EQ(held(), (Titles{"A4", "A0", "A2", "A1", "A3"}));
    EXPECT_EQ(state_->drop({0, 1}, 5, Drop::Above), (Rows{3, 4}));
    EXPECT_EQ(held(), (Titles{"A2", "A1", "A3", "A4", "A0"}));

    // Onto its own gap: the order stays.
    EXPECT_EQ(state_->drop({2}, 2, Drop::Above), (Rows{2}));
    EXPECT_EQ(state_->drop({2}, 3, Drop::Above), (Rows{2}));
    EXPECT_EQ(held(), (Titles{"A2", "A1", "A3", "A4", "A0"}));

    // Numbers outside the list are left out; the others still move.
    EXPECT_EQ(state_->drop({9, 0, 7}, 5, Drop::Above), (Rows{4}));
    EXPECT_EQ(held(), (Titles{"A1", "A3", "A4", "A0", "A2"}));
    EXPECT_TRUE(savedAsHeld());
}

TEST_F(EditorStateTest, ADragFromTheSelectionCarriesItAndFromAnotherRowOnlyThatRow)
{
    fill(4);
    EXPECT_EQ(state_->rowsDraggedFrom(2), (Rows{2}));
    state_->setSelectedRows({0, 2});
    EXPECT_EQ(state_->rowsDraggedFrom(2), (Rows{0, 2}));
    EXPECT_EQ(state_->rowsDraggedFrom(1), (Rows{1}));
}

TEST_F(EditorStateTest, DropsOntoARowPastTheEndOrOfNoRowOfTheListAreRefusedAndChangeNothing)
{
    fill(3);
    const Titles before = held();
    EXPECT_FALSE(state_->canDrop({0}, 1, Drop::On));
    EXPECT_FALSE(state_->drop({0}, 1, Drop::On));
    EXPECT_FALSE(state_->canDrop({0}, 4, Drop::Above));
    EXPECT_FALSE(state_->drop({0}, 4, Drop::Above));
    EXPECT_FALSE(state_->canDrop({3, 8}, 0, Drop::Above));
    EXPECT_FALSE(state_->drop({3, 8}, 0, Drop::Above));
    EXPECT_FALSE(state_->canDrop({}, 0, Drop::Above));
    EXPECT_EQ(held(), before);
    EXPECT_TRUE(state_->canDrop({2}, 3, Drop::Above));
}

TEST_F(EditorStateTest, MovingTakesTheFirstTargetRowStopsAtTheEndsAndNeedsARow)
{
    fill(4);
    EXPECT_FALSE(state_->move(-1)); // nothing selected
    state_->setSelectedRows({7});
    EXPECT_FALSE(state_->move(+1)); // a row that is not there
    EXPECT_EQ(held(), (Titles{"A0", "A1", "A2", "A3"}));

    state_->setSelectedRows({0});
    EXPECT_EQ(state_->move(-1), (Rows{0}));
    state_->setSelectedRows({3});
    EXPECT_EQ(state_->move(+1), (Rows{3}));
    EXPECT_EQ(held(), (Titles{"A0", "A1", "A2", "A3"}));

    state_->setSelectedRows({2, 3});
    EXPECT_EQ(state_->move(-1), (Rows{1}));
    EXPECT_EQ(held(), (Titles{"A0", "A2", "A1", "A3"}));
    EXPECT_TRUE(savedAsHeld());

    // A right-click outside the selection acts on the clicked row alone.
    state_->setSelectedRows({0, 1});
    state_->setClickedRow(2);
    EXPECT_EQ(state_->targetRows(), (Rows{2}));
    EXPECT_EQ(state_->move(+1), (Rows{3}));
    EXPECT_EQ(held(), (Titles{"A0", "A2", "A3", "A1"}));
    // Inside it, the selection stays the target.
    state_->setClickedRow(1);
    EXPECT_EQ(state_->targetRows(), (Rows{0, 1}));
}

TEST_F(EditorStateTest, RenamingTrimsKeepsTheTitleForBlanksAndDropsAnActionThatNeverGotOne)
{
    fill(2);
    auto untitled = OVAction::action<OVShellScriptAction>();
    untitled->setTitle(std::nullopt);
    store_->addAction(untitled);
    const OVActionList actions = store_->actions();

    EXPECT_EQ(state_->rename(actions[0], " \t Renamed \r\n"), OVEditorState::Renamed::Titled);
    EXPECT_EQ(actions[0]->title(), "Renamed");
    EXPECT_TRUE(savedAsHeld());
    // Only the white space that GLib strips: a vertical tab is kept.
    EXPECT_EQ(OVEditorState::trimmedName("\f\vx\v "), "\vx\v");

    EXPECT_EQ(state_->rename(actions[1], " \n "), OVEditorState::Renamed::Kept);
    EXPECT_EQ(actions[1]->title(), "A1");

    EXPECT_EQ(state_->rename(untitled, ""), OVEditorState::Renamed::Removed);
    EXPECT_EQ(held(), (Titles{"Renamed", "A1"}));
    EXPECT_TRUE(savedAsHeld());

    // An action that left the store meanwhile is not renamed.
    EXPECT_EQ(state_->rename(untitled, "Late"), OVEditorState::Renamed::NotListed);
    EXPECT_EQ(untitled->title(), std::nullopt);
    EXPECT_EQ(state_->rename(nullptr, "Late"), OVEditorState::Renamed::NotListed);
}

TEST_F(EditorStateTest, AnUnknownKindCannotBeRenamedOrSwitchedButCanBeRemoved)
{
    fill(1);
    auto unknown = ovtest::unknownAction("Future", false);
    ASSERT_TRUE(unknown);
    store_->addAction(unknown);
    EXPECT_FALSE(OVEditorState::canRename(*unknown));
    EXPECT_TRUE(OVEditorState::canRename(*store_->actions()[0]));
    EXPECT_FALSE(state_->setEnabled(unknown, true));
    EXPECT_FALSE(unknown->enabled());

    state_->setSelectedRows({1});
    EXPECT_TRUE(state_->canRemoveSelection());
    state_->deleteActions(state_->targetActions());
    EXPECT_EQ(held(), (Titles{"A0"}));
}

TEST_F(EditorStateTest, SwitchingWritesOnlyActionsTheStoreStillHolds)
{
    fill(2);
    auto gone = store_->actions()[1];
    store_->removeAction(gone);
    EXPECT_FALSE(state_->setEnabled(gone, !gone->enabled()));
    EXPECT_EQ(gone->enabled(), OVAction::action<OVShellScriptAction>()->enabled());
    EXPECT_FALSE(state_->setEnabled(nullptr, true));

    auto kept = store_->actions()[0];
    ASSERT_TRUE(state_->setEnabled(kept, false));
    EXPECT_FALSE(kept->enabled());
    EXPECT_TRUE(ovtest::pumpUntil([] {
        auto fresh = OVActionsManager::create();
        return fresh && fresh->actions().size() == 1 && !fresh->actions()[0]->enabled();
    }));
}

TEST_F(EditorStateTest, AddingAppendsAnEnabledActionWithoutSavingAndUnknownCodesAddNothing)
{
    fill(2);
    auto added = state_->add(kAddMove);
    ASSERT_TRUE(std::dynamic_pointer_cast<OVMoveActionGroup>(added));
    EXPECT_EQ(store_->actions().back(), added);
    EXPECT_TRUE(added->enabled());
    EXPECT_EQ(state_->lastRowSelection(), (Rows{2}));
    ASSERT_TRUE(ovtest::pumpPastTimersDueWithin(300));
    EXPECT_EQ(saved(), (Titles{"A0", "A1"}));

    ovtest::LogCapture log;
    EXPECT_FALSE(state_->add(kAddAppleScript));
    EXPECT_FALSE(state_->add(5));
    EXPECT_TRUE(log.contains("Not handled: 3"));
    EXPECT_TRUE(log.contains("Not handled: 5"));
    EXPECT_EQ(store_->actions().size(), 3u);

    auto tab = std::dynamic_pointer_cast<OVBundledScriptAction>(state_->add(kAddTerminalTab));
    ASSERT_TRUE(tab);
    EXPECT_EQ(tab->fileTypes(), (std::optional<OVStringList>{OVStringList{kUTTypeFolder}}));
    auto paths = state_->add(kAddCopyPaths);
    ASSERT_TRUE(paths);
    EXPECT_EQ(paths->fileTypes(), std::nullopt);
}

TEST_F(EditorStateTest, TheLastRowIsSelectedAfterAddingOnlyInAListOfTwoOrMore)
{
    EXPECT_EQ(state_->lastRowSelection(), Rows{});
    fill(1);
    EXPECT_EQ(state_->lastRowSelection(), Rows{});
    fill(2);
    EXPECT_EQ(state_->lastRowSelection(), (Rows{1}));
}

TEST_F(EditorStateTest, DeletingKeepsDefaultsAndRemovesTheActionsAskedForEvenAfterTheyMoved)
{
    fill(4);
    store_->actions()[0]->setIsDefault(true);
    state_->setSelectedRows({0, 2, 9});
    const OVActionList victims = state_->targetActions();
    ASSERT_EQ(titles(victims), (Titles{"A0", "A2"}));

    // The rows move before the answer comes.
    state_->setSelectedRows({3});
    ASSERT_TRUE(state_->move(-1));
    EXPECT_EQ(held(), (Titles{"A0", "A1", "A3", "A2"}));

    EXPECT_TRUE(state_->asksBeforeDeleting());
    state_->confirmDeletion(victims, true);
    EXPECT_EQ(held(), (Titles{"A0", "A1", "A3"}));
    EXPECT_FALSE(state_->asksBeforeDeleting());
    EXPECT_TRUE(OVUserDefaults::create()->suppressActionDeletionAlert());
    EXPECT_TRUE(savedAsHeld());
}

TEST_F(EditorStateTest, OnlyAUserActionInTheSelectionMakesItRemovable)
{
    fill(3);
    store_->actions()[0]->setIsDefault(true);
    store_->actions()[2]->setIsDefault(true);
    EXPECT_FALSE(state_->canRemoveSelection());
    state_->setSelectedRows({0, 2, 5});
    EXPECT_FALSE(state_->canRemoveSelection());
    state_->setSelectedRows({0, 1});
    EXPECT_TRUE(state_->canRemoveSelection());
}

TEST_F(EditorStateTest, TheContextMenuFollowsTheFirstTargetRow)
{
    fill(3);
    store_->actions()[1]->setIsDefault(true);
    using Menu = OVEditorState::ContextMenu;
    EXPECT_EQ(state_->contextMenu(), Menu::None);
    state_->setSelectedRows({0, 1});
    EXPECT_EQ(state_->contextMenu(), Menu::AllItems);
    state_->setSelectedRows({1, 0});
    EXPECT_EQ(state_->contextMenu(), Menu::WithoutRemoval);
    state_->setClickedRow(2);
    EXPECT_EQ(state_->contextMenu(), Menu::AllItems);
    state_->setClickedRow(7);
    EXPECT_EQ(state_->contextMenu(), Menu::None);
}

TEST_F(EditorStateTest, AReloadKeepsTheSelectedRowsThatStillExistAndTheEditorFollowsTheFirst)
{
    fill(4);
    state_->setSelectedRows({1, 3});
    EXPECT_EQ(state_->selectedAction(), store_->actions()[1]);
    store_->removeAction(store_->actions()[0]);
    EXPECT_EQ(state_->rowsKeptByReload(), (Rows{1}));
    state_->setSelectedRows({5});
    EXPECT_EQ(state_->selectedAction(), nullptr);
    EXPECT_EQ(state_->rowsKeptByReload(), Rows{});
}

} // namespace
