// SPDX-License-Identifier: GPL-3.0-or-later
// The "Manage Actions" page: the store's top-level actions in menu order, each with its icon, an
// editable name and an on/off switch; adding, removing, renaming and reordering them; and on the
// right the editor of the selected action's kind. What the table edits and its rules are
// OVEditorState's; this controller keeps the widgets in step with it.
#pragma once

#include "menus/FinderSync.h"
#include "platform/GRef.h"
#include "settings/OVEditorContextMenu.h"
#include "settings/OVEditorRowDelegate.h"
#include "settings/OVEditorState.h"
#include "settings/OVEditorTableLayout.h"
#include "settings/OVKindEditorHost.h"
#include "settings/OVMakeActionForAddCode.h"
#include "ui/HLModuleViewController.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class OVActionsManager;
class OVUserDefaults;
struct OVEditorRow;
namespace ov {
class SerialQueue;
}

class OVEditorModule : public HLModuleViewController, public OVEditorRowDelegate {
public:
    ~OVEditorModule() override;
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVEditorModule", "HLModuleViewController", "HLViewController"};
    }

    // Kind codes of the add menu.
    using AddCode = OVAddCode;
    using enum OVAddCode;
    // Context-menu items with this tag are left out for default actions.
    static constexpr int kDefaultActionHiddenTag = OVEditorContextMenu::kDefaultActionHiddenTag;
    // The private drag type: row numbers of this table.
    static constexpr const char* kDragType = "OVActionsTable";

    void hl_viewDidLoad() override;

    // The rows, the selection and the rules behind them.
    const OVEditorState& state() const { return state_; }

    // Table.
    std::size_t numberOfRows() const { return state_.numberOfRows(); }
    void reloadData();
    void reloadDataAndSelectLastRow();
    std::vector<unsigned> selectedRows() const { return state_.selectedRows(); }
    void selectRows(const std::vector<unsigned>& rows);
    // The selected rows, unless the context menu was opened on a row outside them: then that row.
    std::vector<unsigned> targetRows() const { return state_.targetRows(); }
    void tableViewSelectionDidChange();
    void validateSelection();

    // Commands. Those that need a row beep without one.
    void didClickAddRemoveButton(int segment);
    void didDoubleClickTableView(unsigned row);
    void editDisplayName();
    void moveUp();
    void moveDown();
    void remove() { deleteSelectedGroups(); }
    void tableViewDeleteFromKeyboard() { deleteSelectedGroups(); }
    void addAction(int code);
    void deleteSelectedGroups();
    void didToggleEnabled(OVEditorRow& row, bool on) override;

    // Renaming. Editing ends through Return, focus leaving the field, or Escape, which applies the
    // typed text like Return.
    GtkEntry* editingTextField() const { return editingTextField_; }
    void didEditActionName(OVEditorRow& row, bool shouldReload = true);
    // Ends a rename in progress, applying the typed text (for quitting with a field open).
    void commitEditing();
    // Ends a rename and has the kind editor write what it still holds; with wait set (quitting)
    // the writes are done when this returns.
    void flushPendingChanges(bool wait);

    // The context menu: rebuilt from the captured items each time it opens.
    GMenuModel* editMenu() const { return contextMenu_.model(); }
    void menuNeedsUpdate();
    // Opens the context menu for a right-click at (x, y) of the table, on the given row if any.
    void popUpContextMenu(std::optional<unsigned> row, double x, double y);
    GtkPopover* contextMenu() const { return contextMenu_.popover(); }

    // Dragging rows. A drag carries this table's identity and its row numbers; a drop is
    // accepted only between rows and only from this table.
    using DropOperation = OVEditorState::DropOperation;
    using DropLocation = OVEditorTableLayout::DropLocation;
    GdkContentProvider* writeRowsWithIndexes(const std::vector<unsigned>& rows) const;
    GdkContentProvider* dragContentFrom(OVEditorRow& row) override;
    bool validateDrop(const GValue* value, unsigned row, DropOperation operation) const;
    bool acceptDrop(const GValue* value, unsigned row, DropOperation operation);
    // Where a drop at (x, y) of the table goes: the top and bottom quarter of a row are the gaps
    // above and below it, the middle is the row itself.
    std::optional<DropLocation> dropLocationAt(double x, double y) const;
    // The row drawn at height y of the table, if any.
    std::optional<unsigned> rowAt(double y) const;

    // Trying the list as it stands, saved or not: a file chooser, then a window with the menu
    // the chosen files would get and why each other action is left out.
    void tryOnFiles();  // several files: their context menu
    void tryOnFolder(); // a folder: the menu of its background
    // The chooser's answer; no paths (cancelled) does nothing. The window appears once the disk
    // has said which paths are folders, which is asked off the main context.
    void tryOnPaths(std::vector<std::string> paths, bool background);
    GtkFileChooserNative* tryChooser() const { return tryChooser_.get(); }
    // The answer window while it is open.
    GtkWindow* tryWindow() const { return tryWindow_; }

    // The kind editor on the right.
    const std::shared_ptr<HLModuleViewController>& currentModule() const { return kindEditor_.currentModule(); }
    void setCurrentModule(std::shared_ptr<HLModuleViewController> module);
    // Below the kind editor: how many selected items the shown action is for.
    const OVSelectionCountControl& selectionCounts() const { return kindEditor_.counts(); }

    // Widgets.
    GtkListView* tableView() const { return outlet<GtkListView>("tableView"); }
    GtkWidget* moduleContentView() const { return GTK_WIDGET(outlet("moduleContentView")); }
    GtkMenuButton* addButton() const { return outlet<GtkMenuButton>("addButton"); }
    GtkButton* removeButton() const { return outlet<GtkButton>("removeButton"); }
    GtkMenuButton* tryButton() const { return outlet<GtkMenuButton>("tryButton"); }
    GMenuModel* addActionsMenu() const { return G_MENU_MODEL(outlet("addActionsMenu")); }
    GtkSelectionModel* selectionModel() const { return GTK_SELECTION_MODEL(selection_.get()); }
    // The row of the table now drawn for a row number, or null when it is scrolled away.
    OVEditorRow* rowViewAt(unsigned row) const { return layout_.rowViewAt(row); }
    GtkLabel* nameLabelAt(unsigned row) const;   // the name as shown
    GtkEntry* nameFieldAt(unsigned row) const;   // the field for renaming
    bool isEditingName(unsigned row) const;
    GtkSwitch* switchAt(unsigned row) const;

    // Row life (called by the list's item factory).
    void setUpRow(GtkListItem* item);
    void bindRow(GtkListItem* item);
    void unbindRow(GtkListItem* item);
    void forgetRow(OVEditorRow* row) override;
    // Applies the typed name; focusLeft when the field lost focus (GTK is then changing focus).
    void endEditing(OVEditorRow& row, bool focusLeft) override;

protected:
    OVEditorModule(std::shared_ptr<OVActionsManager> store, std::shared_ptr<OVUserDefaults> defaults);
    friend class HLViewController;

private:
    std::weak_ptr<OVEditorModule> weakSelf();
    void installActions();
    void installTableControllers();
    void showSelection(const std::vector<unsigned>& rows);
    void move(int delta);
    void deleteActions(const OVActionList& victims);
    void beginEditing(OVEditorRow& row);
    void focusNameFieldWhenShown(unsigned row);
    void forgetEditingTextField();
    void showDropIndicator(const std::optional<DropLocation>& location);
    void syncSelection();
    void chooseTrialFiles(bool background);
    void showTrial(const std::vector<FinderSync::Item>& items, bool background);

    OVEditorState state_;
    ov::GRef<GListStore> rows_;
    std::unordered_map<const OVAction*, ov::GRef<GObject>> actionItems_; // the list's item of each action
    ov::GRef<GtkMultiSelection> selection_;
    ov::GRef<GSimpleActionGroup> commands_;
    OVEditorContextMenu contextMenu_;
    OVEditorTableLayout layout_;
    OVKindEditorHost kindEditor_;
    GtkEntry* editingTextField_ = nullptr; // weak
    std::optional<unsigned> pendingFocusRow_;
    std::uint64_t tableIdentity_ = 0;
    GtkWindow* deletionAlert_ = nullptr; // weak: one confirmation at a time
    std::shared_ptr<OVUserDefaults> defaults_;
    ov::GRef<GtkFileChooserNative> tryChooser_;
    std::shared_ptr<ov::SerialQueue> tryQueue_;
    GtkWindow* tryWindow_ = nullptr; // weak
    bool reloading_ = false;
    bool unbinding_ = false;
};
