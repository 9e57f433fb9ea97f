// SPDX-License-Identifier: GPL-3.0-or-later
// What the "Manage Actions" table edits, without its widgets: the rows (the store's top-level
// actions in menu order), the selection and the row a context menu was opened on, and the rules
// of every command: what may be renamed, switched, moved, dropped where and removed, and which
// changes are saved. Every change goes into the shared action objects and is followed by a store
// save, except adding: the name typed next (or the next change) saves a new action.
#pragma once

#include "model/OVAction.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class OVActionsManager;
class OVUserDefaults;

class OVEditorState {
public:
    OVEditorState(std::shared_ptr<OVActionsManager> store, std::shared_ptr<OVUserDefaults> defaults);

    const std::shared_ptr<OVActionsManager>& store() const { return store_; }

    // Rows: row i is the store's action i.
    OVActionList actions() const;
    std::size_t numberOfRows() const;
    OVActionPtr actionAt(unsigned row) const; // none outside the list
    std::optional<unsigned> rowOfAction(const OVActionPtr& action) const;

    // The selection as the table has it.
    const std::vector<unsigned>& selectedRows() const { return selected_; }
    void setSelectedRows(std::vector<unsigned> rows) { selected_ = std::move(rows); }
    // The row the context menu was opened on, if any; forgotten once its command has run.
    std::optional<unsigned> clickedRow() const { return clickedRow_; }
    void setClickedRow(std::optional<unsigned> row) { clickedRow_ = row; }
    // The selected rows, unless the context menu was opened on a row outside them: then that row.
    std::vector<unsigned> targetRows() const;
    // The first selected row's action: the one whose editor shows.
    OVActionPtr selectedAction() const;
    // Like a table reload: the selected row numbers stay selected while they exist.
    std::vector<unsigned> rowsKeptByReload() const;
    // After adding, or removing a new action that got no name: the last row, in a list of two or more.
    std::vector<unsigned> lastRowSelection() const;

    // The action whose editor is shown, kept across reloads that keep it selected.
    const OVActionPtr& shownAction() const { return shownAction_; }
    void setShownAction(OVActionPtr action) { shownAction_ = std::move(action); }

    // Rules.
    // Removable when the selection holds an action that is not a default one.
    bool canRemoveSelection() const;
    // An unknown kind's title is not written back: a new one would be lost at the next load.
    static bool canRename(const OVAction& action) { return !action.isUnknown(); }
    // Which items the context menu shows: none without a target row; the items that remove are
    // left out when the first target row's action is a default one.
    enum class ContextMenu { None, AllItems, WithoutRemoval };
    ContextMenu contextMenu() const;
    // A drag that starts on a selected row carries the selection, on another row that row alone.
    std::vector<unsigned> rowsDraggedFrom(unsigned row) const;
    // Drops go between rows only, at a gap of the list, with at least one dragged row in it.
    enum class DropOperation { On, Above };
    bool canDrop(const std::vector<unsigned>& dragged, unsigned row, DropOperation operation) const;

    // Commands. Each returns what the table selects afterwards, or none when it did nothing.
    // The action at the first target row one place up (delta < 0) or down.
    std::optional<std::vector<unsigned>> move(int delta);
    // The dragged rows as one block into the gap above `row`; refused drops change nothing.
    std::optional<std::vector<unsigned>> drop(const std::vector<unsigned>& dragged, unsigned row,
                                              DropOperation operation);
    // Switches an action on or off, as long as the store still holds it and it is of a known kind.
    bool setEnabled(const OVActionPtr& action, bool on);
    // Adds a new action of the add menu's kind code at the end, enabled, unsaved; none for a code
    // without a case.
    OVActionPtr add(int code);

    // What renaming did with the typed text.
    enum class Renamed {
        NotListed, // the action has left the store meanwhile: nothing changes
        Titled,    // the trimmed text is its title now, saved
        Kept,      // blank text: the title stays
        Removed,   // blank text for an action that never had a title: it is not kept, saved
    };
    Renamed rename(const OVActionPtr& action, const std::string& typed);
    // The text without the white space and line ends around it.
    static std::string trimmedName(const std::string& typed);

    // Deleting: the actions at the target rows, decided when the user asks.
    OVActionList targetActions() const;
    // Whether the user is asked first.
    bool asksBeforeDeleting() const;
    // Removes the victims that are not default actions (by identity: rows may have moved since) and
    // saves. With the question's box ticked, later deletions are not asked about.
    void deleteActions(const OVActionList& victims);
    void confirmDeletion(const OVActionList& victims, bool dontAskAgain);

    void save();

private:
    std::shared_ptr<OVActionsManager> store_;
    std::shared_ptr<OVUserDefaults> defaults_;
    std::vector<unsigned> selected_;
    std::optional<unsigned> clickedRow_;
    OVActionPtr shownAction_;
};
