// The "Manage Actions" page: the store's top-level actions in menu order, each with its icon, an
// editable name and an on/off switch; adding, removing, renaming and reordering them; and on the
// right the editor of the selected action's kind. Every change goes into the shared action
// objects and is followed by a store save, which tells the other programs.
#pragma once

#include "model/OVAction.h"
#include "platform/GRef.h"
#include "ui/HLModuleViewController.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class OVActionsManager;
class OVUserDefaults;
struct OVEditorRow;

class OVEditorModule : public HLModuleViewController {
public:
    ~OVEditorModule() override;
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVEditorModule", "HLModuleViewController", "HLViewController"};
    }

    // Kind codes of the add menu.
    enum AddCode : int {
        kAddApplication = 0,
        kAddMove = 1,
        kAddCopy = 2,
        kAddAppleScript = 3,
        kAddShellScript = 4,
        kAddOpenWith = 6,
        kAddResetPreferences = 7,
        kAddCopyPaths = 8,
        kAddTerminalTab = 9,
        kAddTerminalWindow = 10,
        kAddEditWithVim = 11,
        kAddShowHiddenFiles = 12,
        kAddHideHiddenFiles = 13,
    };
    // Context-menu items with this tag are left out for default actions.
    static constexpr int kDefaultActionHiddenTag = 1000;
    // The private drag type: row numbers of this table.
    static constexpr const char* kDragType = "OVActionsTable";

    void hl_viewDidLoad() override;

    // Table.
    std::size_t numberOfRows() const;
    void reloadData();
    void reloadDataAndSelectLastRow();
    std::vector<unsigned> selectedRows() const;
    void selectRows(const std::vector<unsigned>& rows);
    // The selected rows, unless the context menu was opened on a row outside them: then that row.
    std::vector<unsigned> targetRows() const;
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
    void didToggleEnabled(OVEditorRow& row, bool on);

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
    GMenuModel* editMenu() const { return G_MENU_MODEL(editMenu_.get()); }
    void menuNeedsUpdate();
    // Opens the context menu for a right-click at (x, y) of the table, on the given row if any.
    void popUpContextMenu(std::optional<unsigned> row, double x, double y);
    GtkPopover* contextMenu() const { return contextMenu_; }

    // Dragging rows. A drag carries this table's identity and its row numbers; a drop is
    // accepted only between rows and only from this table.
    enum class DropOperation { On, Above };
    struct DropLocation {
        unsigned row;
        DropOperation operation;
    };
    GdkContentProvider* writeRowsWithIndexes(const std::vector<unsigned>& rows) const;
    bool validateDrop(const GValue* value, unsigned row, DropOperation operation) const;
    bool acceptDrop(const GValue* value, unsigned row, DropOperation operation);
    // Where a drop at (x, y) of the table goes: the top and bottom quarter of a row are the gaps
    // above and below it, the middle is the row itself.
    std::optional<DropLocation> dropLocationAt(double x, double y) const;
    // The row drawn at height y of the table, if any.
    std::optional<unsigned> rowAt(double y) const;

    // The kind editor on the right.
    const std::shared_ptr<HLModuleViewController>& currentModule() const { return currentModule_; }
    void setCurrentModule(std::shared_ptr<HLModuleViewController> module);

    // Widgets.
    GtkListView* tableView() const { return outlet<GtkListView>("tableView"); }
    GtkWidget* moduleContentView() const { return GTK_WIDGET(outlet("moduleContentView")); }
    GtkMenuButton* addButton() const { return outlet<GtkMenuButton>("addButton"); }
    GtkButton* removeButton() const { return outlet<GtkButton>("removeButton"); }
    GMenuModel* addActionsMenu() const { return G_MENU_MODEL(outlet("addActionsMenu")); }
    GtkSelectionModel* selectionModel() const { return GTK_SELECTION_MODEL(selection_.get()); }
    // The row of the table now drawn for a row number, or null when it is scrolled away.
    OVEditorRow* rowViewAt(unsigned row) const;
    GtkLabel* nameLabelAt(unsigned row) const;   // the name as shown
    GtkEntry* nameFieldAt(unsigned row) const;   // the field for renaming
    bool isEditingName(unsigned row) const;
    GtkSwitch* switchAt(unsigned row) const;

    // Row life (called by the list's item factory).
    void setUpRow(GtkListItem* item);
    void bindRow(GtkListItem* item);
    void unbindRow(GtkListItem* item);
    void forgetRow(OVEditorRow* row);
    // Applies the typed name; focusLeft when the field lost focus (GTK is then changing focus).
    void endEditing(OVEditorRow& row, bool focusLeft);

protected:
    OVEditorModule(std::shared_ptr<OVActionsManager> store, std::shared_ptr<OVUserDefaults> defaults);
    friend class HLViewController;

private:
    std::weak_ptr<OVEditorModule> weakSelf();
    void installActions();
    void installTableControllers();
    void saveStore();
    void replaceActions(const OVActionList& actions, unsigned firstSelected, unsigned count);
    void move(int delta);
    void deleteActions(const OVActionList& victims);
    void showAction(OVEditorRow& row);
    GtkEntry* nameEntryOf(OVEditorRow& row);
    void beginEditing(OVEditorRow& row);
    void focusNameFieldWhenShown(unsigned row);
    void forgetEditingTextField();
    void showDropIndicator(const std::optional<DropLocation>& location);
    std::optional<unsigned> rowOfAction(const OVActionPtr& action) const;
    struct ShownRow {
        unsigned position;
        double top, bottom;
    };
    std::vector<ShownRow> shownRows() const; // top to bottom

    std::shared_ptr<OVActionsManager> store_;
    std::shared_ptr<OVUserDefaults> defaults_;
    ov::GRef<GListStore> rows_;
    std::unordered_map<const OVAction*, ov::GRef<GObject>> actionItems_; // the list's item of each action
    ov::GRef<GtkMultiSelection> selection_;
    ov::GRef<GSimpleActionGroup> commands_;
    ov::GRef<GMenu> editMenu_;
    std::vector<ov::GRef<GMenuItem>> menuItemsArray_;
    GtkPopover* contextMenu_ = nullptr; // a child of the table
    std::shared_ptr<HLModuleViewController> currentModule_;
    OVActionPtr shownAction_; // the action whose editor is shown, to keep it across reloads
    GtkEntry* editingTextField_ = nullptr; // weak
    std::optional<unsigned> clickedRow_;
    std::optional<unsigned> pendingFocusRow_;
    std::vector<OVEditorRow*> boundRows_;
    std::uint64_t tableIdentity_ = 0;
    GtkWidget* dropIndicatorRow_ = nullptr;
    GtkWindow* deletionAlert_ = nullptr; // weak: one confirmation at a time
    bool reloading_ = false;
    bool unbinding_ = false;
};
